// The node-database services the heap, property and table layers write
// through. The heaps only need to write a block image, write a byte stream as
// a node's data, build a data tree over written blocks and a subnode tree
// over subnode entries, release a block reference and draw subnode NIDs; this
// interface is that list. ltp/ndb_link.h serves it from a pst_ndb.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ndb/types.h"
#include "ndb/xstream.h"

namespace vendrel {

// Block kinds of the heap layer's writes ([MS-PST] data blocks, all encoded
// with the file's method).
enum class ltp_block_kind : uint8_t {
  stream = 1,
  pc_heap = 4,
  tc_heap = 5,
};

// One subnode of a node: SLENTRY ([MS-PST] 2.2.2.8.3.3.1.1).
template <ndb_bidtype bidtype>
struct ltp_subnode {
  uint32_t nid = 0;
  bidtype data_bid = 0;
  bidtype sub_bid = 0;
  friend bool operator==(const ltp_subnode&, const ltp_subnode&) = default;
};

template <ndb_bidtype bidtype>
class pst_node_writer {
 public:
  virtual ~pst_node_writer() = default;

  // Writes one block of `size` payload bytes (at most the largest payload)
  // and returns its BID.
  virtual bidtype write_block(ltp_block_kind kind, const uint8_t* data, size_t size) = 0;
  // Writes bytes as one node's data (one block, or blocks under a data tree)
  // and returns the node's data BID; 0 for no bytes.
  virtual bidtype write_stream(const uint8_t* data, size_t size) = 0;
  // The data BID of a stream value: a node-database stream is committed,
  // any other stream is copied into a new one.
  virtual bidtype commit_stream(pst_const_stream& stream) = 0;
  // Writes a data tree over written blocks (in data order, with their
  // payload sizes) and returns its top BID.
  virtual bidtype write_data_tree(const std::vector<bidtype>& bids, const std::vector<size_t>& sizes) = 0;
  // Writes a subnode tree and returns its BID (0 for no entries). The
  // previous subnode BID, if not 0, loses one reference.
  virtual bidtype write_subnode_tree(const std::vector<ltp_subnode<bidtype>>& entries,
                                     bidtype previous) = 0;
  // One reference less on a stored block.
  virtual void release_block(bidtype bid) = 0;
  // A new subnode NID of type 0x1F from the store-wide counter.
  virtual uint32_t new_subnode_nid() = 0;
  // Equal for writers of the same store (node database).
  virtual const void* store_identity() const { return this; }
};

}  // namespace vendrel
