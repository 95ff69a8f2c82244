// The heap layer's writes served by the node database: blocks through
// pst_ndb::write_block, node data through pst_xstream, data trees and
// subnode trees through their writers, subnode NIDs from the header's
// counter for type 0x1F.
#pragma once

#include "ltp/node_writer.h"
#include "ndb/ndb.h"

namespace vendrel {

template <ndb_bidtype bidtype>
class pst_ndb_link final : public pst_node_writer<bidtype> {
 public:
  explicit pst_ndb_link(pst_ndb<bidtype>& ndb) : ndb_(ndb) {}

  bidtype write_block(ltp_block_kind kind, const uint8_t* data, size_t size) override;
  bidtype write_stream(const uint8_t* data, size_t size) override;
  bidtype commit_stream(pst_const_stream& stream) override;
  bidtype write_data_tree(const std::vector<bidtype>& bids, const std::vector<size_t>& sizes) override;
  bidtype write_subnode_tree(const std::vector<ltp_subnode<bidtype>>& entries, bidtype previous) override;
  void release_block(bidtype bid) override;
  uint32_t new_subnode_nid() override;
  const void* store_identity() const override { return &ndb_; }

  pst_ndb<bidtype>& ndb() const { return ndb_; }

 private:
  pst_ndb<bidtype>& ndb_;
};

extern template class pst_ndb_link<uint32_t>;
extern template class pst_ndb_link<uint64_t>;

}  // namespace vendrel
