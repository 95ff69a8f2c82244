#include "ltp/ndb_link.h"

#include "common/errors.h"

namespace vendrel {

template <ndb_bidtype bidtype>
bidtype pst_ndb_link<bidtype>::write_block(ltp_block_kind kind, const uint8_t* data, size_t size) {
  return ndb_.write_block(static_cast<block_kind>(kind), data, size).value();
}

template <ndb_bidtype bidtype>
bidtype pst_ndb_link<bidtype>::write_stream(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ref<pst_xstream<bidtype>> stream(new pst_xstream<bidtype>(&ndb_));
  stream->write(data, size);
  return stream->commit().value();
}

template <ndb_bidtype bidtype>
bidtype pst_ndb_link<bidtype>::commit_stream(pst_const_stream& stream) {
  if (auto* own = dynamic_cast<pst_xstream<bidtype>*>(&stream)) return own->commit().value();
  // A stream of another source: copied chunk by chunk into node data.
  ref<pst_xstream<bidtype>> copy(new pst_xstream<bidtype>(&ndb_));
  std::vector<uint8_t> chunk(pst_xstream<bidtype>::chunk);
  const uint64_t size = stream.size();
  for (uint64_t pos = 0; pos < size;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - pos));
    size_t got = stream.read_at(pos, chunk.data(), want);
    if (got == 0) throw qm_invalid_arg("stream value is shorter than its size");
    copy->write(chunk.data(), got);
    pos += got;
  }
  return copy->commit().value();
}

template <ndb_bidtype bidtype>
bidtype pst_ndb_link<bidtype>::write_data_tree(const std::vector<bidtype>& bids, const std::vector<size_t>& sizes) {
  if (bids.size() != sizes.size()) throw qm_invalid_arg("data tree BIDs and sizes differ in number");
  pst_data_tree<bidtype> tree(&ndb_);
  uint64_t total = 0;
  for (size_t i = 0; i < bids.size(); ++i) {
    tree.append(block_id<bidtype>(bids[i]), static_cast<uint32_t>(sizes[i]));
    total += sizes[i];
  }
  return tree.write(total).value();
}

template <ndb_bidtype bidtype>
bidtype pst_ndb_link<bidtype>::write_subnode_tree(const std::vector<ltp_subnode<bidtype>>& entries,
                                                  bidtype previous) {
  std::vector<subnode_entry<bidtype>> list;
  list.reserve(entries.size());
  for (const auto& e : entries)
    list.push_back({node_id(e.nid), block_id<bidtype>(e.data_bid), block_id<bidtype>(e.sub_bid)});
  return vendrel::write_subnode_tree(ndb_, std::move(list), block_id<bidtype>(previous)).value();
}

template <ndb_bidtype bidtype>
void pst_ndb_link<bidtype>::release_block(bidtype bid) {
  if (bid) ndb_.release_block(block_id<bidtype>(bid));
}

template <ndb_bidtype bidtype>
uint32_t pst_ndb_link<bidtype>::new_subnode_nid() {
  return ndb_.new_subnode_nid().value();
}

template class pst_ndb_link<uint32_t>;
template class pst_ndb_link<uint64_t>;

}  // namespace vendrel
