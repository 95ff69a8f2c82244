#include "items/node_copy.h"

#include <string>
#include <vector>

#include "common/errors.h"

namespace vendrel {

namespace {

template <ndb_bidtype bidtype>
block_id<bidtype> copy_leaf(pst_ndb<bidtype>& from, pst_ndb<bidtype>& to, block_id<bidtype> bid) {
  auto block = from.load_block(bid, block_kind::stream);
  if (!block) throw qm_invalid_call("copy of a node: block " + std::to_string(bid.value()) + " is missing");
  return to.write_block(block_kind::stream, block->data(), block->size());
}

template <ndb_bidtype bidtype>
block_id<bidtype> copy_data(pst_ndb<bidtype>& from, pst_ndb<bidtype>& to, block_id<bidtype> bid) {
  if (!bid) return {};
  if (!bid.internal()) return copy_leaf(from, to, bid);
  const pst_data_tree<bidtype> tree = pst_data_tree<bidtype>::load(&from, bid);
  pst_data_tree<bidtype> copy(&to);
  for (size_t i = 0; i < tree.count(); ++i) copy.append(copy_leaf(from, to, tree.bid(i)), tree.size(i));
  return copy.write(tree.total_size());
}

template <ndb_bidtype bidtype>
block_id<bidtype> copy_subnodes(pst_ndb<bidtype>& from, pst_ndb<bidtype>& to, block_id<bidtype> sub) {
  if (!sub) return {};
  std::vector<subnode_entry<bidtype>> entries = read_subnode_tree(from, sub);
  for (auto& e : entries) {
    e.bid_data = copy_data(from, to, e.bid_data);
    e.bid_sub = copy_subnodes(from, to, e.bid_sub);
  }
  return write_subnode_tree(to, std::move(entries));
}

}  // namespace

template <ndb_bidtype bidtype>
std::pair<block_id<bidtype>, block_id<bidtype>> copy_node_blocks(pst_ndb<bidtype>& from, pst_ndb<bidtype>& to,
                                                                 block_id<bidtype> data, block_id<bidtype> sub) {
  return {copy_data(from, to, data), copy_subnodes(from, to, sub)};
}

template std::pair<block_id<uint32_t>, block_id<uint32_t>> copy_node_blocks<uint32_t>(
    pst_ndb<uint32_t>&, pst_ndb<uint32_t>&, block_id<uint32_t>, block_id<uint32_t>);
template std::pair<block_id<uint64_t>, block_id<uint64_t>> copy_node_blocks<uint64_t>(
    pst_ndb<uint64_t>&, pst_ndb<uint64_t>&, block_id<uint64_t>, block_id<uint64_t>);

}  // namespace vendrel
