// Reading heaps back: a strict view over the stored blocks of one heap, and
// the node-database reads that gather a node's heap blocks and its subnodes.
// Malformed data is qm_crf_error with a message naming what is wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ltp/heap.h"
#include "ndb/ndb.h"

namespace vendrel {

// The bytes of a subnode's data, or none when the node has no such subnode.
using subnode_resolver = std::function<std::optional<std::vector<uint8_t>>(uint32_t nid)>;

template <ndb_bidtype bidtype>
class heap_view {
 public:
  // Loads every block; qm_crf_error for a block that is not a well-formed
  // heap block or for no blocks at all.
  explicit heap_view(const std::vector<std::vector<uint8_t>>& blocks);

  size_t block_count() const { return blocks_.size(); }
  const pst_entries_block<bidtype>& block(size_t i) const { return *blocks_[i]; }
  const uint8_t* header() const { return blocks_[0]->buffer(); }
  // The allocation a HID names; qm_crf_error when it names none.
  std::span<const uint8_t> at(uint32_t hid, const char* what) const;
  bool valid(uint32_t hid) const;

 private:
  std::vector<std::unique_ptr<pst_entries_block<bidtype>>> blocks_;
};

// The heap blocks of a node's data: its one data block, or the blocks of its
// data tree in order. qm_crf_error when a block is missing.
template <ndb_bidtype bidtype>
std::vector<std::vector<uint8_t>> read_heap_blocks(pst_ndb<bidtype>& ndb, block_id<bidtype> data_bid);

// A resolver over the subnodes stored under a node's subnode BID.
template <ndb_bidtype bidtype>
subnode_resolver ndb_subnode_resolver(pst_ndb<bidtype>& ndb, block_id<bidtype> sub_bid);

}  // namespace vendrel
