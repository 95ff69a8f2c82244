#include "ltp/table_context.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/logger.h"

namespace vendrel {

uint8_t tc_cell_width(uint16_t type) {
  if (type & prop_type::multi) return 4;
  switch (type) {
    case prop_type::i2:
      return 2;
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::error:
    case prop_type::object:
    case prop_type::string8:
    case prop_type::unicode:
    case prop_type::clsid:
    case prop_type::binary:
      return 4;
    case prop_type::boolean:
      return 1;
    // 8-byte fixed values sit in the row ([MS-PST] 2.3.4.4.1).
    case prop_type::r8:
    case prop_type::currency:
    case prop_type::apptime:
    case prop_type::i8:
    case prop_type::systime:
      return 8;
    default:
      throw qm_invalid_arg("table column of property type " + std::to_string(type));
  }
}

bool tc_cell_holds_value(uint16_t type) {
  if (type & prop_type::multi) return false;
  switch (type) {
    case prop_type::unspecified:
    case prop_type::i2:
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::r8:
    case prop_type::currency:
    case prop_type::apptime:
    case prop_type::error:
    case prop_type::boolean:
    case prop_type::i8:
    case prop_type::systime:
      return true;
    default:
      return false;
  }
}

const tc_column* tc_layout::find(uint32_t tag) const {
  for (const auto& c : columns)
    if (c.tag == tag) return &c;
  const uint16_t type = tag_type(tag);
  if (type == prop_type::string8 || type == prop_type::unicode) {
    uint32_t other = make_tag(tag_id(tag), type == prop_type::string8 ? prop_type::unicode : prop_type::string8);
    for (const auto& c : columns)
      if (c.tag == other) return &c;
  }
  return nullptr;
}

std::vector<uint8_t> tc_layout::tcinfo_bytes(uint32_t hid_row_index, uint32_t hid_rows) const {
  std::vector<uint8_t> out(tcinfo_size(), 0);
  uint8_t* p = out.data();
  tcinfo_layout::bType::put(p, tcinfo_layout::type_value);
  tcinfo_layout::cCols::put(p, static_cast<uint8_t>(columns.size()));
  tcinfo_layout::rgib_4b::put(p, end_4b);
  tcinfo_layout::rgib_2b::put(p, end_2b);
  tcinfo_layout::rgib_1b::put(p, end_1b);
  tcinfo_layout::rgib_bm::put(p, row_size);
  tcinfo_layout::hidRowIndex::put(p, hid_row_index);
  tcinfo_layout::hidRows::put(p, hid_rows);
  tcinfo_layout::hidIndex::put(p, 0);
  for (size_t i = 0; i < columns.size(); ++i) {
    uint8_t* d = p + tcinfo_layout::rgTCOLDESC + i * tcoldesc_layout::size;
    tcoldesc_layout::tag::put(d, columns[i].tag);
    tcoldesc_layout::ibData::put(d, columns[i].offset);
    tcoldesc_layout::cbData::put(d, columns[i].width);
    tcoldesc_layout::iBit::put(d, columns[i].bit);
  }
  return out;
}

tc_layout compute_tc_layout(const std::vector<uint32_t>& listed) {
  if (listed.size() + 2 > 255) throw qm_invalid_arg("a table holds at most 253 listed columns");
  std::vector<tc_column> cols;
  cols.push_back({tc_tag_row_id, 0, 4, 0});
  cols.push_back({tc_tag_row_version, 0, 4, 0});
  std::vector<tc_column> rest;
  for (uint32_t tag : listed) rest.push_back({tag, 0, tc_cell_width(tag_type(tag)), 0});
  std::stable_sort(rest.begin(), rest.end(), [](const tc_column& a, const tc_column& b) { return a.width > b.width; });
  cols.insert(cols.end(), rest.begin(), rest.end());

  tc_layout layout;
  size_t offset = 0;
  for (size_t i = 0; i < cols.size(); ++i) {
    cols[i].offset = static_cast<uint16_t>(offset);
    cols[i].bit = static_cast<uint8_t>(i);
    offset += cols[i].width;
    if (cols[i].width >= 4) layout.end_4b = static_cast<uint16_t>(offset);
    if (cols[i].width >= 2) layout.end_2b = static_cast<uint16_t>(offset);
  }
  layout.end_1b = static_cast<uint16_t>(offset);
  layout.row_size = static_cast<uint16_t>(offset + (cols.size() + 7) / 8);
  std::stable_sort(cols.begin(), cols.end(), [](const tc_column& a, const tc_column& b) {
    if (tag_id(a.tag) != tag_id(b.tag)) return tag_id(a.tag) < tag_id(b.tag);
    return tag_type(a.tag) < tag_type(b.tag);
  });
  layout.columns = std::move(cols);
  return layout;
}

std::vector<uint32_t> tc_column_list(const uint32_t* tags) {
  std::vector<uint32_t> out;
  if (!tags) return out;
  for (size_t i = 0; tags[i] != 0; ++i) {
    if (i >= 253) throw qm_invalid_arg("column list without terminator within 253 columns");
    out.push_back(tags[i]);
  }
  return out;
}

// ---------------------------------------------------------------- pst_tc_block

template <ndb_bidtype bidtype>
pst_tc_block<bidtype>::pst_tc_block(const tc_layout& layout) : pst_entries_block<bidtype>(hn_first_offset_hdr) {
  try {
    uint8_t* p = this->buffer();
    hnhdr_layout::bSig::put(p, hn_signature);
    hnhdr_layout::bClientSig::put(p, hn_client_tc);
    bth_header header{bth_signature, tc_row_id_size, tc_row_number_size<bidtype>, 0, 0};
    std::vector<uint8_t> hb = header.bytes();
    if (this->add_entry(hb.data(), hb.size()) != 0) throw qm_invalid_call("row index header is not HID 0x20");
    std::vector<uint8_t> info = layout.tcinfo_bytes(tc_row_index_hid, 0);
    if (this->add_entry(info.data(), info.size()) != 1) throw qm_invalid_call("TCINFO is not HID 0x40");
    hnhdr_layout::hidUserRoot::put(p, tc_info_hid);
  } catch (...) {
    logger().write_line("[PST] pst_tc_block<bidtype>::pst_tc_block : exception");
    throw;
  }
}

template <ndb_bidtype bidtype>
void pst_tc_block<bidtype>::set_fill_level(size_t position, size_t used_size) {
  if (position >= 8) throw qm_invalid_arg("fill level position beyond the heap header");
  put_fill_nibble(hnhdr_layout::rgbFillLevel::at(this->buffer()), position, heap_fill_level(used_size));
}

template <ndb_bidtype bidtype>
void pst_tc_block<bidtype>::set_row_index_root(uint32_t hid, uint8_t index_levels) {
  uint8_t* h = this->entry(0).data();
  bth_header_layout::bIdxLevels::put(h, index_levels);
  bth_header_layout::hidRoot::put(h, hid);
}

template <ndb_bidtype bidtype>
void pst_tc_block<bidtype>::set_rows(uint32_t hid_rows) {
  tcinfo_layout::hidRows::put(this->entry(1).data(), hid_rows);
}

template <ndb_bidtype bidtype>
std::vector<uint8_t> tc_template_image(const std::vector<uint32_t>& listed) {
  pst_tc_block<bidtype> block(compute_tc_layout(listed));
  return block.image();
}

// ---------------------------------------------------------------- pst_tc

template <ndb_bidtype bidtype>
pst_tc<bidtype>::pst_tc(pst_node_writer<bidtype>* writer, uint32_t nid, const uint32_t* tags)
    : pst_tc(writer, nid, tc_column_list(tags)) {}

template <ndb_bidtype bidtype>
pst_tc<bidtype>::pst_tc(pst_node_writer<bidtype>* writer, uint32_t nid, const std::vector<uint32_t>& tags)
    : pst_entries<bidtype>(writer, nid, std::make_unique<pst_tc_block<bidtype>>(compute_tc_layout(tags))),
      tags_(tags),
      layout_(compute_tc_layout(tags)),
      rows_per_chunk_(std::max<size_t>(1, chunk_size / layout_.row_size)) {}

template <ndb_bidtype bidtype>
pst_tc<bidtype>::pst_tc(pst_ndb<bidtype>* ndb, uint32_t nid, const uint32_t* tags)
    : pst_tc(ndb, nid, tc_column_list(tags)) {}

template <ndb_bidtype bidtype>
pst_tc<bidtype>::pst_tc(pst_ndb<bidtype>* ndb, uint32_t nid, const std::vector<uint32_t>& tags)
    : pst_entries<bidtype>(ndb ? std::make_unique<pst_ndb_link<bidtype>>(*ndb) : nullptr, nid,
                           std::make_unique<pst_tc_block<bidtype>>(compute_tc_layout(tags))),
      tags_(tags),
      layout_(compute_tc_layout(tags)),
      rows_per_chunk_(std::max<size_t>(1, chunk_size / layout_.row_size)) {}

template <ndb_bidtype bidtype>
pst_tc<bidtype>::~pst_tc() = default;

template <ndb_bidtype bidtype>
uint32_t pst_tc<bidtype>::add_row(uint32_t row_id) {
  // The ANSI row index stores 16-bit row numbers.
  if (sizeof(bidtype) == 4 && row_count() >= 0x10000)
    throw qm_invalid_call("an ANSI table holds at most 65536 rows");
  if (row_count() >= 0xFFFFFFFFu) throw qm_invalid_call("table is full");
  const uint32_t number = static_cast<uint32_t>(row_count());
  try {
    if (number % rows_per_chunk_ == 0) {
      if (write_early_ && !chunks_.empty()) write_chunk(chunks_.size() - 1);
      chunks_.emplace_back();
      // A table past its first chunk is a large one: its chunks are taken whole.
      if (chunks_.size() > 1) chunks_.back().reserve(chunk_size);
    }
    chunks_.back().resize((number % rows_per_chunk_ + 1) * layout_.row_size, 0);
    index_.emplace_back(row_id, number);
  } catch (const std::bad_alloc&) {
    throw qm_enomem_error("no memory for a table row");
  }
  set_cell(number, tc_tag_row_id, row_id);
  set_cell(number, tc_tag_row_version, number + 10u);
  return number;
}

template <ndb_bidtype bidtype>
void pst_tc<bidtype>::write_chunk(size_t index) {
  auto* writer = this->writer();
  if (!writer) throw qm_invalid_call("table without a node database");
  std::vector<uint8_t>& chunk = chunks_[index];
  chunk.resize(chunk_size, 0);
  written_chunks_.push_back(writer->write_block(ltp_block_kind::stream, chunk.data(), chunk.size()));
  std::vector<uint8_t>().swap(chunk);
}

template <ndb_bidtype bidtype>
uint8_t* pst_tc<bidtype>::row_bytes(uint32_t row) {
  if (row >= row_count()) throw qm_invalid_arg("table row out of range");
  if (row / rows_per_chunk_ < written_chunks_.size())
    throw qm_invalid_call("table row " + std::to_string(row) + " is already written to the file");
  return chunks_[row / rows_per_chunk_].data() + (row % rows_per_chunk_) * layout_.row_size;
}

template <ndb_bidtype bidtype>
const uint8_t* pst_tc<bidtype>::row(uint32_t row) const {
  return const_cast<pst_tc*>(this)->row_bytes(row);
}

template <ndb_bidtype bidtype>
std::optional<uint32_t> pst_tc<bidtype>::row_number(uint32_t row_id) const {
  for (auto it = index_.rbegin(); it != index_.rend(); ++it)
    if (it->first == row_id) return it->second;
  return std::nullopt;
}

template <ndb_bidtype bidtype>
std::vector<std::pair<uint32_t, uint32_t>> pst_tc<bidtype>::sorted_index() const {
  std::vector<std::pair<uint32_t, uint32_t>> sorted = index_;
  // Row IDs mostly come in ascending order (NIDs are handed out so).
  if (!std::is_sorted(sorted.begin(), sorted.end()))
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  // Of rows with one ID, the newest (the last after the stable sort) stays.
  size_t kept = 0;
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (i + 1 < sorted.size() && sorted[i + 1].first == sorted[i].first) continue;
    sorted[kept++] = sorted[i];
  }
  sorted.resize(kept);
  return sorted;
}

