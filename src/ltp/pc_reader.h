// A strict decoder of stored property contexts, for tests and file checks:
// every structure is checked against [MS-PST] 2.3.3 and what this writer
// produces, and anything malformed is qm_crf_error with a message.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ltp/bth.h"
#include "ltp/heap_reader.h"

namespace vendrel {

enum class pc_value_kind : uint8_t { inline_value, heap, subnode, empty };

struct decoded_property {
  uint16_t id = 0;
  uint16_t type = 0;
  uint32_t hnid = 0;
  pc_value_kind kind = pc_value_kind::empty;
  bool resolved = true;  // false for a subnode value read without a resolver
  std::vector<uint8_t> bytes;
  uint32_t tag() const { return (uint32_t{id} << 16) | type; }
};

struct decoded_pc {
  size_t block_count = 0;
  std::vector<uint8_t> fill_levels;  // 8 nibbles of the HNHDR
  bth_header bth;
  std::vector<decoded_property> properties;  // in property-ID order
  const decoded_property* find(uint16_t id) const;
};

// Decodes a PC from its heap blocks; subnode values are read through the
// resolver when one is given (a subnode it does not know is qm_crf_error).
template <ndb_bidtype bidtype>
decoded_pc decode_property_context(const std::vector<std::vector<uint8_t>>& blocks,
                                   const subnode_resolver& subnodes = {});

// Reads and decodes the PC of a stored node.
template <ndb_bidtype bidtype>
decoded_pc read_property_context(pst_ndb<bidtype>& ndb, node_id nid);

}  // namespace vendrel
