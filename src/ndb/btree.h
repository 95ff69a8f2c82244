// The block B-tree (BBT: BID -> file offset, size, reference count) and the
// node B-tree (NBT: NID -> data BID, subnode BID, parent NID) of [MS-PST]
// 2.2.2.7.7, as pages of the page cache and one handle per tree.
//
// The BBT receives its keys in ascending order (BIDs are taken when a block
// is written), so it grows at its right edge: a full rightmost page is not
// split, a new sibling takes the new entry. The NBT takes NIDs in any order
// and splits full pages in halves.
//
// A page of the last commit is not changed in place: the first change after
// a commit copies it (and the path above it) to new pages, and the commit
// frees the old ones; pages placed since the last commit change in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "ndb/disk.h"
#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

template <ndb_bidtype bidtype>
struct bbt_entry {
  block_ref<bidtype> bref;
  uint16_t cb = 0;
  uint16_t cref = 0;
};

template <ndb_bidtype bidtype>
struct nbt_entry {
  node_id nid;
  block_id<bidtype> bid_data;
  block_id<bidtype> bid_sub;
  node_id nid_parent;
};

// An internal entry: the lowest key below the child, and the child's BREF.
template <ndb_bidtype bidtype>
struct bt_entry {
  bidtype key = 0;
  block_ref<bidtype> bref;
};

// What both trees' pages share: the BTPAGE counts and the internal entries.
template <ndb_bidtype bidtype>
class pst_btree_page : public pst_page<bidtype> {
 public:
  using layout = btpage_layout<bidtype>;
  using internal_layout = btentry_layout<bidtype>;

  uint8_t count() const { return layout::cEnt::get(this->data()); }
  uint8_t max_entries() const { return layout::cEntMax::get(this->data()); }
  uint8_t entry_size() const { return layout::cbEnt::get(this->data()); }
  uint8_t level() const { return layout::cLevel::get(this->data()); }
  bool leaf() const { return level() == 0; }

  bt_entry<bidtype> internal_entry(size_t index) const;
  void set_internal_entry(size_t index, const bt_entry<bidtype>& entry);
  void insert_internal(size_t index, const bt_entry<bidtype>& entry);

  // Drops the entries from `count` on (zeroing their bytes).
  void truncate(size_t count);
  void remove(size_t index);
  // Appends this page's entries [from, count()) to `other` and truncates here.
  void move_tail(size_t from, pst_btree_page& other);

 protected:
  pst_btree_page(pst_ndb<bidtype>* ndb, page_type type, uint8_t level, uint8_t max_entries,
                 uint8_t entry_size, bidtype bid, bidtype offset);
  pst_btree_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset);

  uint8_t* entry(size_t index) { return this->data() + index * entry_size(); }
  const uint8_t* entry(size_t index) const { return this->data() + index * entry_size(); }
  void check_index(size_t index, const char* operation) const;
  // Makes room at `index` (entries index.. move up by one) and counts it.
  uint8_t* open_slot(size_t index);
};

template <ndb_bidtype bidtype>
class pst_bbt_page final : public pst_btree_page<bidtype> {
 public:
  using leaf_layout = bbtentry_layout<bidtype>;
  static constexpr page_type kind = page_type::bbt;

  pst_bbt_page(pst_ndb<bidtype>* ndb, uint8_t level, bidtype bid, bidtype offset);
  pst_bbt_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
      : pst_btree_page<bidtype>(ndb, image, offset) {}
  ~pst_bbt_page() override = default;

  bbt_entry<bidtype> leaf_entry(size_t index) const;
  void set_leaf_entry(size_t index, const bbt_entry<bidtype>& entry);
  void insert_leaf(size_t index, const bbt_entry<bidtype>& entry);
  // The key of entry i at any level.
  bidtype key(size_t index) const;
  uint8_t limit() const;
};

template <ndb_bidtype bidtype>
class pst_nbt_page final : public pst_btree_page<bidtype> {
 public:
  using leaf_layout = nbtentry_layout<bidtype>;
  static constexpr page_type kind = page_type::nbt;

  pst_nbt_page(pst_ndb<bidtype>* ndb, uint8_t level, bidtype bid, bidtype offset);
  pst_nbt_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
      : pst_btree_page<bidtype>(ndb, image, offset) {}
  ~pst_nbt_page() override = default;

  nbt_entry<bidtype> leaf_entry(size_t index) const;
  void set_leaf_entry(size_t index, const nbt_entry<bidtype>& entry);
  void insert_leaf(size_t index, const nbt_entry<bidtype>& entry);
  // NBT keys compare as 32-bit NIDs.
  uint32_t key(size_t index) const;
  uint8_t limit() const;
};