template <ndb_bidtype bidtype>
int pst_tc<bidtype>::set_cell(uint32_t row, uint32_t tag, uint64_t value) {
  uint8_t* r = row_bytes(row);
  const tc_column* c = layout_.find(tag);
  if (!c) return -1;
  for (size_t i = 0; i < c->width; ++i) r[c->offset + i] = static_cast<uint8_t>(value >> (8 * i));
  r[layout_.end_1b + c->bit / 8] |= static_cast<uint8_t>(0x80 >> (c->bit % 8));
  return c->offset;
}

template <ndb_bidtype bidtype>
bool pst_tc<bidtype>::has_cell(uint32_t row, uint32_t tag) const {
  const uint8_t* r = this->row(row);
  const tc_column* c = layout_.find(tag);
  if (!c) return false;
  return (r[layout_.end_1b + c->bit / 8] & (0x80 >> (c->bit % 8))) != 0;
}

template <ndb_bidtype bidtype>
uint64_t pst_tc<bidtype>::get_cell(uint32_t row, uint32_t tag) const {
  if (!has_cell(row, tag)) return 0;
  const tc_column* c = layout_.find(tag);
  uint64_t v = 0;
  const uint8_t* r = this->row(row);
  for (size_t i = 0; i < c->width; ++i) v |= uint64_t{r[c->offset + i]} << (8 * i);
  return v;
}

