#include "ltp/tc_reader.h"

#include <set>
#include <string>

#include "common/errors.h"

namespace vendrel {

namespace {

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

const tc_column& column_of(const tc_layout& layout, uint32_t tag) {
  for (const auto& c : layout.columns)
    if (c.tag == tag) return c;
  throw qm_crf_error("table has no column " + hex(tag));
}

// Row index arrays reached in one walk: each HID at most once, so that a
// crafted index of many levels naming the same arrays ends.
constexpr size_t max_row_index_arrays = 1u << 16;

template <ndb_bidtype bidtype>
void walk_row_index(const heap_view<bidtype>& heap, uint32_t hid, size_t level, size_t record_size,
                    std::vector<std::pair<uint32_t, uint32_t>>& out, std::optional<uint32_t> expected_first,
                    std::set<uint32_t>& seen) {
  if (!seen.insert(hid).second) throw qm_crf_error("row index array " + hex(hid) + " is reached twice");
  if (seen.size() > max_row_index_arrays) throw qm_crf_error("row index of too many arrays");
  auto bytes = heap.at(hid, "row index");
  const size_t size = level == 0 ? record_size : bth_intermediate_size;
  if (bytes.empty() || bytes.size() % size)
    throw qm_crf_error("row index array of " + std::to_string(bytes.size()) + " bytes at level " + std::to_string(level));
  for (size_t i = 0; i < bytes.size() / size; ++i) {
    const uint8_t* r = bytes.data() + i * size;
    const uint32_t key = get_le<uint32_t>(r);
    if (i == 0 && expected_first && *expected_first != key)
      throw qm_crf_error("row index key " + hex(*expected_first) + " does not match its child's first key " + hex(key));
    if (level == 0) {
      const uint32_t number = record_size == 6 ? get_le<uint16_t>(r + 4) : get_le<uint32_t>(r + 4);
      if (!out.empty() && out.back().first >= key) throw qm_crf_error("row index keys are not ascending at " + hex(key));
      out.emplace_back(key, number);
    } else {
      walk_row_index(heap, get_le<uint32_t>(r + 4), level - 1, record_size, out, key, seen);
    }
  }
}

}  // namespace

bool decoded_tc::has_cell(size_t row, uint32_t tag) const {
  if (row >= rows.size()) throw qm_crf_error("table has no row " + std::to_string(row));
  const tc_column& c = column_of(layout, tag);
  return (rows[row][layout.end_1b + c.bit / 8] & (0x80 >> (c.bit % 8))) != 0;
}

uint64_t decoded_tc::cell(size_t row, uint32_t tag) const {
  if (!has_cell(row, tag)) return 0;
  const tc_column& c = column_of(layout, tag);
  uint64_t v = 0;
  for (size_t i = 0; i < c.width; ++i) v |= uint64_t{rows[row][c.offset + i]} << (8 * i);
  return v;
}

std::optional<std::vector<uint8_t>> decoded_tc::cell_bytes(size_t row, uint32_t tag) const {
  if (!has_cell(row, tag)) return std::nullopt;
  const uint32_t hnid = static_cast<uint32_t>(cell(row, tag));
  if (hnid == 0) return std::vector<uint8_t>{};
  if (is_hid(hnid)) {
    if (!unicode_heap && !ansi_heap) throw qm_crf_error("table cell names a heap allocation of a table without a heap");
    auto b = unicode_heap ? unicode_heap->at(hnid, "table cell") : ansi_heap->at(hnid, "table cell");
    return std::vector<uint8_t>(b.begin(), b.end());
  }
  if (!subnodes) return std::nullopt;
  auto bytes = subnodes(hnid);
  if (!bytes) throw qm_crf_error("table cell names missing subnode " + hex(hnid));
  return bytes;
}

template <ndb_bidtype bidtype>
decoded_tc decode_table_context(const std::vector<std::vector<uint8_t>>& blocks, const subnode_resolver& subnodes) {
  auto loaded = std::make_shared<const heap_view<bidtype>>(blocks);
  const heap_view<bidtype>& heap = *loaded;
  decoded_tc tc;
  tc.heap_blocks = blocks;
  if constexpr (sizeof(bidtype) == 8)
    tc.unicode_heap = loaded;
  else
    tc.ansi_heap = loaded;
  tc.subnodes = subnodes;
  tc.unicode = sizeof(bidtype) == 8;
  tc.block_count = heap.block_count();
  const uint8_t* h = heap.header();
  if (hnhdr_layout::bClientSig::get(h) != hn_client_tc)
    throw qm_crf_error("heap client signature " + hex(hnhdr_layout::bClientSig::get(h)) + " is not a table context");
  for (size_t i = 0; i < 8; ++i) tc.fill_levels.push_back(get_fill_nibble(hnhdr_layout::rgbFillLevel::at(h), i));

  // TCINFO
  auto info = heap.at(hnhdr_layout::hidUserRoot::get(h), "TCINFO");
  if (info.size() < tcinfo_layout::rgTCOLDESC) throw qm_crf_error("TCINFO shorter than 22 bytes");
  const uint8_t* t = info.data();
  if (tcinfo_layout::bType::get(t) != tcinfo_layout::type_value) throw qm_crf_error("TCINFO type is not 0x7C");
  const size_t cols = tcinfo_layout::cCols::get(t);
  if (info.size() != tcinfo_layout::rgTCOLDESC + tcoldesc_layout::size * cols)
    throw qm_crf_error("TCINFO of " + std::to_string(info.size()) + " bytes for " + std::to_string(cols) + " columns");
  tc_layout& L = tc.layout;
  L.end_4b = tcinfo_layout::rgib_4b::get(t);
  L.end_2b = tcinfo_layout::rgib_2b::get(t);
  L.end_1b = tcinfo_layout::rgib_1b::get(t);
  L.row_size = tcinfo_layout::rgib_bm::get(t);
  if (!(L.end_4b <= L.end_2b && L.end_2b <= L.end_1b && L.row_size == L.end_1b + (cols + 7) / 8))
    throw qm_crf_error("TCINFO row offsets are inconsistent");
  tc.hid_row_index = tcinfo_layout::hidRowIndex::get(t);
  tc.hid_rows = tcinfo_layout::hidRows::get(t);
  if (tcinfo_layout::hidIndex::get(t) != 0) throw qm_crf_error("TCINFO hidIndex is not 0");
  std::set<uint8_t> bits;
  for (size_t i = 0; i < cols; ++i) {
    const uint8_t* d = t + tcinfo_layout::rgTCOLDESC + i * tcoldesc_layout::size;
    tc_column c{tcoldesc_layout::tag::get(d), tcoldesc_layout::ibData::get(d), tcoldesc_layout::cbData::get(d),
                tcoldesc_layout::iBit::get(d)};
    if (!L.columns.empty()) {
      const tc_column& prev = L.columns.back();
      if (tag_id(prev.tag) > tag_id(c.tag) || (tag_id(prev.tag) == tag_id(c.tag) && tag_type(prev.tag) >= tag_type(c.tag)))
        throw qm_crf_error("column descriptors are not sorted at " + hex(c.tag));
    }
    size_t region_end = c.width >= 4 ? L.end_4b : c.width == 2 ? L.end_2b : L.end_1b;
    if (c.width == 0 || c.width > 8 || c.offset + c.width > region_end || c.bit >= cols || !bits.insert(c.bit).second)
      throw qm_crf_error("column " + hex(c.tag) + " lies outside its cell region or shares its bit");
    L.columns.push_back(c);
  }
  column_of(L, tc_tag_row_id);

  // Row index
  auto header = heap.at(tc.hid_row_index, "row index header");
  if (header.size() != bth_header_layout::size) throw qm_crf_error("row index header is not 8 bytes");
  tc.row_index_header = bth_header::get(header.data());
  const bth_header& bh = tc.row_index_header;
  if (bh.type != bth_signature || bh.key_size != tc_row_id_size || bh.entry_size != tc_row_number_size<bidtype>)
    throw qm_crf_error("row index BTH header has type/key/entry " + hex(bh.type) + "/" + std::to_string(bh.key_size) +
                       "/" + std::to_string(bh.entry_size));
  std::set<uint32_t> seen;
  if (bh.root)
    walk_row_index(heap, bh.root, bh.index_levels, tc_row_id_size + tc_row_number_size<bidtype>, tc.row_index,
                   std::nullopt, seen);

  // Row matrix
  std::vector<uint8_t> matrix;
  size_t row_count = 0;
  if (tc.hid_rows == 0) {
    row_count = 0;
  } else if (is_hid(tc.hid_rows)) {
    auto m = heap.at(tc.hid_rows, "row matrix");
    matrix.assign(m.begin(), m.end());
    if (matrix.size() % L.row_size) throw qm_crf_error("row matrix is not a whole number of rows");
    for (size_t i = 0; i < matrix.size() / L.row_size; ++i)
      tc.rows.emplace_back(matrix.begin() + i * L.row_size, matrix.begin() + (i + 1) * L.row_size);
    row_count = tc.rows.size();
  } else {
    if (!subnodes) throw qm_crf_error("row matrix in subnode " + hex(tc.hid_rows) + " without subnodes to read");
    auto m = subnodes(tc.hid_rows);
    if (!m) throw qm_crf_error("row matrix subnode " + hex(tc.hid_rows) + " is missing");
    constexpr size_t block = heap_block_size<bidtype>;
    const size_t per_block = block / L.row_size;
    for (size_t off = 0; off < m->size(); off += block) {
      const size_t in_block = std::min(block, m->size() - off);
      const size_t n = off + block < m->size() ? per_block : in_block / L.row_size;
      if (off + block >= m->size() && in_block % L.row_size)
        throw qm_crf_error("last row matrix block is not a whole number of rows");
      for (size_t i = 0; i < n; ++i)
        tc.rows.emplace_back(m->begin() + off + i * L.row_size, m->begin() + off + (i + 1) * L.row_size);
    }
    row_count = tc.rows.size();
  }
  std::set<uint32_t> numbers;
  for (const auto& [id, number] : tc.row_index) {
    if (number >= row_count) throw qm_crf_error("row index names row " + std::to_string(number) + " of " + std::to_string(row_count));
    if (!numbers.insert(number).second) throw qm_crf_error("row index names row " + std::to_string(number) + " twice");
    if (tc.cell(number, tc_tag_row_id) != id)
      throw qm_crf_error("row " + std::to_string(number) + " carries another row ID than its index key " + hex(id));
  }
  return tc;
}

template <ndb_bidtype bidtype>
decoded_tc read_table_context(pst_ndb<bidtype>& ndb, node_id nid) {
  auto entry = ndb.lookup_node(nid);
  if (!entry) throw qm_crf_error("node " + hex(nid.value()) + " is not in the node B-tree");
  return decode_table_context<bidtype>(read_heap_blocks(ndb, entry->bid_data), ndb_subnode_resolver(ndb, entry->bid_sub));
}

template decoded_tc decode_table_context<uint32_t>(const std::vector<std::vector<uint8_t>>&, const subnode_resolver&);
template decoded_tc decode_table_context<uint64_t>(const std::vector<std::vector<uint8_t>>&, const subnode_resolver&);
template decoded_tc read_table_context<uint32_t>(pst_ndb<uint32_t>&, node_id);
template decoded_tc read_table_context<uint64_t>(pst_ndb<uint64_t>&, node_id);

}  // namespace vendrel
