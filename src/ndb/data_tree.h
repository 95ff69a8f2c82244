// Data trees ([MS-PST] 2.2.2.8.3.2): node data larger than one block is a
// list of data blocks under one XBLOCK (up to 1019 ANSI / 1021 Unicode
// BIDs), or under an XXBLOCK of such XBLOCKs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ndb/types.h"

namespace vendrel {

template <ndb_bidtype bidtype>
class pst_ndb;

template <ndb_bidtype bidtype>
class pst_data_tree {
 public:
  using format = ndb_format<bidtype>;
  static constexpr size_t limit = format::data_tree_limit;
  // Two levels hold limit x limit data blocks.
  static constexpr size_t max_entries = limit * limit;

  explicit pst_data_tree(pst_ndb<bidtype>* ndb) : ndb_(ndb) {}
  // The tree stored under `top` (an XBLOCK or XXBLOCK); the sizes of its
  // blocks come from the BBT. qm_invalid_call for a malformed tree.
  static pst_data_tree load(pst_ndb<bidtype>* ndb, block_id<bidtype> top);

  // Data blocks in data order, each with its payload size (which gives the
  // lcbTotal of the XBLOCKs under an XXBLOCK).
  //
  // References: an appended BID brings the reference its writer placed for
  // it (a block just written, or one the caller added a reference to), and
  // the tree holds it until its next write hands it to the new top block.
  // An entry of a tree already written (or loaded) is referred to by that
  // top; the next write adds a reference for the new top, and the old top's
  // holder releases the old top, which drops its own.
  void append(block_id<bidtype> bid, uint32_t size = static_cast<uint32_t>(format::max_block_payload));
  // `held` false: the BID is referred to by a stored top this tree replaces
  // (the first block of a stream that outgrew it), so the write adds one.
  void append(block_id<bidtype> bid, uint32_t size, bool held);
  // Replaces entry i; the old BID's reference is released when the tree
  // held it (an entry appended or replaced since the last write).
  void replace(size_t index, block_id<bidtype> bid);
  void replace(size_t index, block_id<bidtype> bid, uint32_t size);
  block_id<bidtype> bid(size_t index) const;
  uint32_t size(size_t index) const;
  size_t count() const { return bids_.size(); }
  uint64_t total_size() const;
  bool dirty() const { return dirty_; }

  // Writes the tree for node data of `total` bytes and returns its top BID,
  // which carries one reference for the caller to place (as a node's
  // bidData or an SLENTRY's). A previous top is left to its holder, who
  // releases it when the new top takes its place.
  block_id<bidtype> write(uint64_t total);
  // The top BID of the last write (0 before the first).
  block_id<bidtype> top() const { return top_; }

 private:
  block_id<bidtype> write_xblock(uint8_t level, const block_id<bidtype>* bids, size_t count, uint32_t total);

  pst_ndb<bidtype>* ndb_;
  std::vector<block_id<bidtype>> bids_;
  std::vector<uint32_t> sizes_;
  std::vector<bool> held_;  // the tree holds the entry's reference (not yet under a written top)
  bool dirty_ = false;
  block_id<bidtype> top_;
  std::vector<block_id<bidtype>> lower_;  // the XBLOCKs under the last XXBLOCK written
};

// All bytes of a node's data: one data block, or the blocks of its data tree
// in order. Empty for BID 0; qm_invalid_call when a block is missing.
template <ndb_bidtype bidtype>
std::vector<uint8_t> read_node_data(pst_ndb<bidtype>& ndb, block_id<bidtype> bid);

extern template class pst_data_tree<uint32_t>;
extern template class pst_data_tree<uint64_t>;

}  // namespace vendrel