// Handle of the block B-tree.
template <ndb_bidtype bidtype>
class pst_bbt {
 public:
  using page_ptr = std::shared_ptr<pst_bbt_page<bidtype>>;

  explicit pst_bbt(pst_ndb<bidtype>* ndb, block_ref<bidtype> root = {}) : ndb_(ndb), root_(root) {}

  block_ref<bidtype> root() const { return root_; }
  bool empty() const { return root_.ib == 0; }

  // Adds the entry of a newly written block. A BID already present is
  // qm_invalid_arg.
  void add(block_id<bidtype> bid, bidtype ib, uint16_t cb, uint16_t cref);
  std::optional<bbt_entry<bidtype>> lookup(block_id<bidtype> bid);
  // cRef -= 1 (never below 0); returns the old value, 0 for an unknown BID.
  uint16_t decrement(block_id<bidtype> bid);
  // cRef += 1 for a block that gains a reference; returns the new value, 0
  // for an unknown BID.
  uint16_t increment(block_id<bidtype> bid);
  // Takes the entry out of its leaf; false when absent.
  bool remove(block_id<bidtype> bid);

  void for_each(const std::function<void(const bbt_entry<bidtype>&)>& visit);
  // Walks the whole tree checking levels, key order, internal keys and page
  // BIDs; qm_invalid_call on the first fault. Returns the number of entries.
  size_t check();
  // Levels of the tree (0 when empty).
  unsigned depth();

 private:
  page_ptr page(const block_ref<bidtype>& bref);
  page_ptr child(const page_ptr& parent, size_t index);
  page_ptr create_page(uint8_t level);
  // The root and a child, each copied first when it belongs to the last
  // commit (pst_ndb::page_committed); the parent is pointed at the copy.
  page_ptr writable_root();
  page_ptr writable_child(const page_ptr& parent, size_t index);
  // Finds the leaf entry for bid; nullptr when absent. For an update, the
  // path down to it is made writable.
  page_ptr find_leaf(block_id<bidtype> bid, size_t* index);
  page_ptr find_leaf(block_id<bidtype> bid, size_t* index, bool for_update);
  page_ptr insert(const page_ptr& page, const bbt_entry<bidtype>& entry);
  bool remove(const page_ptr& page, bidtype key);
  size_t check(const page_ptr& page, const bidtype* low, const bidtype* high);

  pst_ndb<bidtype>* ndb_;
  block_ref<bidtype> root_;
};

// Handle of the node B-tree.
template <ndb_bidtype bidtype>
class pst_nbt {
 public:
  using page_ptr = std::shared_ptr<pst_nbt_page<bidtype>>;

  explicit pst_nbt(pst_ndb<bidtype>* ndb, block_ref<bidtype> root = {}) : ndb_(ndb), root_(root) {}

  block_ref<bidtype> root() const { return root_; }
  bool empty() const { return root_.ib == 0; }

  // Inserts the node, or replaces the three fields of an existing one.
  void add_or_replace(const nbt_entry<bidtype>& entry);
  std::optional<nbt_entry<bidtype>> lookup(node_id nid);

  void for_each(const std::function<void(const nbt_entry<bidtype>&)>& visit);
  size_t check();
  unsigned depth();

 private:
  page_ptr page(const block_ref<bidtype>& bref);
  page_ptr child(const page_ptr& parent, size_t index);
  page_ptr create_page(uint8_t level);
  page_ptr writable_root();
  page_ptr writable_child(const page_ptr& parent, size_t index);
  void insert(const page_ptr& page, const nbt_entry<bidtype>& entry);
  void split_child(const page_ptr& parent, size_t index, const page_ptr& child);
  size_t check(const page_ptr& page, const uint32_t* low, const uint32_t* high);

  pst_ndb<bidtype>* ndb_;
  block_ref<bidtype> root_;
};

extern template class pst_btree_page<uint32_t>;
extern template class pst_btree_page<uint64_t>;
extern template class pst_bbt_page<uint32_t>;
extern template class pst_bbt_page<uint64_t>;
extern template class pst_nbt_page<uint32_t>;
extern template class pst_nbt_page<uint64_t>;
extern template class pst_bbt<uint32_t>;
extern template class pst_bbt<uint64_t>;
extern template class pst_nbt<uint32_t>;
extern template class pst_nbt<uint64_t>;

}  // namespace vendrel
