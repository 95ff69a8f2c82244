// Subnode trees ([MS-PST] 2.2.2.8.3.3): the subnodes of a node, as one
// SLBLOCK of up to 340 (NID, data BID, subnode BID) entries, or an SIBLOCK
// over up to 340 SLBLOCKs. Entries are kept in ascending NID order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ndb/types.h"

namespace vendrel {

template <ndb_bidtype bidtype>
class pst_ndb;

template <ndb_bidtype bidtype>
struct subnode_entry {
  node_id nid;
  block_id<bidtype> bid_data;
  block_id<bidtype> bid_sub;
  friend bool operator==(const subnode_entry&, const subnode_entry&) = default;
};

// Writes the subnode tree of `entries` (any order; a NID given twice keeps
// its last entry) and releases `previous`, the node's former subnode BID.
// Returns the node's new bidSub (0 for no entries), which carries one
// reference for the caller to place. More than 340 x 340 entries is
// qm_invalid_call.
//
// References: an entry's bidData and bidSub that the previous tree listed
// gain a reference for the new tree (the previous one drops its own when it
// is left without referrers); any other entry's blocks must bring the
// reference their writer placed for them (a block just written, or one
// the caller added a reference to because it is shared).
template <ndb_bidtype bidtype>
block_id<bidtype> write_subnode_tree(pst_ndb<bidtype>& ndb, std::vector<subnode_entry<bidtype>> entries,
                                     block_id<bidtype> previous = {});

// The entries stored under a subnode BID, in NID order; empty for BID 0.
// qm_invalid_call for a malformed tree.
template <ndb_bidtype bidtype>
std::vector<subnode_entry<bidtype>> read_subnode_tree(pst_ndb<bidtype>& ndb, block_id<bidtype> bid_sub);

template <ndb_bidtype bidtype>
std::optional<subnode_entry<bidtype>> find_subnode(pst_ndb<bidtype>& ndb, block_id<bidtype> bid_sub, node_id nid);

}  // namespace vendrel
