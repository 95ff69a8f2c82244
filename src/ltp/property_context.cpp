#include "ltp/property_context.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "common/logger.h"

namespace vendrel {

void put_hnhdr_fill_level(uint8_t* block0, size_t position, size_t used_size) {
  if (position >= 8) throw qm_invalid_arg("fill level position beyond the heap header");
  put_fill_nibble(hnhdr_layout::rgbFillLevel::at(block0), position, heap_fill_level(used_size));
}

template <ndb_bidtype bidtype>
pst_bc_block<bidtype>::pst_bc_block() : pst_entries_block<bidtype>(hn_first_offset_hdr) {
  try {
    uint8_t* p = this->buffer();
    hnhdr_layout::bSig::put(p, hn_signature);
    hnhdr_layout::bClientSig::put(p, hn_client_pc);
    bth_header header{bth_signature, pc_bth_key_size, pc_bth_entry_size, 0, 0};
    uint8_t bytes[bth_header_layout::size];
    header.put(bytes);
    uint16_t index = this->add_entry(bytes, sizeof bytes);
    hnhdr_layout::hidUserRoot::put(p, make_hid(0, index));
    records_.reserve(100 * pc_record_layout::size);
  } catch (...) {
    logger().write_line("[PST] pst_bc_block<bidtype>::pst_bc_block : exception");
    throw;
  }
}

template <ndb_bidtype bidtype>
uint32_t pst_bc_block<bidtype>::allocate(const void* data, size_t size) {
  uint16_t index = this->add_entry(data, size);
  if (index != heap_no_room) return make_hid(0, index);
  this->set_full();
  for (size_t i = 0; i < extra_.size(); ++i) {
    index = extra_[i]->add_entry(data, size);
    if (index != heap_no_room) return make_hid(static_cast<uint32_t>(i + 1), index);
  }
  if (block_count() >= pc_max_blocks) {
    logger().write_formatted("[PST] pst_bc_block<bidtype>::add_entry(%p,%d) : property context needs a ninth heap block",
                             data, static_cast<int>(size));
    throw qm_invalid_arg("property context heap is limited to 8 blocks");
  }
  if (!extra_.empty()) extra_.back()->set_full();
  extra_.push_back(std::make_unique<pst_entries_block<bidtype>>(hn_first_offset_page));
  index = extra_.back()->add_entry(data, size);
  if (index == heap_no_room) throw qm_invalid_arg("property value does not fit an empty heap block");
  return make_hid(static_cast<uint32_t>(extra_.size()), index);
}

template <ndb_bidtype bidtype>
void pst_bc_block<bidtype>::add_record(uint16_t id, uint16_t type, uint32_t hnid) {
  uint8_t r[pc_record_layout::size];
  pc_record_layout::wPropId::put(r, id);
  pc_record_layout::wPropType::put(r, type);
  pc_record_layout::dwValueHnid::put(r, hnid);
  records_.insert(records_.end(), r, r + sizeof r);
}

template <ndb_bidtype bidtype>
void pst_bc_block<bidtype>::write_records() {
  const size_t n = records_.size() / pc_record_layout::size;
  std::vector<std::array<uint8_t, 8>> sorted(n);
  for (size_t i = 0; i < n; ++i) std::memcpy(sorted[i].data(), records_.data() + 8 * i, 8);
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return pc_record_layout::wPropId::get(a.data()) < pc_record_layout::wPropId::get(b.data());
  });
  for (size_t i = 0; i < n; ++i) std::memcpy(records_.data() + 8 * i, sorted[i].data(), 8);
  uint32_t root = 0;
  if (n) root = allocate(records_.data(), records_.size());
  // The BTH header is allocation 1 of block 0.
  bth_header_layout::hidRoot::put(this->entry(0).data(), root);
}

template <ndb_bidtype bidtype>
void pst_bc_block<bidtype>::set_fill_level(size_t position, size_t used_size) {
  put_hnhdr_fill_level(this->buffer(), position, used_size);
}

template <ndb_bidtype bidtype>
void pst_bc_block<bidtype>::record_fill_levels() {
  for (size_t i = 0; i < block_count(); ++i) set_fill_level(i, block(i).used_size());
}

template <ndb_bidtype bidtype>
std::vector<std::vector<uint8_t>> pst_bc_block<bidtype>::images() {
  record_fill_levels();
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < block_count(); ++i) out.push_back(block(i).image());
  return out;
}

template <ndb_bidtype bidtype>
bidtype pst_bc_block<bidtype>::write_all(pst_node_writer<bidtype>& writer) {
  record_fill_levels();
  if (extra_.empty()) return this->write_block(writer, ltp_block_kind::pc_heap);
  std::vector<bidtype> bids;
  std::vector<size_t> sizes;
  for (size_t i = 0; i < block_count(); ++i) {
    sizes.push_back(block(i).written_size());
    bids.push_back(block(i).write_block(writer, ltp_block_kind::pc_heap));
  }
  return writer.write_data_tree(bids, sizes);
}

