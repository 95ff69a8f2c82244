// Table context ([MS-PST] 2.3.4): a heap with client signature 0x7C whose user
// root is a TCINFO (column descriptors and row layout), with a BTH row index
// (row ID -> row number) and a row matrix of fixed-size rows, in the heap or
// in subnode 0x3F.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "ltp/bth.h"
#include "ltp/heap.h"
#include "ltp/ndb_link.h"
#include "ltp/property_set.h"
#include "ltp/property_value.h"

namespace vendrel {

inline constexpr uint32_t tc_tag_row_id = 0x67F20003;
inline constexpr uint32_t tc_tag_row_version = 0x67F30003;
inline constexpr uint32_t tc_row_matrix_nid = 0x3F;
inline constexpr uint32_t tc_row_index_hid = 0x20;
inline constexpr uint32_t tc_info_hid = 0x40;
inline constexpr size_t tc_leaf_records = 128;
// Cells of more than this many bytes go to subnodes.
inline constexpr size_t tc_heap_cell_limit = 512;
// Row matrices of at most this many bytes stay in the heap of a one-block table.
inline constexpr size_t tc_heap_row_matrix_limit = 512;

// [MS-PST] 2.3.4.1 TCINFO and 2.3.4.2 TCOLDESC.
struct tcinfo_layout {
  using bType = disk_field<uint8_t, 0>;
  using cCols = disk_field<uint8_t, 1>;
  using rgib_4b = disk_field<uint16_t, 2>;
  using rgib_2b = disk_field<uint16_t, 4>;
  using rgib_1b = disk_field<uint16_t, 6>;
  using rgib_bm = disk_field<uint16_t, 8>;
  using hidRowIndex = disk_field<uint32_t, 10>;
  using hidRows = disk_field<uint32_t, 14>;
  using hidIndex = disk_field<uint32_t, 18>;
  static constexpr size_t rgTCOLDESC = 22;
  static constexpr uint8_t type_value = 0x7C;
};
struct tcoldesc_layout {
  using tag = disk_field<uint32_t, 0>;
  using ibData = disk_field<uint16_t, 4>;
  using cbData = disk_field<uint8_t, 6>;
  using iBit = disk_field<uint8_t, 7>;
  static constexpr size_t size = 8;
};
namespace layout_checks {
static_assert(adjacent<tcinfo_layout::cCols, tcinfo_layout::rgib_4b> &&
                  adjacent<tcinfo_layout::rgib_bm, tcinfo_layout::hidRowIndex> &&
                  adjacent<tcinfo_layout::hidRowIndex, tcinfo_layout::hidRows> &&
                  adjacent<tcinfo_layout::hidRows, tcinfo_layout::hidIndex> &&
                  tcinfo_layout::hidIndex::end == tcinfo_layout::rgTCOLDESC,
              "[MS-PST] 2.3.4.1 TCINFO: 22 bytes before rgTCOLDESC");
static_assert(tcoldesc_layout::iBit::end == tcoldesc_layout::size, "[MS-PST] 2.3.4.2 TCOLDESC is 8 bytes");
}  // namespace layout_checks

// Width of a cell of the given property type; qm_invalid_arg for a type a
// table cannot hold.
uint8_t tc_cell_width(uint16_t type);
// Types whose value sits in the row; every other cell holds an HNID.
bool tc_cell_holds_value(uint16_t type);

struct tc_column {
  uint32_t tag = 0;
  uint16_t offset = 0;  // ibData
  uint8_t width = 0;    // cbData
  uint8_t bit = 0;      // iBit
  friend bool operator==(const tc_column&, const tc_column&) = default;
};

// The row layout of a column list: the two row columns, then the listed ones.
struct tc_layout {
  std::vector<tc_column> columns;  // sorted by property ID, then type (rgTCOLDESC order)
  uint16_t end_4b = 0;
  uint16_t end_2b = 0;
  uint16_t end_1b = 0;
  uint16_t row_size = 0;

  // The column of a tag; an 8-bit or UTF-16 string tag also finds the
  // column of the other string type. Null when absent.
  const tc_column* find(uint32_t tag) const;
  // The size of the TCINFO allocation.
  size_t tcinfo_size() const { return tcinfo_layout::rgTCOLDESC + tcoldesc_layout::size * columns.size(); }
  std::vector<uint8_t> tcinfo_bytes(uint32_t hid_row_index, uint32_t hid_rows) const;
};

tc_layout compute_tc_layout(const std::vector<uint32_t>& listed);
// The tags of a zero-terminated list.
std::vector<uint32_t> tc_column_list(const uint32_t* tags);

// Block 0 of a table: HNHDR (0xEC, 0x7C), the row-index BTH header (HID
// 0x20) and the TCINFO (HID 0x40).
template <ndb_bidtype bidtype>
class pst_tc_block : public pst_entries_block<bidtype> {
 public:
  explicit pst_tc_block(const tc_layout& layout);