template <ndb_bidtype bidtype>
void pst_tc<bidtype>::set_cell_value(uint32_t row, uint32_t tag, const pst_property_value& given) {
  if (row >= row_count()) throw qm_invalid_arg("table row out of range");
  const tc_column* c = layout_.find(tag);
  if (!c) return;
  const uint16_t type = tag_type(c->tag);
  // A string of the other string type (found through tc_layout::find) is
  // converted to the column's type, as the property set converts on set.
  pst_property_value converted;
  const pst_property_value* v = &given;
  if (type == prop_type::unicode && given.type() == prop_type::string8) {
    converted = to_file_string_type<char16_t>(given);
    v = &converted;
  } else if (type == prop_type::string8 && given.type() == prop_type::unicode) {
    converted = to_file_string_type<char>(given);
    v = &converted;
  }
  const pst_property_value& value = *v;
  const size_t size = value.size();
  if (tc_cell_holds_value(type) && !value.is_stream()) {
    const uint8_t* p = value.data();
    uint64_t v = 0;
    const size_t n = std::min<size_t>(size, 8);
    for (size_t i = 0; i < n; ++i) v |= uint64_t{p[i]} << (8 * i);
    // Shorter values are sign-extended to the cell.
    if (n > 0 && n < 8 && (p[n - 1] & 0x80)) v |= ~uint64_t{0} << (8 * n);
    set_cell(row, c->tag, v);
    return;
  }
  if (size == 0) {
    set_cell(row, c->tag, 0);
    return;
  }
  if (!value.is_stream() && size <= tc_heap_cell_limit) {
    set_cell(row, c->tag, this->add_entry(value.data(), size, false, heap_limit_data));
    return;
  }
  auto* writer = this->writer();
  if (!writer) throw qm_invalid_call("table without a node database");
  bidtype bid = 0;
  if (value.is_stream()) {
    // The cell gets a copy of its own: the stream's blocks belong to its owner.
    std::vector<uint8_t> bytes(size);
    size_t got = value.stream()->read_at(0, bytes.data(), size);
    if (got != size) throw qm_invalid_arg("table cell stream is shorter than its size");
    bid = writer->write_stream(bytes.data(), size);
  } else {
    bid = writer->write_stream(value.data(), size);
  }
  const uint32_t nid = writer->new_subnode_nid();
  this->add_subnode(nid, bid, 0);
  set_cell(row, c->tag, nid);
}