// ---------------------------------------------------------------- commit

namespace {

// The 32-bit record value of a 1-, 2- or 4-byte inline value.
uint32_t widen_inline(const uint8_t* p, size_t size) {
  switch (size) {
    case 1:
      return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(p[0])));
    case 2:
      return get_le<uint16_t>(p);
    default:
      return get_le<uint32_t>(p);
  }
}

// The width of a type whose value sits in dwValueHnid; 0 for every other type.
size_t hnid_value_width(uint16_t type) {
  switch (type) {
    case prop_type::i2:
      return 2;
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::error:
      return 4;
    case prop_type::boolean:
      return 1;
    default:
      return 0;
  }
}

bool is_small_fixed_type(uint16_t type) {
  switch (type) {
    case prop_type::unspecified:
    case prop_type::i2:
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::boolean:
    case prop_type::i8:
      return true;
    default:
      return false;
  }
}

}  // namespace

template <ndb_bidtype bidtype>
pc_commit_result<bidtype> commit_property_context(pst_node_writer<bidtype>& writer,
                                                  const std::map<uint16_t, pst_property_value>& props,
                                                  const std::vector<ltp_subnode<bidtype>>& extra,
                                                  bidtype previous_sub) {
  pst_bc_block<bidtype> block;
  struct pending {
    uint32_t nid;
    const pst_property_value* value;
  };
  std::vector<pending> streams;
  size_t total = 0;

  for (const auto& [id, value] : props) {
    if (id == 0) continue;
    const uint16_t type = value.type();
    const size_t size = value.size();
    uint32_t hnid = 0;
    if (value.is_stream() && size > 0) {  // a
      hnid = writer.new_subnode_nid();
      streams.push_back({hnid, &value});
    } else if (value.is_stream()) {  // an empty stream holds nothing
      hnid = 0;
    } else if (is_small_fixed_type(type) || (type == prop_type::error && size > 0)) {
      const uint8_t* p = value.data();
      if (type == prop_type::i8 && (size == 1 || size == 2 || size == 4)) {
        // PT_I8 always lives in the heap: widen short values to 8 bytes.
        uint8_t wide[8] = {};
        put_le<uint32_t>(wide, widen_inline(p, size));
        if (size == 1 && (p[0] & 0x80)) std::memset(wide + 4, 0xFF, 4);
        hnid = block.allocate(wide, 8);
        total += 8;
      } else if (size == 1 || size == 2 || size == 4) {  // b
        hnid = widen_inline(p, size);
        total += size;
      } else if (size == 8 && hnid_value_width(type)) {
        // A 2- or 4-byte type handed over in 8 bytes: readers take the value
        // from dwValueHnid, so it goes there (its low bytes), not to the heap.
        hnid = widen_inline(p, hnid_value_width(type));
        total += size;
      } else if (size == 8) {  // c
        hnid = block.allocate(p, 8);
        total += 8;
      } else {  // d
        throw qm_invalid_arg("fixed-size property " + std::to_string(id) + " of " + std::to_string(size) +
                             " bytes");
      }
    } else if (size == 0) {  // e
      hnid = 0;
    } else if (size <= pc_heap_value_limit && total + size <= pc_heap_budget) {  // f
      hnid = block.allocate(value.data(), size);
      total += size;
    } else if (type == prop_type::systime || type == prop_type::r8) {  // g
      hnid = block.allocate(value.data(), size);
      total += size;
    } else {  // h
      hnid = writer.new_subnode_nid();
      streams.push_back({hnid, &value});
    }
    block.add_record(id, type, hnid);
  }
  block.write_records();

  pc_commit_result<bidtype> result;
  result.data_bid = block.write_all(writer);
  for (const pending& s : streams) {
    bidtype bid = s.value->is_stream() ? writer.commit_stream(*s.value->stream())
                                       : writer.write_stream(s.value->data(), s.value->size());
    result.subnodes.push_back({s.nid, bid, 0});
  }
  std::vector<ltp_subnode<bidtype>> all = result.subnodes;
  for (const auto& e : extra) {
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& s) { return s.nid == e.nid; });
    if (it != all.end())
      *it = e;
    else
      all.push_back(e);
  }
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
  result.sub_bid = writer.write_subnode_tree(all, previous_sub);
  result.subnodes = std::move(all);
  return result;
}

template class pst_bc_block<uint32_t>;
template class pst_bc_block<uint64_t>;
template pc_commit_result<uint32_t> commit_property_context<uint32_t>(
    pst_node_writer<uint32_t>&, const std::map<uint16_t, pst_property_value>&,
    const std::vector<ltp_subnode<uint32_t>>&, uint32_t);
template pc_commit_result<uint64_t> commit_property_context<uint64_t>(
    pst_node_writer<uint64_t>&, const std::map<uint16_t, pst_property_value>&,
    const std::vector<ltp_subnode<uint64_t>>&, uint64_t);

}  // namespace vendrel
