#include "ndb/btree.h"

#include <array>
#include <cstring>
#include <string>

#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

namespace {

// cEntMax of the two entry sizes, from the BTPAGE entry area.
template <ndb_bidtype bidtype>
constexpr uint8_t max_entries_of(size_t entry_size) {
  return static_cast<uint8_t>(btpage_layout<bidtype>::rgentries::size / entry_size);
}

}  // namespace

// ------------------------------------------------------------------ pst_btree_page

template <ndb_bidtype bidtype>
pst_btree_page<bidtype>::pst_btree_page(pst_ndb<bidtype>* ndb, page_type type, uint8_t level,
                                        uint8_t max_entries, uint8_t entry_size, bidtype bid,
                                        bidtype offset)
    : pst_page<bidtype>(ndb, type, bid, offset) {
  uint8_t* p = this->data();
  layout::cEnt::put(p, 0);
  layout::cEntMax::put(p, max_entries);
  layout::cbEnt::put(p, entry_size);
  layout::cLevel::put(p, level);
}

template <ndb_bidtype bidtype>
pst_btree_page<bidtype>::pst_btree_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
    : pst_page<bidtype>(ndb, image, offset) {
  // A page from the file must be consistent before its entries are trusted.
  if (entry_size() == 0 || max_entries() == 0 ||
      static_cast<size_t>(max_entries()) * entry_size() > layout::rgentries::size || count() > max_entries())
    throw qm_invalid_call("bad B-tree page counts (page at " + std::to_string(offset) + ")");
  size_t expected = leaf() ? (this->type() == page_type::bbt ? bbtentry_layout<bidtype>::size
                                                             : nbtentry_layout<bidtype>::size)
                           : btentry_layout<bidtype>::size;
  if (entry_size() != expected)
    throw qm_invalid_call("bad B-tree entry size (page at " + std::to_string(offset) + ")");
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::check_index(size_t index, const char* operation) const {
  if (index >= count())
    throw qm_invalid_arg(std::string("pst_btree_page::") + operation + ": index " + std::to_string(index) +
                         " beyond cEnt " + std::to_string(count()));
}

template <ndb_bidtype bidtype>
uint8_t* pst_btree_page<bidtype>::open_slot(size_t index) {
  size_t n = count();
  if (n >= max_entries()) throw qm_invalid_call("pst_btree_page: page is full");
  if (index > n) throw qm_invalid_arg("pst_btree_page: insert position beyond cEnt");
  std::memmove(entry(index + 1), entry(index), (n - index) * entry_size());
  layout::cEnt::put(this->data(), static_cast<uint8_t>(n + 1));
  this->mark_dirty();
  return entry(index);
}

template <ndb_bidtype bidtype>
bt_entry<bidtype> pst_btree_page<bidtype>::internal_entry(size_t index) const {
  const uint8_t* e = entry(index);
  return {internal_layout::btkey::get(e), internal_layout::bref::get(e)};
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::set_internal_entry(size_t index, const bt_entry<bidtype>& value) {
  if (leaf()) throw qm_invalid_call("pst_btree_page: internal entry set on a leaf page");
  check_index(index, "set_internal_entry");
  uint8_t* e = entry(index);
  internal_layout::btkey::put(e, value.key);
  internal_layout::bref::put(e, value.bref);
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::insert_internal(size_t index, const bt_entry<bidtype>& value) {
  if (leaf()) throw qm_invalid_call("pst_btree_page: internal entry inserted into a leaf page");
  uint8_t* e = open_slot(index);
  internal_layout::btkey::put(e, value.key);
  internal_layout::bref::put(e, value.bref);
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::truncate(size_t new_count) {
  if (new_count > count()) throw qm_invalid_arg("pst_btree_page::truncate: beyond cEnt");
  std::memset(entry(new_count), 0, (count() - new_count) * entry_size());
  layout::cEnt::put(this->data(), static_cast<uint8_t>(new_count));
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::remove(size_t index) {
  check_index(index, "remove");
  size_t n = count();
  std::memmove(entry(index), entry(index + 1), (n - index - 1) * entry_size());
  std::memset(entry(n - 1), 0, entry_size());
  layout::cEnt::put(this->data(), static_cast<uint8_t>(n - 1));
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_btree_page<bidtype>::move_tail(size_t from, pst_btree_page& other) {
  if (from > count()) throw qm_invalid_arg("pst_btree_page::move_tail: beyond cEnt");
  if (other.entry_size() != entry_size() || other.level() != level())
    throw qm_invalid_call("pst_btree_page::move_tail: pages of different kinds");
  size_t moving = count() - from;
  if (other.count() + moving > other.max_entries()) throw qm_invalid_call("pst_btree_page::move_tail: page is full");
  std::memcpy(other.entry(other.count()), entry(from), moving * entry_size());
  layout::cEnt::put(other.data(), static_cast<uint8_t>(other.count() + moving));
  other.mark_dirty();
  truncate(from);
}

// ------------------------------------------------------------------ pst_bbt_page

template <ndb_bidtype bidtype>
pst_bbt_page<bidtype>::pst_bbt_page(pst_ndb<bidtype>* ndb, uint8_t level, bidtype bid, bidtype offset)
    : pst_btree_page<bidtype>(ndb, page_type::bbt, level,
                              max_entries_of<bidtype>(level == 0 ? leaf_layout::size
                                                                 : btentry_layout<bidtype>::size),
                              static_cast<uint8_t>(level == 0 ? leaf_layout::size : btentry_layout<bidtype>::size),
                              bid, offset) {}

template <ndb_bidtype bidtype>
bbt_entry<bidtype> pst_bbt_page<bidtype>::leaf_entry(size_t index) const {
  const uint8_t* e = this->entry(index);
  return {leaf_layout::bref::get(e), leaf_layout::cb::get(e), leaf_layout::cRef::get(e)};
}

template <ndb_bidtype bidtype>
void pst_bbt_page<bidtype>::set_leaf_entry(size_t index, const bbt_entry<bidtype>& value) {
  if (!this->leaf()) throw qm_invalid_call("pst_bbt_page: leaf entry set on an internal page");
  this->check_index(index, "set_leaf_entry");
  uint8_t* e = this->entry(index);
  leaf_layout::bref::put(e, value.bref);
  leaf_layout::cb::put(e, value.cb);
  leaf_layout::cRef::put(e, value.cref);
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_bbt_page<bidtype>::insert_leaf(size_t index, const bbt_entry<bidtype>& value) {
  if (!this->leaf()) throw qm_invalid_call("pst_bbt_page: leaf entry inserted into an internal page");
  uint8_t* e = this->open_slot(index);
  leaf_layout::bref::put(e, value.bref);
  leaf_layout::cb::put(e, value.cb);
  leaf_layout::cRef::put(e, value.cref);
}

template <ndb_bidtype bidtype>
bidtype pst_bbt_page<bidtype>::key(size_t index) const {
  return this->leaf() ? leaf_layout::bref::bid::get(this->entry(index))
                      : btentry_layout<bidtype>::btkey::get(this->entry(index));
}

template <ndb_bidtype bidtype>
uint8_t pst_bbt_page<bidtype>::limit() const {
  return this->leaf() ? ndb_format<bidtype>::bbt_leaf_limit : ndb_format<bidtype>::bbt_internal_limit;
}

// ------------------------------------------------------------------ pst_nbt_page

template <ndb_bidtype bidtype>
pst_nbt_page<bidtype>::pst_nbt_page(pst_ndb<bidtype>* ndb, uint8_t level, bidtype bid, bidtype offset)
    : pst_btree_page<bidtype>(ndb, page_type::nbt, level,
                              max_entries_of<bidtype>(level == 0 ? leaf_layout::size
                                                                 : btentry_layout<bidtype>::size),
                              static_cast<uint8_t>(level == 0 ? leaf_layout::size : btentry_layout<bidtype>::size),
                              bid, offset) {}

template <ndb_bidtype bidtype>
nbt_entry<bidtype> pst_nbt_page<bidtype>::leaf_entry(size_t index) const {
  const uint8_t* e = this->entry(index);
  return {node_id(leaf_layout::nid::get(e)), block_id<bidtype>(leaf_layout::bidData::get(e)),
          block_id<bidtype>(leaf_layout::bidSub::get(e)), node_id(leaf_layout::nidParent::get(e))};
}

template <ndb_bidtype bidtype>
void pst_nbt_page<bidtype>::set_leaf_entry(size_t index, const nbt_entry<bidtype>& value) {
  if (!this->leaf()) throw qm_invalid_call("pst_nbt_page: leaf entry set on an internal page");
  this->check_index(index, "set_leaf_entry");
  uint8_t* e = this->entry(index);
  std::memset(e, 0, leaf_layout::size);
  leaf_layout::nid::put(e, value.nid.value());
  leaf_layout::bidData::put(e, value.bid_data.value());
  leaf_layout::bidSub::put(e, value.bid_sub.value());
  leaf_layout::nidParent::put(e, value.nid_parent.value());
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_nbt_page<bidtype>::insert_leaf(size_t index, const nbt_entry<bidtype>& value) {
  if (!this->leaf()) throw qm_invalid_call("pst_nbt_page: leaf entry inserted into an internal page");
  uint8_t* e = this->open_slot(index);
  std::memset(e, 0, leaf_layout::size);
  leaf_layout::nid::put(e, value.nid.value());
  leaf_layout::bidData::put(e, value.bid_data.value());
  leaf_layout::bidSub::put(e, value.bid_sub.value());
  leaf_layout::nidParent::put(e, value.nid_parent.value());
}

template <ndb_bidtype bidtype>
uint32_t pst_nbt_page<bidtype>::key(size_t index) const {
  return this->leaf() ? leaf_layout::nid::get(this->entry(index))
                      : static_cast<uint32_t>(btentry_layout<bidtype>::btkey::get(this->entry(index)));
}

template <ndb_bidtype bidtype>
uint8_t pst_nbt_page<bidtype>::limit() const {
  return this->leaf() ? ndb_format<bidtype>::nbt_leaf_limit : ndb_format<bidtype>::nbt_internal_limit;
}

// ------------------------------------------------------------------ shared descent

namespace {

// The child for key k in an internal page: the last entry whose key is <= k;
// npos when k lies below the first key.
template <typename Page, typename Key>
size_t child_index(const Page& page, Key key) {
  size_t found = static_cast<size_t>(-1);
  for (size_t i = 0; i < page.count(); ++i) {
    if (page.key(i) <= key)
      found = i;
    else
      break;
  }
  return found;
}

// The first leaf position whose key is not below k.
template <typename Page, typename Key>
size_t lower_bound(const Page& page, Key key) {
  size_t i = 0;
  while (i < page.count() && page.key(i) < key) ++i;
  return i;
}

template <typename Page>
std::shared_ptr<Page> typed_page(pst_ndb<typename Page::bid_type>* ndb,
                                 const block_ref<typename Page::bid_type>& bref) {
  auto page = std::dynamic_pointer_cast<Page>(ndb->get_page(bref.ib, Page::kind));
  if (!page) throw qm_invalid_call("page at " + std::to_string(bref.ib) + " is not of the requested tree");
  if (page->bid() != bref.bid.value())
    throw qm_invalid_call("page at " + std::to_string(bref.ib) + " carries BID " + std::to_string(page->bid()) +
                          ", expected " + std::to_string(bref.bid.value()));
  return page;
}

template <typename Page>
std::shared_ptr<Page> new_tree_page(pst_ndb<typename Page::bid_type>* ndb, uint8_t level) {
  using bidtype = typename Page::bid_type;
  bidtype bid = ndb->allocate_page_bid();
  bidtype offset = ndb->space().allocate_page();
  if (static_cast<uint64_t>(offset) + page_size > static_cast<uint64_t>(ndb->header().file_eof()))
    throw qm_invalid_call("new B-tree page lies past the end of the file");
  auto page = std::make_shared<Page>(ndb, level, bid, offset);
  ndb->track_new_page(offset);
  ndb->add_page(page);
  return page;
}

// The page itself when it was placed since the last commit; otherwise a copy
// at a new place, with a new page BID, that takes its role (the caller
// points the parent at it). The committed page stays as it is on disk.
template <typename Page>
std::shared_ptr<Page> writable_page(pst_ndb<typename Page::bid_type>* ndb, const std::shared_ptr<Page>& page) {
  using bidtype = typename Page::bid_type;
  if (!ndb->page_committed(page->offset())) return page;
  bidtype bid = ndb->allocate_page_bid();
  bidtype offset = ndb->space().allocate_page();
  if (static_cast<uint64_t>(offset) + page_size > static_cast<uint64_t>(ndb->header().file_eof()))
    throw qm_invalid_call("new B-tree page lies past the end of the file");
  std::array<uint8_t, page_size> image;
  std::memcpy(image.data(), page->data(), page_size);
  page_trailer_layout<bidtype>::bid::put(image.data(), bid);
  auto copy = std::make_shared<Page>(ndb, image.data(), offset);
  copy->mark_dirty();
  ndb->track_new_page(offset);
  ndb->retire_page(page->offset());
  ndb->add_page(copy);
  return copy;
}

template <typename PagePtr>
PagePtr checked_child(PagePtr child, const PagePtr& parent) {
  if (child->level() + 1 != parent->level())
    throw qm_invalid_call("B-tree page at " + std::to_string(child->offset()) + " has level " +
                          std::to_string(child->level()) + " below a page of level " +
                          std::to_string(parent->level()));
  return child;
}

}  // namespace

// ------------------------------------------------------------------ pst_bbt

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::page(const block_ref<bidtype>& bref) {
  return typed_page<pst_bbt_page<bidtype>>(ndb_, bref);
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::child(const page_ptr& parent, size_t index) {
  return checked_child(page(parent->internal_entry(index).bref), parent);
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::create_page(uint8_t level) {
  return new_tree_page<pst_bbt_page<bidtype>>(ndb_, level);
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::writable_root() {
  page_ptr root = writable_page(ndb_, page(root_));
  root_ = root->bref();
  return root;
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::writable_child(const page_ptr& parent, size_t index) {
  page_ptr below = child(parent, index);
  page_ptr copy = writable_page(ndb_, below);
  if (copy != below) parent->set_internal_entry(index, {parent->key(index), copy->bref()});
  return copy;
}

template <ndb_bidtype bidtype>
void pst_bbt<bidtype>::add(block_id<bidtype> bid, bidtype ib, uint16_t cb, uint16_t cref) {
  bbt_entry<bidtype> entry{{bid, ib}, cb, cref};
  if (empty()) root_ = create_page(0)->bref();
  page_ptr root = writable_root();
  page_ptr handed = insert(root, entry);
  if (handed) {
    page_ptr grown = create_page(static_cast<uint8_t>(root->level() + 1));
    grown->insert_internal(0, {root->key(0), root->bref()});
    grown->insert_internal(1, {handed->key(0), handed->bref()});
    root_ = grown->bref();
  }
}

// Inserts below `page`; returns a new sibling page when `page` had no room.
template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::insert(const page_ptr& page,
                                                             const bbt_entry<bidtype>& entry) {
  bidtype key = entry.bref.bid.value();
  if (page->leaf()) {
    size_t pos = lower_bound(*page, key);
    if (pos < page->count() && page->key(pos) == key)
      throw qm_invalid_arg("pst_bbt::add: BID " + std::to_string(key) + " is already in the block B-tree");
    if (page->count() < page->limit()) {
      page->insert_leaf(pos, entry);
      return nullptr;
    }
    page_ptr sibling = create_page(0);
    if (pos == page->count()) {
      // The usual case: keys arrive in ascending order, the tree grows at its right edge.
      sibling->insert_leaf(0, entry);
    } else {
      // A key that belongs inside a full page: split it in halves.
      size_t half = page->count() / 2;
      page->move_tail(half, *sibling);
      if (pos <= half)
        page->insert_leaf(pos, entry);
      else
        sibling->insert_leaf(pos - half, entry);
    }
    return sibling;
  }

  size_t index = child_index(*page, key);
  if (index == static_cast<size_t>(-1)) index = 0;  // below every key: the first child takes it
  page_ptr below = writable_child(page, index);
  page_ptr handed = insert(below, entry);
  if (page->key(index) != below->key(0)) page->set_internal_entry(index, {below->key(0), below->bref()});
  if (!handed) return nullptr;

  bt_entry<bidtype> link{handed->key(0), handed->bref()};
  size_t pos = index + 1;
  if (page->count() < page->limit()) {
    page->insert_internal(pos, link);
    return nullptr;
  }
  page_ptr sibling = create_page(page->level());
  if (pos == page->count()) {
    sibling->insert_internal(0, link);
  } else {
    size_t half = page->count() / 2;
    page->move_tail(half, *sibling);
    if (pos <= half)
      page->insert_internal(pos, link);
    else
      sibling->insert_internal(pos - half, link);
  }
  return sibling;
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::find_leaf(block_id<bidtype> bid, size_t* index) {
  return find_leaf(bid, index, false);
}

template <ndb_bidtype bidtype>
typename pst_bbt<bidtype>::page_ptr pst_bbt<bidtype>::find_leaf(block_id<bidtype> bid, size_t* index,
                                                                bool for_update) {
  if (empty()) return nullptr;
  // A change copies the pages of the last commit on the way down; look
  // first, so that a BID that is not there copies nothing.
  if (for_update && !find_leaf(bid, index, false)) return nullptr;
  bidtype key = bid.value();
  page_ptr current = for_update ? writable_root() : page(root_);
  while (!current->leaf()) {
    size_t i = child_index(*current, key);
    if (i == static_cast<size_t>(-1))
      throw qm_invalid_arg("pst_bbt: BID " + std::to_string(key) + " lies below the first key of page at " +
                           std::to_string(current->offset()));
    current = for_update ? writable_child(current, i) : child(current, i);
  }
  size_t pos = lower_bound(*current, key);
  if (pos >= current->count() || current->key(pos) != key) return nullptr;
  *index = pos;
  return current;
}

template <ndb_bidtype bidtype>
std::optional<bbt_entry<bidtype>> pst_bbt<bidtype>::lookup(block_id<bidtype> bid) {
  size_t index = 0;
  page_ptr leaf = find_leaf(bid, &index);
  if (!leaf) return std::nullopt;
  return leaf->leaf_entry(index);
}

template <ndb_bidtype bidtype>
uint16_t pst_bbt<bidtype>::decrement(block_id<bidtype> bid) {
  size_t index = 0;
  page_ptr leaf = find_leaf(bid, &index, true);
  if (!leaf) return 0;
  bbt_entry<bidtype> entry = leaf->leaf_entry(index);
  uint16_t old = entry.cref;
  if (entry.cref > 0) {
    --entry.cref;
    leaf->set_leaf_entry(index, entry);
  }
  return old;
}

template <ndb_bidtype bidtype>
uint16_t pst_bbt<bidtype>::increment(block_id<bidtype> bid) {
  size_t index = 0;
  page_ptr leaf = find_leaf(bid, &index, true);
  if (!leaf) return 0;
  bbt_entry<bidtype> entry = leaf->leaf_entry(index);
  if (entry.cref == 0xFFFF) throw qm_invalid_call("pst_bbt::increment: reference count overflow");
  ++entry.cref;
  leaf->set_leaf_entry(index, entry);
  return entry.cref;
}

template <ndb_bidtype bidtype>
bool pst_bbt<bidtype>::remove(block_id<bidtype> bid) {
  size_t index = 0;
  try {
    if (!find_leaf(bid, &index, false)) return false;
  } catch (const qm_invalid_arg&) {
    return false;  // below the tree's first key: not there
  }
  page_ptr root = writable_root();
  bool removed = remove(root, bid.value());
  if (removed && root->count() == 0) {
    ndb_->retire_page(root->offset());
    root_ = {};
  }
  return removed;
}

template <ndb_bidtype bidtype>
bool pst_bbt<bidtype>::remove(const page_ptr& page, bidtype key) {
  if (page->leaf()) {
    size_t pos = lower_bound(*page, key);
    if (pos >= page->count() || page->key(pos) != key) return false;
    page->remove(pos);
    return true;
  }
  size_t index = child_index(*page, key);
  if (index == static_cast<size_t>(-1)) return false;
  page_ptr below = writable_child(page, index);
  if (!remove(below, key)) return false;
  if (below->count() == 0) {
    page->remove(index);
    ndb_->retire_page(below->offset());
  } else if (page->key(index) != below->key(0))
    page->set_internal_entry(index, {below->key(0), below->bref()});
  return true;
}

template <ndb_bidtype bidtype>
void pst_bbt<bidtype>::for_each(const std::function<void(const bbt_entry<bidtype>&)>& visit) {
  if (empty()) return;
  std::function<void(const page_ptr&)> walk = [&](const page_ptr& current) {
    for (size_t i = 0; i < current->count(); ++i) {
      if (current->leaf())
        visit(current->leaf_entry(i));
      else
        walk(child(current, i));
    }
  };
  walk(page(root_));
}

template <ndb_bidtype bidtype>
size_t pst_bbt<bidtype>::check() {
  if (empty()) return 0;
  return check(page(root_), nullptr, nullptr);
}

template <ndb_bidtype bidtype>
size_t pst_bbt<bidtype>::check(const page_ptr& current, const bidtype* low, const bidtype* high) {
  std::string where = " in BBT page at " + std::to_string(current->offset());
  if (current->count() == 0) throw qm_invalid_call("empty page" + where);
  size_t total = 0;
  for (size_t i = 0; i < current->count(); ++i) {
    bidtype key = current->key(i);
    if (i > 0 && current->key(i - 1) >= key) throw qm_invalid_call("keys out of order" + where);
    if ((low && key < *low) || (high && key >= *high)) throw qm_invalid_call("key outside its range" + where);
    if (current->leaf()) {
      ++total;
      continue;
    }
    page_ptr below = child(current, i);
    if (below->count() == 0 || below->key(0) != key)
      throw qm_invalid_call("internal key differs from the child's first key" + where);
    bidtype next = i + 1 < current->count() ? current->key(i + 1) : 0;
    total += check(below, &key, i + 1 < current->count() ? &next : high);
  }
  return total;
}

template <ndb_bidtype bidtype>
unsigned pst_bbt<bidtype>::depth() {
  return empty() ? 0 : page(root_)->level() + 1u;
}

// ------------------------------------------------------------------ pst_nbt

template <ndb_bidtype bidtype>
typename pst_nbt<bidtype>::page_ptr pst_nbt<bidtype>::page(const block_ref<bidtype>& bref) {
  return typed_page<pst_nbt_page<bidtype>>(ndb_, bref);
}

template <ndb_bidtype bidtype>
typename pst_nbt<bidtype>::page_ptr pst_nbt<bidtype>::child(const page_ptr& parent, size_t index) {
  return checked_child(page(parent->internal_entry(index).bref), parent);
}

template <ndb_bidtype bidtype>
typename pst_nbt<bidtype>::page_ptr pst_nbt<bidtype>::create_page(uint8_t level) {
  return new_tree_page<pst_nbt_page<bidtype>>(ndb_, level);
}

template <ndb_bidtype bidtype>
typename pst_nbt<bidtype>::page_ptr pst_nbt<bidtype>::writable_root() {
  page_ptr root = writable_page(ndb_, page(root_));
  root_ = root->bref();
  return root;
}

template <ndb_bidtype bidtype>
typename pst_nbt<bidtype>::page_ptr pst_nbt<bidtype>::writable_child(const page_ptr& parent, size_t index) {
  page_ptr below = child(parent, index);
  page_ptr copy = writable_page(ndb_, below);
  if (copy != below) parent->set_internal_entry(index, {parent->key(index), copy->bref()});
  return copy;
}

template <ndb_bidtype bidtype>
void pst_nbt<bidtype>::add_or_replace(const nbt_entry<bidtype>& entry) {
  if (empty()) root_ = create_page(0)->bref();
  page_ptr root = writable_root();
  if (root->count() >= root->limit()) {
    if (root->leaf()) {
      size_t pos = lower_bound(*root, entry.nid.value());
      if (pos < root->count() && root->key(pos) == entry.nid.value()) {
        root->set_leaf_entry(pos, entry);
        return;
      }
    }
    page_ptr grown = create_page(static_cast<uint8_t>(root->level() + 1));
    grown->insert_internal(0, {root->key(0), root->bref()});
    split_child(grown, 0, root);
    root_ = grown->bref();
    root = grown;
  }
  insert(root, entry);
}

template <ndb_bidtype bidtype>
void pst_nbt<bidtype>::split_child(const page_ptr& parent, size_t index, const page_ptr& full) {
  page_ptr sibling = create_page(full->level());
  full->move_tail(full->count() / 2, *sibling);
  parent->insert_internal(index + 1, {sibling->key(0), sibling->bref()});
}

template <ndb_bidtype bidtype>
void pst_nbt<bidtype>::insert(const page_ptr& current, const nbt_entry<bidtype>& entry) {
  uint32_t key = entry.nid.value();
  if (current->leaf()) {
    size_t pos = lower_bound(*current, key);
    if (pos < current->count() && current->key(pos) == key)
      current->set_leaf_entry(pos, entry);
    else
      current->insert_leaf(pos, entry);
    return;
  }
  auto descend_index = [&] {
    size_t i = child_index(*current, key);
    return i == static_cast<size_t>(-1) ? 0 : i;
  };
  size_t index = descend_index();
  page_ptr below = writable_child(current, index);
  if (below->count() >= below->limit()) {
    if (below->leaf()) {
      size_t pos = lower_bound(*below, key);
      if (pos < below->count() && below->key(pos) == key) {
        below->set_leaf_entry(pos, entry);
        return;
      }
    }
    split_child(current, index, below);
    index = descend_index();
    below = writable_child(current, index);
  }
  insert(below, entry);
  if (current->key(index) != below->key(0)) current->set_internal_entry(index, {below->key(0), below->bref()});
  if (below->count() >= below->limit()) split_child(current, index, below);
}

template <ndb_bidtype bidtype>
std::optional<nbt_entry<bidtype>> pst_nbt<bidtype>::lookup(node_id nid) {
  if (empty()) return std::nullopt;
  uint32_t key = nid.value();
  page_ptr current = page(root_);
  while (!current->leaf()) {
    size_t i = child_index(*current, key);
    current = child(current, i == static_cast<size_t>(-1) ? 0 : i);
  }
  size_t pos = lower_bound(*current, key);
  if (pos >= current->count() || current->key(pos) != key) return std::nullopt;
  return current->leaf_entry(pos);
}

template <ndb_bidtype bidtype>
void pst_nbt<bidtype>::for_each(const std::function<void(const nbt_entry<bidtype>&)>& visit) {
  if (empty()) return;
  std::function<void(const page_ptr&)> walk = [&](const page_ptr& current) {
    for (size_t i = 0; i < current->count(); ++i) {
      if (current->leaf())
        visit(current->leaf_entry(i));
      else
        walk(child(current, i));
    }
  };
  walk(page(root_));
}

template <ndb_bidtype bidtype>
size_t pst_nbt<bidtype>::check() {
  if (empty()) return 0;
  return check(page(root_), nullptr, nullptr);
}

template <ndb_bidtype bidtype>
size_t pst_nbt<bidtype>::check(const page_ptr& current, const uint32_t* low, const uint32_t* high) {
  std::string where = " in NBT page at " + std::to_string(current->offset());
  if (current->count() == 0) throw qm_invalid_call("empty page" + where);
  size_t total = 0;
  for (size_t i = 0; i < current->count(); ++i) {
    uint32_t key = current->key(i);
    if (i > 0 && current->key(i - 1) >= key) throw qm_invalid_call("keys out of order" + where);
    if ((low && key < *low) || (high && key >= *high)) throw qm_invalid_call("key outside its range" + where);
    if (current->leaf()) {
      ++total;
      continue;
    }
    page_ptr below = child(current, i);
    if (below->count() == 0 || below->key(0) != key)
      throw qm_invalid_call("internal key differs from the child's first key" + where);
    uint32_t next = i + 1 < current->count() ? current->key(i + 1) : 0;
    total += check(below, &key, i + 1 < current->count() ? &next : high);
  }
  return total;
}

template <ndb_bidtype bidtype>
unsigned pst_nbt<bidtype>::depth() {
  return empty() ? 0 : page(root_)->level() + 1u;
}

template class pst_btree_page<uint32_t>;
template class pst_btree_page<uint64_t>;
template class pst_bbt_page<uint32_t>;
template class pst_bbt_page<uint64_t>;
template class pst_nbt_page<uint32_t>;
template class pst_nbt_page<uint64_t>;
template class pst_bbt<uint32_t>;
template class pst_bbt<uint64_t>;
template class pst_nbt<uint32_t>;
template class pst_nbt<uint64_t>;

}  // namespace vendrel
