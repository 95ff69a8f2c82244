// Copies a node's blocks from one node database into another: its data (one
// block, or a data tree whose leaves keep their sizes, so that heap blocks
// stay heap blocks) and its subnode tree with every subnode below it. A
// message embedded into a message of another file of the series (created
// before the series moved on) is copied this way.
#pragma once

#include <utility>

#include "ndb/ndb.h"

namespace vendrel {

// The new data BID and subnode BID, each carrying the reference its
// placement takes.
template <ndb_bidtype bidtype>
std::pair<block_id<bidtype>, block_id<bidtype>> copy_node_blocks(pst_ndb<bidtype>& from, pst_ndb<bidtype>& to,
                                                                 block_id<bidtype> data, block_id<bidtype> sub);

}  // namespace vendrel
