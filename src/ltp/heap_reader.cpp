#include "ltp/heap_reader.h"

#include <string>

#include "common/errors.h"

namespace vendrel {

template <ndb_bidtype bidtype>
heap_view<bidtype>::heap_view(const std::vector<std::vector<uint8_t>>& blocks) {
  if (blocks.empty()) throw qm_crf_error("heap without blocks");
  for (size_t i = 0; i < blocks.size(); ++i) {
    try {
      blocks_.push_back(std::make_unique<pst_entries_block<bidtype>>(blocks[i].data(), blocks[i].size()));
    } catch (const qm_error& e) {
      throw qm_crf_error("heap block " + std::to_string(i) + ": " + e.message());
    }
    const size_t first = blocks_.back()->offsets().front();
    if (first != heap_first_offset(i))
      throw qm_crf_error("heap block " + std::to_string(i) + " starts its allocations at " + std::to_string(first) +
                         " instead of " + std::to_string(heap_first_offset(i)));
  }
  const uint8_t* h = header();
  if (hnhdr_layout::bSig::get(h) != hn_signature) throw qm_crf_error("heap signature is not 0xEC");
}

template <ndb_bidtype bidtype>
bool heap_view<bidtype>::valid(uint32_t hid) const {
  if (!is_hid(hid)) return false;
  const size_t b = hid_block(hid), i = hid_index(hid);
  return b < blocks_.size() && i >= 1 && i <= blocks_[b]->entry_count();
}

template <ndb_bidtype bidtype>
std::span<const uint8_t> heap_view<bidtype>::at(uint32_t hid, const char* what) const {
  if (!valid(hid)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08X", hid);
    throw qm_crf_error(std::string(what) + ": HID " + buf + " names no allocation");
  }
  const pst_entries_block<bidtype>& block = *blocks_[hid_block(hid)];
  return block.entry(hid_index(hid) - 1);
}

template <ndb_bidtype bidtype>
std::vector<std::vector<uint8_t>> read_heap_blocks(pst_ndb<bidtype>& ndb, block_id<bidtype> data_bid) {
  std::vector<std::vector<uint8_t>> out;
  if (!data_bid) throw qm_crf_error("node without data");
  std::vector<block_id<bidtype>> bids;
  if (data_bid.internal()) {
    pst_data_tree<bidtype> tree = pst_data_tree<bidtype>::load(&ndb, data_bid);
    for (size_t i = 0; i < tree.count(); ++i) bids.push_back(tree.bid(i));
  } else {
    bids.push_back(data_bid);
  }
  for (auto bid : bids) {
    auto block = ndb.load_block(bid, block_kind::tc_heap);
    if (!block) throw qm_crf_error("heap block " + std::to_string(bid.value()) + " is missing");
    out.emplace_back(block->data(), block->data() + block->size());
  }
  return out;
}

template <ndb_bidtype bidtype>
subnode_resolver ndb_subnode_resolver(pst_ndb<bidtype>& ndb, block_id<bidtype> sub_bid) {
  return [&ndb, sub_bid](uint32_t nid) -> std::optional<std::vector<uint8_t>> {
    if (!sub_bid) return std::nullopt;
    auto entry = find_subnode(ndb, sub_bid, node_id(nid));
    if (!entry) return std::nullopt;
    return read_node_data(ndb, entry->bid_data);
  };
}

template class heap_view<uint32_t>;
template class heap_view<uint64_t>;
template std::vector<std::vector<uint8_t>> read_heap_blocks<uint32_t>(pst_ndb<uint32_t>&, block_id<uint32_t>);
template std::vector<std::vector<uint8_t>> read_heap_blocks<uint64_t>(pst_ndb<uint64_t>&, block_id<uint64_t>);
template subnode_resolver ndb_subnode_resolver<uint32_t>(pst_ndb<uint32_t>&, block_id<uint32_t>);
template subnode_resolver ndb_subnode_resolver<uint64_t>(pst_ndb<uint64_t>&, block_id<uint64_t>);

}  // namespace vendrel
