#include "ndb/data_tree.h"

#include <algorithm>
#include <limits>
#include <string>

#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

template <ndb_bidtype bidtype>
void pst_data_tree<bidtype>::append(block_id<bidtype> bid, uint32_t size) {
  append(bid, size, true);
}

template <ndb_bidtype bidtype>
void pst_data_tree<bidtype>::append(block_id<bidtype> bid, uint32_t size, bool held) {
  if (bids_.size() >= max_entries) throw qm_invalid_call("data tree is full");
  bids_.push_back(bid);
  sizes_.push_back(size);
  held_.push_back(held);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_data_tree<bidtype>::replace(size_t index, block_id<bidtype> bid) {
  if (index >= bids_.size()) throw qm_invalid_arg("data tree index " + std::to_string(index) + " out of range");
  block_id<bidtype> old = bids_[index];
  bool held = held_[index];
  bids_[index] = bid;
  held_[index] = true;
  dirty_ = true;
  if (held && old != bid) ndb_->release_block(old);
}

template <ndb_bidtype bidtype>
void pst_data_tree<bidtype>::replace(size_t index, block_id<bidtype> bid, uint32_t size) {
  replace(index, bid);
  sizes_[index] = size;
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_data_tree<bidtype>::bid(size_t index) const {
  if (index >= bids_.size()) throw qm_invalid_arg("data tree index " + std::to_string(index) + " out of range");
  return bids_[index];
}

template <ndb_bidtype bidtype>
uint32_t pst_data_tree<bidtype>::size(size_t index) const {
  if (index >= sizes_.size()) throw qm_invalid_arg("data tree index " + std::to_string(index) + " out of range");
  return sizes_[index];
}

template <ndb_bidtype bidtype>
uint64_t pst_data_tree<bidtype>::total_size() const {
  uint64_t total = 0;
  for (uint32_t size : sizes_) total += size;
  return total;
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_data_tree<bidtype>::write_xblock(uint8_t level, const block_id<bidtype>* bids, size_t count,
                                                       uint32_t total) {
  using layout = xblock_layout<bidtype>;
  if (count > limit) throw qm_invalid_call("data tree block of more than " + std::to_string(limit) + " entries");
  std::vector<uint8_t> payload(layout::rgbid + count * layout::entry_size, 0);
  layout::btype::put(payload.data(), layout::btype_value);
  layout::cLevel::put(payload.data(), level);
  layout::cEnt::put(payload.data(), static_cast<uint16_t>(count));
  layout::lcbTotal::put(payload.data(), total);
  for (size_t i = 0; i < count; ++i)
    put_le<bidtype>(payload.data() + layout::rgbid + i * layout::entry_size, bids[i].value());
  return ndb_->write_block(block_kind::data_tree, payload.data(), payload.size());
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_data_tree<bidtype>::write(uint64_t total) {
  if (bids_.empty()) throw qm_invalid_call("a data tree needs at least one block");
  // lcbTotal is 32 bits wide in both variants.
  if (total > std::numeric_limits<uint32_t>::max())
    throw qm_invalid_call("node data of " + std::to_string(total) + " bytes exceeds a data tree");
  std::vector<block_id<bidtype>> lower;
  block_id<bidtype> top;
  try {
    if (bids_.size() <= limit) {
      top = write_xblock(1, bids_.data(), bids_.size(), static_cast<uint32_t>(total));
    } else {
      for (size_t first = 0; first < bids_.size(); first += limit) {
        size_t count = std::min(limit, bids_.size() - first);
        uint64_t part = 0;
        for (size_t i = first; i < first + count; ++i) part += sizes_[i];
        lower.push_back(write_xblock(1, bids_.data() + first, count, static_cast<uint32_t>(part)));
      }
      top = write_xblock(2, lower.data(), lower.size(), static_cast<uint32_t>(total));
    }
  } catch (...) {
    // XBLOCKs written before the failure are referred to by nothing: they
    // lose the reference they were written with (and only that: the tree
    // still holds its entries' references, for a retry).
    for (block_id<bidtype> written : lower) ndb_->bbt().decrement(written);
    throw;
  }
  // The new tree's blocks refer to every entry: the references the tree
  // held move to them, the entries under the previous top gain one.
  for (size_t i = 0; i < bids_.size(); ++i) {
    if (!held_[i]) ndb_->add_block_reference(bids_[i]);
    held_[i] = false;
  }
  lower_ = std::move(lower);
  top_ = top;
  dirty_ = false;
  return top;
}

namespace {

template <ndb_bidtype bidtype>
struct xblock_view {
  uint8_t level = 0;
  uint32_t total = 0;
  std::vector<block_id<bidtype>> bids;
};

template <ndb_bidtype bidtype>
xblock_view<bidtype> read_xblock(pst_ndb<bidtype>* ndb, block_id<bidtype> bid) {
  using layout = xblock_layout<bidtype>;
  std::string where = " (data tree block " + std::to_string(bid.value()) + ")";
  if (!bid.internal()) throw qm_invalid_call("data tree BID is not internal" + where);
  auto block = ndb->load_block(bid, block_kind::data_tree);
  if (!block) throw qm_invalid_call("missing block" + where);
  const uint8_t* p = block->data();
  if (block->size() < layout::rgbid || layout::btype::get(p) != layout::btype_value)
    throw qm_invalid_call("bad data tree block" + where);
  xblock_view<bidtype> view;
  view.level = layout::cLevel::get(p);
  view.total = layout::lcbTotal::get(p);
  size_t count = layout::cEnt::get(p);
  if ((view.level != 1 && view.level != 2) || layout::rgbid + count * layout::entry_size > block->size())
    throw qm_invalid_call("bad data tree block" + where);
  for (size_t i = 0; i < count; ++i)
    view.bids.emplace_back(get_le<bidtype>(p + layout::rgbid + i * layout::entry_size));
  return view;
}

}  // namespace

template <ndb_bidtype bidtype>
pst_data_tree<bidtype> pst_data_tree<bidtype>::load(pst_ndb<bidtype>* ndb, block_id<bidtype> top) {
  pst_data_tree tree(ndb);
  xblock_view<bidtype> root = read_xblock(ndb, top);
  auto add_level1 = [&](const xblock_view<bidtype>& xblock) {
    uint64_t sum = 0;
    for (block_id<bidtype> bid : xblock.bids) {
      auto entry = ndb->lookup_block(bid);
      if (!entry || bid.internal())
        throw qm_invalid_call("data tree lists a missing block " + std::to_string(bid.value()));
      tree.bids_.push_back(bid);
      tree.sizes_.push_back(entry->cb);
      tree.held_.push_back(false);
      sum += entry->cb;
    }
    if (sum != xblock.total) throw qm_invalid_call("data tree lcbTotal differs from the sizes of its blocks");
  };
  if (root.level == 1) {
    add_level1(root);
  } else {
    uint64_t sum = 0;
    for (block_id<bidtype> bid : root.bids) {
      xblock_view<bidtype> xblock = read_xblock(ndb, bid);
      if (xblock.level != 1) throw qm_invalid_call("XXBLOCK entry is not an XBLOCK");
      add_level1(xblock);
      sum += xblock.total;
      tree.lower_.push_back(bid);
    }
    if (sum != root.total) throw qm_invalid_call("XXBLOCK lcbTotal differs from its XBLOCKs");
  }
  tree.top_ = top;
  tree.dirty_ = false;
  return tree;
}

template <ndb_bidtype bidtype>
std::vector<uint8_t> read_node_data(pst_ndb<bidtype>& ndb, block_id<bidtype> bid) {
  std::vector<uint8_t> data;
  if (!bid) return data;
  auto append = [&](block_id<bidtype> data_bid) {
    auto block = ndb.load_block(data_bid, block_kind::stream);
    if (!block) throw qm_invalid_call("node data block " + std::to_string(data_bid.value()) + " is missing");
    data.insert(data.end(), block->data(), block->data() + block->size());
  };
  if (!bid.internal()) {
    append(bid);
    return data;
  }
  pst_data_tree<bidtype> tree = pst_data_tree<bidtype>::load(&ndb, bid);
  data.reserve(tree.total_size());
  for (size_t i = 0; i < tree.count(); ++i) append(tree.bid(i));
  return data;
}

template class pst_data_tree<uint32_t>;
template class pst_data_tree<uint64_t>;
template std::vector<uint8_t> read_node_data<uint32_t>(pst_ndb<uint32_t>&, block_id<uint32_t>);
template std::vector<uint8_t> read_node_data<uint64_t>(pst_ndb<uint64_t>&, block_id<uint64_t>);

}  // namespace vendrel
