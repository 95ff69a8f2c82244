#include "ndb/subnode_tree.h"

#include <algorithm>
#include <set>
#include <string>

#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

namespace {

template <ndb_bidtype bidtype>
block_id<bidtype> write_slblock(pst_ndb<bidtype>& ndb, const subnode_entry<bidtype>* entries, size_t count) {
  using block = slblock_layout<bidtype>;
  using entry = slentry_layout<bidtype>;
  std::vector<uint8_t> payload(block::rgentries + count * entry::size, 0);
  block::btype::put(payload.data(), block::btype_value);
  block::cLevel::put(payload.data(), 0);
  block::cEnt::put(payload.data(), static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    uint8_t* e = payload.data() + block::rgentries + i * entry::size;
    entry::nid::put(e, entries[i].nid.value());
    entry::bidData::put(e, entries[i].bid_data.value());
    entry::bidSub::put(e, entries[i].bid_sub.value());
  }
  return ndb.write_block(block_kind::subnode_tree, payload.data(), payload.size());
}

template <ndb_bidtype bidtype>
block_id<bidtype> write_siblock(pst_ndb<bidtype>& ndb, const std::vector<std::pair<node_id, block_id<bidtype>>>& children) {
  using block = slblock_layout<bidtype>;
  using entry = sientry_layout<bidtype>;
  std::vector<uint8_t> payload(block::rgentries + children.size() * entry::size, 0);
  block::btype::put(payload.data(), block::btype_value);
  block::cLevel::put(payload.data(), 1);
  block::cEnt::put(payload.data(), static_cast<uint16_t>(children.size()));
  for (size_t i = 0; i < children.size(); ++i) {
    uint8_t* e = payload.data() + block::rgentries + i * entry::size;
    entry::nid::put(e, children[i].first.value());
    entry::bid::put(e, children[i].second.value());
  }
  return ndb.write_block(block_kind::subnode_tree, payload.data(), payload.size());
}

}  // namespace

template <ndb_bidtype bidtype>
block_id<bidtype> write_subnode_tree(pst_ndb<bidtype>& ndb, std::vector<subnode_entry<bidtype>> entries,
                                     block_id<bidtype> previous) {
  // Sorting first keeps every SLBLOCK, and the SIBLOCK over them, in NID
  // order whatever order the caller collected its subnodes in.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const subnode_entry<bidtype>& a, const subnode_entry<bidtype>& b) { return a.nid < b.nid; });
  std::vector<subnode_entry<bidtype>> unique;
  unique.reserve(entries.size());
  for (const auto& e : entries) {
    if (!unique.empty() && unique.back().nid == e.nid)
      unique.back() = e;
    else
      unique.push_back(e);
  }
  if (unique.size() > subnode_tree_limit * subnode_tree_limit)
    throw qm_invalid_call("more than " + std::to_string(subnode_tree_limit * subnode_tree_limit) + " subnodes");

  // The references the previous tree's entries hold: an entry carried over
  // into the new tree gains one for it, and the previous tree, released
  // below, drops its own when no one else refers to it.
  std::multiset<bidtype> carried;
  if (previous)
    for (const auto& e : read_subnode_tree(ndb, previous)) {
      if (e.bid_data) carried.insert(e.bid_data.value());
      if (e.bid_sub) carried.insert(e.bid_sub.value());
    }

  block_id<bidtype> top;
  if (unique.empty()) {
    // nothing to write
  } else if (unique.size() <= subnode_tree_limit) {
    top = write_slblock(ndb, unique.data(), unique.size());
  } else {
    std::vector<std::pair<node_id, block_id<bidtype>>> children;
    try {
      for (size_t first = 0; first < unique.size(); first += subnode_tree_limit) {
        size_t count = std::min(subnode_tree_limit, unique.size() - first);
        children.emplace_back(unique[first].nid, write_slblock(ndb, unique.data() + first, count));
      }
      top = write_siblock(ndb, children);
    } catch (...) {
      // SLBLOCKs written before the failure are referred to by nothing; the
      // entries keep the references the caller brought, for a retry.
      for (const auto& child : children) ndb.bbt().decrement(child.second);
      throw;
    }
  }
  for (const auto& e : unique) {
    for (block_id<bidtype> bid : {e.bid_data, e.bid_sub}) {
      if (!bid) continue;
      auto found = carried.find(bid.value());
      if (found == carried.end()) continue;  // a new entry brings its own reference
      carried.erase(found);
      ndb.add_block_reference(bid);
    }
  }
  if (previous) ndb.release_block(previous);
  return top;
}

