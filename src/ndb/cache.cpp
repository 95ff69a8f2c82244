#include "ndb/cache.h"

#include "common/logger.h"

namespace vendrel {

template <ndb_bidtype bidtype>
typename pst_page_cache<bidtype>::page_ptr pst_page_cache<bidtype>::find(bidtype offset) {
  auto found = index_.find(offset);
  if (found == index_.end()) return nullptr;
  pages_.splice(pages_.begin(), pages_, found->second);
  return pages_.front();
}

template <ndb_bidtype bidtype>
void pst_page_cache<bidtype>::add(page_ptr page) {
  bidtype offset = page->offset();
  if (auto found = index_.find(offset); found != index_.end()) {
    pages_.erase(found->second);
    index_.erase(found);
  }
  pages_.push_front(std::move(page));
  index_[offset] = pages_.begin();
  while (pages_.size() > capacity) {
    auto victim = pages_.end();
    for (auto it = std::prev(pages_.end());; --it) {
      if (it->use_count() == 1) {
        victim = it;
        break;
      }
      if (it == pages_.begin()) break;
    }
    if (victim == pages_.end()) return;  // every page is in use: hold more for now
    if ((*victim)->dirty()) (*victim)->write();
    index_.erase((*victim)->offset());
    pages_.erase(victim);
  }
}

template <ndb_bidtype bidtype>
void pst_page_cache<bidtype>::write_dirty() {
  for (auto& page : pages_)
    if (page->dirty()) page->write();
}

template <ndb_bidtype bidtype>
void pst_page_cache<bidtype>::remove(bidtype offset) {
  auto found = index_.find(offset);
  if (found == index_.end()) return;
  pages_.erase(found->second);
  index_.erase(found);
}

template <ndb_bidtype bidtype>
void pst_page_cache<bidtype>::clear() {
  index_.clear();
  pages_.clear();
}

template <ndb_bidtype bidtype>
pst_cache_block<bidtype>::~pst_cache_block() {
  for (auto& block : blocks_) {
    if (block->ref_count() != 1) logger().write_formatted("[PST] ~pst_cache_block found lost block");
  }
  index_.clear();
  blocks_.clear();
}

template <ndb_bidtype bidtype>
void pst_cache_block<bidtype>::add(const block_ref_t& block) {
  blocks_.push_back(block);
  index_[block->bid().value()] = std::prev(blocks_.end());
  total_ += block->size();
}

template <ndb_bidtype bidtype>
typename pst_cache_block<bidtype>::block_ref_t pst_cache_block<bidtype>::find(block_id<bidtype> bid) const {
  auto found = index_.find(bid.value());
  if (found == index_.end()) return nullptr;
  return *found->second;
}

template class pst_page_cache<uint32_t>;
template class pst_page_cache<uint64_t>;
template class pst_cache_block<uint32_t>;
template class pst_cache_block<uint64_t>;

}  // namespace vendrel