template <ndb_bidtype bidtype>
void pst_tc<bidtype>::fill_row(uint32_t row, const pst_property_set& source, const cell_failure& on_failure) {
  for (uint32_t tag : tags_) {
    const pst_property_value* v = source.get_property(tag_id(tag));
    if (!v) continue;
    try {
      set_cell_value(row, tag, *v);
    } catch (...) {
      if (on_failure)
        on_failure(v->size(), tag);
      else
        logger().write_formatted(
            "[PST] pst_folder_impl<bidtype,chartype>::add_message(%p) : set_prop failed [size=%d,tag=%X]",
            static_cast<const void*>(&source), static_cast<int>(v->size()), tag);
      throw;
    }
  }
}

template <ndb_bidtype bidtype>
uint32_t pst_tc<bidtype>::write_row_index() {
  constexpr size_t number_size = tc_row_number_size<bidtype>;
  constexpr size_t record_size = tc_row_id_size + number_size;
  const std::vector<std::pair<uint32_t, uint32_t>> index = sorted_index();
  std::vector<uint8_t> records;
  records.reserve(index.size() * record_size);
  for (const auto& [id, number] : index) {
    uint8_t r[8] = {};
    put_le<uint32_t>(r, id);
    if constexpr (number_size == 2)
      put_le<uint16_t>(r + 4, static_cast<uint16_t>(number));
    else
      put_le<uint32_t>(r + 4, number);
    records.insert(records.end(), r, r + record_size);
  }
  const size_t n = index.size();
  if (n < tc_leaf_records) {
    tc_block().set_row_index_root(this->add_entry(records.data(), records.size(), false, heap_limit_data), 0);
    return 0;
  }
  // Leaves of 128 records, each that block 0 cannot take in a fresh block.
  struct link {
    uint32_t key;
    uint32_t hid;
  };
  std::vector<link> level;
  for (size_t first = 0; first < n; first += tc_leaf_records) {
    const size_t count = std::min(tc_leaf_records, n - first);
    uint32_t hid = this->add_entry(records.data() + first * record_size, count * record_size, true, heap_limit_leaf);
    level.push_back({get_le<uint32_t>(records.data() + first * record_size), hid});
  }
  // One intermediate array when it fits one allocation; larger tables get
  // further levels of 128 links each.
  uint8_t levels = 1;
  for (;;) {
    std::vector<uint8_t> bytes;
    auto pack = [&](size_t first, size_t count) {
      bytes.clear();
      for (size_t i = first; i < first + count; ++i) {
        uint8_t r[bth_intermediate_size];
        put_le<uint32_t>(r, level[i].key);
        put_le<uint32_t>(r + 4, level[i].hid);
        bytes.insert(bytes.end(), r, r + sizeof r);
      }
    };
    if (level.size() * bth_intermediate_size <= heap_max_allocation) {
      pack(0, level.size());
      tc_block().set_row_index_root(this->add_entry(bytes.data(), bytes.size(), false, heap_limit_data), levels);
      return levels;
    }
    std::vector<link> next;
    for (size_t first = 0; first < level.size(); first += tc_leaf_records) {
      const size_t count = std::min(tc_leaf_records, level.size() - first);
      pack(first, count);
      next.push_back({level[first].key, this->add_entry(bytes.data(), bytes.size(), true, heap_limit_leaf)});
    }
    level = std::move(next);
    ++levels;
  }
}