  void set_fill_level(size_t position, size_t used_size) override;
  void set_row_index_root(uint32_t hid, uint8_t index_levels);
  void set_rows(uint32_t hid_rows);
};

// The block 0 image of an empty table of the given columns: what the store
// writes for its template tables.
template <ndb_bidtype bidtype>
std::vector<uint8_t> tc_template_image(const std::vector<uint32_t>& listed);

template <ndb_bidtype bidtype>
struct tc_commit_result {
  bidtype data_bid = 0;
  bidtype sub_bid = 0;
};

template <ndb_bidtype bidtype>
class pst_tc : public pst_entries<bidtype> {
 public:
  // A table of the listed columns (zero-terminated) for node `nid`.
  pst_tc(pst_node_writer<bidtype>* writer, uint32_t nid, const uint32_t* tags);
  pst_tc(pst_node_writer<bidtype>* writer, uint32_t nid, const std::vector<uint32_t>& tags);
  // Tables bound to a node database directly.
  pst_tc(pst_ndb<bidtype>* ndb, uint32_t nid, const uint32_t* tags);
  pst_tc(pst_ndb<bidtype>* ndb, uint32_t nid, const std::vector<uint32_t>& tags);
  virtual ~pst_tc();

  // Adds a zero-filled row and returns its number; the row ID cell gets the
  // ID, the row version cell the row number + 10.
  uint32_t add_row(uint32_t row_id);
  // Sets a cell's existence bit and its low cbData bytes; returns the cell's
  // offset, or -1 when no column has the tag.
  int set_cell(uint32_t row, uint32_t tag, uint64_t value);
  // The cell, 0 when its bit is clear or the column is absent.
  uint64_t get_cell(uint32_t row, uint32_t tag) const;
  bool has_cell(uint32_t row, uint32_t tag) const;
  size_t row_count() const { return index_.size(); }
  // From now on, each full chunk of rows (one data block of the row
  // matrix) is written to the file when the next row starts it a
  // successor, so that a table of many rows holds one block of them in
  // memory. For tables whose earlier rows are not read or changed again
  // (a folder's contents table); row() of a written row is qm_invalid_call.
  void write_full_chunks_early() { write_early_ = true; }
  // The row's bytes (the layout's row_size of them).
  const uint8_t* row(uint32_t row) const;

  // Sets one cell from a property value by the table's cell rules: fixed
  // types in the row, values of 1..512 bytes in the heap, larger or stream
  // values in a new subnode. A tag with no column is ignored. A string of
  // the other string type is converted to the column's type first, as
  // to_file_string_type does.
  void set_cell_value(uint32_t row, uint32_t tag, const pst_property_value& value);
  // Fills a row from an object's properties, column by column in list order.
  // A failing cell calls `on_failure` (value size, column tag), which writes
  // the caller's log line, and the exception goes on; without one the
  // contents-table line naming the source object is written.
  using cell_failure = std::function<void(size_t size, uint32_t tag)>;
  void fill_row(uint32_t row, const pst_property_set& source, const cell_failure& on_failure = {});

  // Writes the row index, the row matrix and the heap.
  tc_commit_result<bidtype> commit();

  const tc_layout& layout() const { return layout_; }
  const std::vector<uint32_t>& column_tags() const { return tags_; }
  // The row number a row ID maps to: the newest row added with that ID.
  std::optional<uint32_t> row_number(uint32_t row_id) const;

 private:
  pst_tc_block<bidtype>& tc_block() { return static_cast<pst_tc_block<bidtype>&>(this->block0()); }
  uint32_t write_row_index();
  uint32_t write_row_matrix();

  uint8_t* row_bytes(uint32_t row);
  // Writes chunk `index` (full, the next started) as a data block and frees it.
  void write_chunk(size_t index);
  // (row ID, row number) in the order of the row IDs, the newest row of a
  // repeated ID kept.
  std::vector<std::pair<uint32_t, uint32_t>> sorted_index() const;

  std::vector<uint32_t> tags_;
  tc_layout layout_;
  // The rows in the row matrix's own layout: one chunk per data block of
  // the matrix (rows never cross a block, a block's tail stays zero), so
  // that a row costs its own bytes and the commit writes the chunks as
  // they are.
  // A chunk grows with its rows; the commit pads all but the last.
  static constexpr size_t chunk_size = heap_block_size<bidtype>;
  size_t rows_per_chunk_ = 1;
  std::vector<std::vector<uint8_t>> chunks_;
  // The data blocks of the chunks already written (the first ones); their
  // chunks hold no memory.
  std::vector<bidtype> written_chunks_;
  bool write_early_ = false;
  // (row ID, row number) in the order the rows were added: one per row.
  std::vector<std::pair<uint32_t, uint32_t>> index_;
};

}  // namespace vendrel
