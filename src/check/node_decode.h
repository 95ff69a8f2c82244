// The checker's own decoding of the node level ([MS-PST] 2.3): heap-on-node,
// BTree-on-heap, property contexts and table contexts. Each decoder takes
// untrusted bytes, records what is wrong in a `diag` and returns what it
// could read; nothing here throws for anything in the data, reads outside
// its input, recurses without bound or allocates by a size it has not
// checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "check/pst_check.h"
#include "check/pst_reader.h"

namespace vendrel {

struct diag {
  struct item {
    check_severity severity;
    std::string message;
  };
  std::vector<item> items;
  void error(std::string message) { items.push_back({check_severity::error, std::move(message)}); }
  void warn(std::string message) { items.push_back({check_severity::warn, std::move(message)}); }
  bool has_error() const;
};

// ---------------------------------------------------------------- heap

struct hn_view {
  block_list blocks;
  // Per block, the allocations as [begin, end) offsets.
  std::vector<std::vector<std::pair<uint16_t, uint16_t>>> allocations;
  uint8_t client_sig = 0;
  uint32_t user_root = 0;

  bool valid(uint32_t hid) const;
  // The allocation a HID names (empty span for a freed one); nullopt when
  // it names none.
  std::optional<std::span<const uint8_t>> at(uint32_t hid) const;
};

// Decodes the heap over a node's data blocks; nullopt (with an ERROR) when
// it cannot be used at all.
std::optional<hn_view> decode_heap(block_list blocks, diag& d);

// ---------------------------------------------------------------- BTH

struct bth_leaf {
  std::vector<uint8_t> key;
  std::vector<uint8_t> data;
};

// Reads the BTH whose header `hid` names. Expected key/entry sizes of 0
// accept any that [MS-PST] allows. nullopt when the header is unusable.
std::optional<std::vector<bth_leaf>> decode_bth(const hn_view& heap, uint32_t hid, uint8_t key_size,
                                                uint8_t entry_size, const char* what, diag& d);

// ---------------------------------------------------------------- values

// What an HNID names outside the heap: a subnode of the node's own tree.
struct subnode_access {
  // The size of the subnode's data; nullopt when there is no such subnode
  // or its data cannot be read (with `why`).
  std::function<std::optional<uint64_t>(uint32_t nid, std::string& why)> size;
  // The subnode's data, when it is no larger than `limit` bytes.
  std::function<std::optional<std::vector<uint8_t>>(uint32_t nid, uint64_t limit, std::string& why)> bytes;
};

// Size rules of a property type: the fixed size, 0 for variable ones,
// nullopt for a type [MS-PST] does not define.
std::optional<size_t> fixed_size_of(uint16_t type);
bool is_multi(uint16_t type);
bool stored_inline_in_pc(uint16_t type);  // value sits in dwValueHnid
// Checks a value's bytes against its type (fixed size, UTF-16 length,
// multi-valued count and offsets).
void check_value_bytes(uint16_t type, std::span<const uint8_t> bytes, const std::string& what, diag& d);

// ---------------------------------------------------------------- PC

struct pc_property {
  uint16_t id = 0;
  uint16_t type = 0;
  uint32_t hnid = 0;
  bool in_subnode = false;
  std::vector<uint8_t> bytes;  // inline, heap or (small enough) subnode value
  uint32_t tag() const { return (uint32_t{id} << 16) | type; }
};

struct pc_decoded {
  std::vector<pc_property> properties;  // in ID order
  const pc_property* find(uint16_t id) const;
  std::optional<uint32_t> i4(uint16_t id) const;
  std::optional<uint64_t> i8(uint16_t id) const;
  // String property (0x001F or 0x001E) as UTF-8; ANSI decoded with `code_page`.
  std::optional<std::string> text(uint16_t id, uint32_t code_page) const;
};

std::optional<pc_decoded> decode_pc(const block_list& blocks, const subnode_access& subnodes, diag& d);

// ---------------------------------------------------------------- TC

struct tc_column_desc {
  uint32_t tag = 0;
  uint16_t ib = 0;
  uint8_t cb = 0;
  uint8_t bit = 0;
};

struct tc_decoded {
  std::vector<tc_column_desc> columns;
  size_t row_size = 0;
  size_t ceb_offset = 0;
  std::vector<std::pair<uint32_t, uint32_t>> row_index;  // row ID -> row number
  std::vector<std::vector<uint8_t>> rows;

  const tc_column_desc* column(uint32_t tag) const;
  const tc_column_desc* column_by_id(uint16_t id) const;
  bool has(size_t row, const tc_column_desc& c) const;
  uint64_t value(size_t row, const tc_column_desc& c) const;
  // The row IDs (column 0x67F20003) of the rows that have one, in row order.
  std::vector<uint32_t> row_ids() const;
};

// Decodes a TC; `unicode` selects the row-number width and block size.
std::optional<tc_decoded> decode_tc(const block_list& blocks, bool unicode, const subnode_access& subnodes,
                                    diag& d);
// Variable-size cells: the HNIDs of every cell that holds one, checked
// against the heap and the subnodes. Called by decode_tc.
std::optional<std::vector<uint8_t>> tc_cell_bytes(const hn_view& heap, const subnode_access& subnodes, uint32_t hnid,
                                                  uint64_t limit, std::string& why);

// ---------------------------------------------------------------- text

// UTF-16LE bytes to UTF-8 (ill-formed units become U+FFFD).
std::string utf16le_to_utf8(std::span<const uint8_t> bytes);
// 8-bit bytes in `code_page` to UTF-8.
std::string ansi_to_utf8(std::span<const uint8_t> bytes, uint32_t code_page);

}  // namespace vendrel
