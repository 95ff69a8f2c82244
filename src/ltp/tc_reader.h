// A strict decoder of stored table contexts ([MS-PST] 2.3.4): TCINFO, the
// row index (any number of levels) and the row matrix in the heap or in
// subnode 0x3F. Anything malformed is qm_crf_error with a message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "ltp/bth.h"
#include "ltp/heap_reader.h"
#include "ltp/table_context.h"

namespace vendrel {

struct decoded_tc {
  tc_layout layout;  // columns in rgTCOLDESC order and the row layout
  bth_header row_index_header;
  uint32_t hid_row_index = 0;
  uint32_t hid_rows = 0;
  std::vector<uint8_t> fill_levels;  // 8 nibbles of the HNHDR
  size_t block_count = 0;
  std::vector<std::pair<uint32_t, uint32_t>> row_index;  // row ID -> row number, in key order
  std::vector<std::vector<uint8_t>> rows;

  bool has_cell(size_t row, uint32_t tag) const;
  // The cell's value (0 when its bit is clear); qm_crf_error for no such column or row.
  uint64_t cell(size_t row, uint32_t tag) const;
  // The bytes a variable-size cell names (heap allocation or subnode).
  std::optional<std::vector<uint8_t>> cell_bytes(size_t row, uint32_t tag) const;

  // Kept for cell_bytes: the heap, loaded once (one of the two, by variant).
  std::vector<std::vector<uint8_t>> heap_blocks;
  std::shared_ptr<const heap_view<uint64_t>> unicode_heap;
  std::shared_ptr<const heap_view<uint32_t>> ansi_heap;
  subnode_resolver subnodes;
  bool unicode = false;
};

template <ndb_bidtype bidtype>
decoded_tc decode_table_context(const std::vector<std::vector<uint8_t>>& blocks,
                                const subnode_resolver& subnodes = {});

template <ndb_bidtype bidtype>
decoded_tc read_table_context(pst_ndb<bidtype>& ndb, node_id nid);

}  // namespace vendrel