template <ndb_bidtype bidtype>
uint32_t pst_tc<bidtype>::write_row_matrix() {
  const size_t row_size = layout_.row_size;
  const size_t total = row_count() * row_size;
  if (total <= tc_heap_row_matrix_limit && !this->multi_block())
    return this->add_entry(chunks_.front().data(), total, false, heap_limit_data);
  // Subnode 0x3F: the chunks are the matrix's data blocks, every one but
  // the last at the full block size.
  auto* writer = this->writer();
  if (!writer) throw qm_invalid_call("table without a node database");
  bidtype bid = 0;
  if (chunks_.size() == 1) {
    bid = writer->write_stream(chunks_.front().data(), chunks_.front().size());
  } else {
    // The chunks written early, then the rest.
    std::vector<bidtype> bids = written_chunks_;
    std::vector<size_t> sizes(bids.size(), chunk_size);
    for (size_t i = written_chunks_.size(); i < chunks_.size(); ++i) {
      std::vector<uint8_t>& chunk = chunks_[i];
      if (i + 1 < chunks_.size()) chunk.resize(chunk_size, 0);
      bids.push_back(writer->write_block(ltp_block_kind::stream, chunk.data(), chunk.size()));
      sizes.push_back(chunk.size());
    }
    bid = writer->write_data_tree(bids, sizes);
  }
  this->add_subnode(tc_row_matrix_nid, bid, 0);
  return tc_row_matrix_nid;
}

template <ndb_bidtype bidtype>
tc_commit_result<bidtype> pst_tc<bidtype>::commit() {
  if (row_count() == 0) throw qm_invalid_arg("a table without rows has no row index to allocate");
  write_row_index();
  tc_block().set_rows(write_row_matrix());
  tc_commit_result<bidtype> result;
  result.data_bid = pst_entries<bidtype>::commit();
  result.sub_bid = this->subnode_bid();
  return result;
}

template class pst_tc_block<uint32_t>;
template class pst_tc_block<uint64_t>;
template class pst_tc<uint32_t>;
template class pst_tc<uint64_t>;
template std::vector<uint8_t> tc_template_image<uint32_t>(const std::vector<uint32_t>&);
template std::vector<uint8_t> tc_template_image<uint64_t>(const std::vector<uint32_t>&);

}  // namespace vendrel
