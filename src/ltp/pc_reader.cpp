#include "ltp/pc_reader.h"

#include <string>

#include "common/errors.h"
#include "ltp/property_context.h"
#include "ltp/property_value.h"

namespace vendrel {

const decoded_property* decoded_pc::find(uint16_t id) const {
  for (const auto& p : properties)
    if (p.id == id) return &p;
  return nullptr;
}

namespace {

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

// Types whose value sits in dwValueHnid, with their width.
size_t inline_width(uint16_t type) {
  switch (type) {
    case prop_type::unspecified:
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::error:
      return 4;
    case prop_type::i2:
      return 2;
    case prop_type::boolean:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

template <ndb_bidtype bidtype>
decoded_pc decode_property_context(const std::vector<std::vector<uint8_t>>& blocks, const subnode_resolver& subnodes) {
  heap_view<bidtype> heap(blocks);
  decoded_pc pc;
  pc.block_count = heap.block_count();
  const uint8_t* h = heap.header();
  if (hnhdr_layout::bClientSig::get(h) != hn_client_pc)
    throw qm_crf_error("heap client signature " + hex(hnhdr_layout::bClientSig::get(h)) + " is not a property context");
  if (pc.block_count > pc_max_blocks) throw qm_crf_error("property context of more than 8 heap blocks");
  for (size_t i = 0; i < 8; ++i) pc.fill_levels.push_back(get_fill_nibble(hnhdr_layout::rgbFillLevel::at(h), i));

  auto header = heap.at(hnhdr_layout::hidUserRoot::get(h), "property context user root");
  if (header.size() != bth_header_layout::size) throw qm_crf_error("BTH header is not 8 bytes");
  pc.bth = bth_header::get(header.data());
  if (pc.bth.type != bth_signature) throw qm_crf_error("BTH signature is not 0xB5");
  if (pc.bth.key_size != pc_bth_key_size || pc.bth.entry_size != pc_bth_entry_size)
    throw qm_crf_error("property context BTH has key/entry sizes " + std::to_string(pc.bth.key_size) + "/" +
                       std::to_string(pc.bth.entry_size));
  if (pc.bth.index_levels != 0) throw qm_crf_error("property context BTH has index levels");
  if (pc.bth.root == 0) return pc;

  auto records = heap.at(pc.bth.root, "property context records");
  if (records.empty() || records.size() % pc_record_layout::size)
    throw qm_crf_error("property context record array of " + std::to_string(records.size()) + " bytes");
  for (size_t r = 0; r < records.size() / pc_record_layout::size; ++r) {
    const uint8_t* rec = records.data() + r * pc_record_layout::size;
    decoded_property p;
    p.id = pc_record_layout::wPropId::get(rec);
    p.type = pc_record_layout::wPropType::get(rec);
    p.hnid = pc_record_layout::dwValueHnid::get(rec);
    if (!pc.properties.empty() && pc.properties.back().id >= p.id)
      throw qm_crf_error("property context records are not in ascending ID order at " + hex(p.id));
    if (size_t w = inline_width(p.type)) {
      p.kind = pc_value_kind::inline_value;
      for (size_t i = 0; i < w; ++i) p.bytes.push_back(static_cast<uint8_t>(p.hnid >> (8 * i)));
    } else if (p.hnid == 0) {
      p.kind = pc_value_kind::empty;
    } else if (is_hid(p.hnid)) {
      p.kind = pc_value_kind::heap;
      auto bytes = heap.at(p.hnid, ("property " + hex(p.tag())).c_str());
      p.bytes.assign(bytes.begin(), bytes.end());
      if (is_inline_type(p.type) && p.bytes.size() != 8)
        throw qm_crf_error("property " + hex(p.tag()) + " of a fixed 8-byte type holds " +
                           std::to_string(p.bytes.size()) + " bytes");
    } else {
      p.kind = pc_value_kind::subnode;
      if ((p.hnid & 0x1F) != nid_type::internal)
        throw qm_crf_error("property " + hex(p.tag()) + " names subnode " + hex(p.hnid) + " of NID type " +
                           std::to_string(p.hnid & 0x1F));
      if (subnodes) {
        auto bytes = subnodes(p.hnid);
        if (!bytes) throw qm_crf_error("property " + hex(p.tag()) + " names missing subnode " + hex(p.hnid));
        p.bytes = std::move(*bytes);
      } else {
        p.resolved = false;
      }
    }
    pc.properties.push_back(std::move(p));
  }
  return pc;
}

template <ndb_bidtype bidtype>
decoded_pc read_property_context(pst_ndb<bidtype>& ndb, node_id nid) {
  auto entry = ndb.lookup_node(nid);
  if (!entry) throw qm_crf_error("node " + hex(nid.value()) + " is not in the node B-tree");
  return decode_property_context<bidtype>(read_heap_blocks(ndb, entry->bid_data),
                                          ndb_subnode_resolver(ndb, entry->bid_sub));
}

template decoded_pc decode_property_context<uint32_t>(const std::vector<std::vector<uint8_t>>&, const subnode_resolver&);
template decoded_pc decode_property_context<uint64_t>(const std::vector<std::vector<uint8_t>>&, const subnode_resolver&);
template decoded_pc read_property_context<uint32_t>(pst_ndb<uint32_t>&, node_id);
template decoded_pc read_property_context<uint64_t>(pst_ndb<uint64_t>&, node_id);

}  // namespace vendrel