namespace {

template <ndb_bidtype bidtype>
void read_subnode_block(pst_ndb<bidtype>& ndb, block_id<bidtype> bid, int expected_level,
                        std::vector<subnode_entry<bidtype>>& out) {
  using block_layout = slblock_layout<bidtype>;
  std::string where = " (subnode tree block " + std::to_string(bid.value()) + ")";
  if (!bid.internal()) throw qm_invalid_call("subnode tree BID is not internal" + where);
  auto block = ndb.load_block(bid, block_kind::subnode_tree);
  if (!block) throw qm_invalid_call("missing block" + where);
  const uint8_t* p = block->data();
  if (block->size() < block_layout::rgentries || block_layout::btype::get(p) != block_layout::btype_value)
    throw qm_invalid_call("bad subnode tree block" + where);
  int level = block_layout::cLevel::get(p);
  size_t count = block_layout::cEnt::get(p);
  if (level > 1 || (expected_level >= 0 && level != expected_level))
    throw qm_invalid_call("bad subnode tree level" + where);
  size_t entry_size = level == 0 ? slentry_layout<bidtype>::size : sientry_layout<bidtype>::size;
  if (block_layout::rgentries + count * entry_size > block->size())
    throw qm_invalid_call("bad subnode tree block" + where);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = p + block_layout::rgentries + i * entry_size;
    if (level == 0) {
      using entry = slentry_layout<bidtype>;
      out.push_back({node_id(entry::nid::get(e)), block_id<bidtype>(entry::bidData::get(e)),
                     block_id<bidtype>(entry::bidSub::get(e))});
    } else {
      using entry = sientry_layout<bidtype>;
      read_subnode_block(ndb, block_id<bidtype>(entry::bid::get(e)), 0, out);
    }
  }
}

}  // namespace

template <ndb_bidtype bidtype>
std::vector<subnode_entry<bidtype>> read_subnode_tree(pst_ndb<bidtype>& ndb, block_id<bidtype> bid_sub) {
  std::vector<subnode_entry<bidtype>> entries;
  if (!bid_sub) return entries;
  read_subnode_block(ndb, bid_sub, -1, entries);
  for (size_t i = 1; i < entries.size(); ++i)
    if (!(entries[i - 1].nid < entries[i].nid)) throw qm_invalid_call("subnode tree entries out of order");
  return entries;
}

template <ndb_bidtype bidtype>
std::optional<subnode_entry<bidtype>> find_subnode(pst_ndb<bidtype>& ndb, block_id<bidtype> bid_sub, node_id nid) {
  for (const auto& entry : read_subnode_tree(ndb, bid_sub))
    if (entry.nid == nid) return entry;
  return std::nullopt;
}

template block_id<uint32_t> write_subnode_tree<uint32_t>(pst_ndb<uint32_t>&, std::vector<subnode_entry<uint32_t>>,
                                                         block_id<uint32_t>);
template block_id<uint64_t> write_subnode_tree<uint64_t>(pst_ndb<uint64_t>&, std::vector<subnode_entry<uint64_t>>,
                                                         block_id<uint64_t>);
template std::vector<subnode_entry<uint32_t>> read_subnode_tree<uint32_t>(pst_ndb<uint32_t>&, block_id<uint32_t>);
template std::vector<subnode_entry<uint64_t>> read_subnode_tree<uint64_t>(pst_ndb<uint64_t>&, block_id<uint64_t>);
template std::optional<subnode_entry<uint32_t>> find_subnode<uint32_t>(pst_ndb<uint32_t>&, block_id<uint32_t>, node_id);
template std::optional<subnode_entry<uint64_t>> find_subnode<uint64_t>(pst_ndb<uint64_t>&, block_id<uint64_t>, node_id);

}  // namespace vendrel
