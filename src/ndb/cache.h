// The node database's two caches. The page cache holds B-tree and map pages,
// most recently used first, and writes a dirty page back when it drops it.
// The block cache holds the reserved blocks from their creation until the
// node database goes away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>

#include "common/base_object.h"
#include "ndb/block.h"
#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

template <ndb_bidtype bidtype>
class pst_page_cache {
 public:
  using page_ptr = std::shared_ptr<pst_page<bidtype>>;
  static constexpr size_t capacity = 100;

  pst_page_cache() = default;
  pst_page_cache(const pst_page_cache&) = delete;
  pst_page_cache& operator=(const pst_page_cache&) = delete;

  // The cached page at `offset`, moved to the front; nullptr when absent.
  page_ptr find(bidtype offset);
  bool contains(bidtype offset) const { return index_.count(offset) != 0; }
  // Puts a page at the front, then drops pages from the back (writing the
  // dirty ones) while more than `capacity` are held. A page that someone is
  // still using is kept, and the next one is dropped instead.
  void add(page_ptr page);
  // Writes every dirty page, front to back.
  void write_dirty();
  // Drops every page without writing it.
  void clear();
  // Drops the page at `offset`, if cached, without writing it.
  void remove(bidtype offset);
  size_t size() const { return pages_.size(); }

 private:
  std::list<page_ptr> pages_;
  std::unordered_map<bidtype, typename std::list<page_ptr>::iterator> index_;
};

template <ndb_bidtype bidtype>
class pst_cache_block {
 public:
  using block_ref_t = ref<pst_low_layer_block<bidtype>>;

  pst_cache_block() = default;
  pst_cache_block(const pst_cache_block&) = delete;
  pst_cache_block& operator=(const pst_cache_block&) = delete;
  // Logs "[PST] ~pst_cache_block found lost block" for each block someone
  // else still holds, then releases them all.
  ~pst_cache_block();

  void add(const block_ref_t& block);
  block_ref_t find(block_id<bidtype> bid) const;
  size_t size() const { return blocks_.size(); }
  // Payload bytes of the blocks added.
  uint64_t total_size() const { return total_; }

 private:
  std::list<block_ref_t> blocks_;
  std::map<bidtype, typename std::list<block_ref_t>::iterator> index_;
  uint64_t total_ = 0;
};

extern template class pst_page_cache<uint32_t>;
extern template class pst_page_cache<uint64_t>;
extern template class pst_cache_block<uint32_t>;
extern template class pst_cache_block<uint64_t>;

}  // namespace vendrel
