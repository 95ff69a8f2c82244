#include "ndb/ndb.h"

#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "common/crc32.h"
#include "common/errors.h"
#include "common/logger.h"
#include "ndb/encoding.h"
#include "platform/platform.h"

namespace vendrel {

namespace {

constexpr size_t max_path_characters = 0x100000;

}  // namespace

template <ndb_bidtype bidtype>
pst_ndb<bidtype>::pst_ndb(std::u16string_view path, int mode, const external_file_callbacks* external) {
  if (path.size() >= max_path_characters) throw qm_invalid_arg("pst_ndb: path not readable");
  path_ = path;
  open(mode, external);
}

template <ndb_bidtype bidtype>
pst_ndb<bidtype>::pst_ndb(std::string_view path, int mode, const external_file_callbacks* external) {
  if (path.size() >= max_path_characters) throw qm_invalid_arg("pst_ndb: path not readable");
  narrow_path_ = path;
  path_ = platform::multibyte_to_wide(0, path);
  // The conversion replaces what it cannot read; a path that does not come
  // back unchanged held invalid characters.
  if (platform::wide_to_multibyte(0, path_) != narrow_path_)
    throw qm_invalid_arg("pst_ndb: the path holds characters invalid in the ANSI code page");
  open(mode, external);
}

template <ndb_bidtype bidtype>
std::u16string pst_ndb<bidtype>::derive_name(std::u16string_view path) {
  size_t n = path.size();
  if (n < 5 || path[n - 5] != u'}') return {};
  size_t brace = path.find(u'{');
  if (brace == std::u16string_view::npos || n - 4 - brace != 38) return std::u16string(path);
  return std::u16string(path.substr(0, brace));
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::open(int mode, const external_file_callbacks* external) {
  if (mode != ndb_mode::open_read && mode != ndb_mode::open_existing && mode != ndb_mode::create)
    throw qm_invalid_arg("invalid file mode");
  mode_ = mode;
  derived_name_ = derive_name(path_);
  pages_ = std::make_unique<pst_page_cache<bidtype>>();
  blocks_ = std::make_unique<pst_cache_block<bidtype>>();
  space_ = std::make_unique<pst_space_allocator<bidtype>>(this);

  if (mode == ndb_mode::create) {
    file_ = CMyFile::create_for_writing(path_, platform::access::read | platform::access::write, external);
    header_ = std::make_unique<pst_ndb_header<bidtype>>(1);
    bbt_ = std::make_unique<pst_bbt<bidtype>>(this);
    nbt_ = std::make_unique<pst_nbt<bidtype>>(this);
    space_->add_region(region_kind::page);
    space_->add_region(region_kind::block);
    space_->add_region(region_kind::block);
    return;
  }

  file_ = CMyFile::open_for_reading(path_, external);
  std::vector<uint8_t> area(header_area_size);
  file_->read_at(0, area.data(), static_cast<uint32_t>(area.size()));
  header_ = std::make_unique<pst_ndb_header<bidtype>>(area.data(), area.size());
  bbt_ = std::make_unique<pst_bbt<bidtype>>(this, header_->bref_bbt());
  nbt_ = std::make_unique<pst_nbt<bidtype>>(this, header_->bref_nbt());
  // Load (and so validate) the two root pages.
  bbt_->depth();
  nbt_->depth();
}

template <ndb_bidtype bidtype>
pst_ndb<bidtype>::~pst_ndb() {
  bbt_.reset();
  nbt_.reset();
  header_.reset();
  file_.reset();
  blocks_.reset();
  if (pages_) pages_->clear();
  pages_.reset();
  space_.reset();
}

// ------------------------------------------------------------------ identifiers

template <ndb_bidtype bidtype>
node_id pst_ndb<bidtype>::allocate_nid(uint32_t type) {
  if (type >= 32) throw qm_invalid_arg("allocate_nid: NID type " + std::to_string(type));
  uint32_t index = header_->rgnid(type) + 1;
  if (index >= (1u << 27)) throw qm_invalid_call("allocate_nid: NID indexes of type " + std::to_string(type) + " exhausted");
  header_->set_rgnid(type, index);
  return node_id::make(type, index);
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_ndb<bidtype>::allocate_bid(block_kind kind) {
  bidtype next = header_->bid_next_b();
  bidtype wanted = is_internal_kind(kind) ? 2 : 0;
  while (next % 4 != wanted) ++next;
  bidtype step = is_internal_kind(kind) ? 2 : 4;
  if (next > std::numeric_limits<bidtype>::max() - step) throw qm_invalid_call("block IDs exhausted");
  header_->set_bid_next_b(next + step);
  return block_id<bidtype>(next);
}

template <ndb_bidtype bidtype>
bidtype pst_ndb<bidtype>::allocate_page_bid() {
  bidtype bid = header_->bid_next_p();
  header_->set_bid_next_p(bid + 1);
  return bid;
}

// ------------------------------------------------------------------ blocks

template <ndb_bidtype bidtype>
typename pst_ndb<bidtype>::block_ptr pst_ndb<bidtype>::new_block(block_kind kind) {
  return make_ref<pst_low_layer_block<bidtype>>(this, kind, false);
}

template <ndb_bidtype bidtype>
typename pst_ndb<bidtype>::block_ptr pst_ndb<bidtype>::new_reserved_block(block_kind kind) {
  auto block = make_ref<pst_low_layer_block<bidtype>>(this, kind, true);
  blocks_->add(block);
  return block;
}

template <ndb_bidtype bidtype>
typename pst_ndb<bidtype>::block_ptr pst_ndb<bidtype>::load_block(block_id<bidtype> bid, block_kind kind) {
  std::optional<bbt_entry<bidtype>> entry = bbt_->lookup(bid);
  if (!entry) return nullptr;
  std::vector<uint8_t> image(block_disk_size<bidtype>(entry->cb));
  read_file(entry->bref.ib, image.data(), image.size());
  auto block = make_ref<pst_low_layer_block<bidtype>>(this, *entry, std::move(image));
  if (kind != block_kind::none) block->set_kind(kind);
  return block;
}

template <ndb_bidtype bidtype>
typename pst_ndb<bidtype>::block_ptr pst_ndb<bidtype>::reopen_block(block_id<bidtype> bid, block_kind kind) {
  if (block_ptr cached = blocks_->find(bid)) return cached;
  block_ptr stored = load_block(bid, kind);
  if (!stored) return nullptr;
  block_ptr block = new_reserved_block(kind);
  std::memcpy(block->mutable_data(), stored->data(), stored->size());
  return block;
}

template <ndb_bidtype bidtype>
block_id<bidtype> pst_ndb<bidtype>::write_block(block_kind kind, const void* data, size_t size) {
  // What a new block's set_data and write do, without a block object and
  // its buffers.
  using block_type = pst_low_layer_block<bidtype>;
  using trailer = typename block_type::trailer;
  if (size > block_type::max_payload)
    throw qm_invalid_arg("block payload of " + std::to_string(size) + " bytes exceeds " +
                         std::to_string(block_type::max_payload));
  if (data == nullptr && size != 0) throw qm_invalid_arg("block data pointer not readable");
  if (kind == block_kind::none) throw qm_invalid_call("block of kind 0 cannot be written");
  if (size == 0) throw qm_invalid_call("block without data cannot be written");
  const size_t disk = block_disk_size<bidtype>(size);
  const bidtype offset = space().allocate_block_space(disk);
  if (offset == 0) throw qm_invalid_call("no file space for a block");
  const block_id<bidtype> bid = allocate_bid(kind);
  // The image is built where it goes: in the append buffer's run, or, for a
  // block the buffer does not take, on the stack (a thread_local buffer
  // would keep a Windows DLL from unloading and so hold the log open).
  std::array<uint8_t, block_type::max_payload + 64 + trailer::size> unbuffered;
  try {
    uint8_t* image = appended_.place(*file_, offset, disk);
    const bool buffered = image != nullptr;
    if (!buffered) image = unbuffered.data();
    std::memcpy(image, data, size);
    std::memset(image + size, 0, disk - size);
    const uint8_t crypt = header().crypt();
    if (crypt != 0 && is_encoded_kind(kind)) encode_block_data(crypt, image, size, bid.value());
    uint8_t* t = image + disk - trailer::size;
    trailer::cb::put(t, static_cast<uint16_t>(size));
    trailer::wSig::put(t, compute_sig(offset, bid.value()));
    trailer::bid::put(t, bid.value());
    trailer::dwCRC::put(t, crc32(image, size));
    if (!buffered) write_file(offset, image, disk);
  } catch (...) {
    // The block never reached the file: its space goes back to the map.
    space().free_block_space(offset, disk);
    throw;
  }
  bbt().add(bid, offset, static_cast<uint16_t>(size), written_cref);
  return bid;
}

template <ndb_bidtype bidtype>
uint16_t pst_ndb<bidtype>::add_block_reference(block_id<bidtype> bid) {
  uint16_t count = bbt_->increment(bid);
  if (count == 0) throw qm_invalid_call("add_block_reference: block " + std::to_string(bid.value()) + " is unknown");
  return count;
}

template <ndb_bidtype bidtype>
uint16_t pst_ndb<bidtype>::release_block(block_id<bidtype> bid) {
  // A tree block left without referrers drops the references it holds; the
  // work list keeps deep subnode nesting off the call stack.
  std::vector<block_id<bidtype>> pending;
  auto release_one = [&](block_id<bidtype> target) {
    std::optional<bbt_entry<bidtype>> entry = bbt_->lookup(target);
    if (!entry) throw qm_invalid_call("release_block: block " + std::to_string(target.value()) + " is unknown");
    if (entry->cref <= 1)
      throw qm_invalid_call("release_block: block " + std::to_string(target.value()) + " holds no reference");
    uint16_t old = bbt_->decrement(target);
    if (old == 2 && target.internal())
      for (block_id<bidtype> child : block_references(target))
        if (child) pending.push_back(child);
    return old;
  };
  uint16_t old = release_one(bid);
  while (!pending.empty()) {
    block_id<bidtype> next = pending.back();
    pending.pop_back();
    release_one(next);
  }
  return old;
}

template <ndb_bidtype bidtype>
std::vector<block_id<bidtype>> pst_ndb<bidtype>::block_references(block_id<bidtype> bid) {
  std::vector<block_id<bidtype>> out;
  if (!bid.internal()) return out;
  block_ptr block = load_block(bid, block_kind::data_tree);
  std::string where = " (block " + std::to_string(bid.value()) + ")";
  if (!block) throw qm_invalid_call("missing tree block" + where);
  const uint8_t* p = block->data();
  size_t size = block->size();
  if (size < 4) throw qm_invalid_call("short tree block" + where);
  uint8_t btype = p[0], level = p[1];
  size_t count = get_le<uint16_t>(p + 2);
  if (btype == xblock_layout<bidtype>::btype_value) {
    using layout = xblock_layout<bidtype>;
    if (layout::rgbid + count * layout::entry_size > size) throw qm_invalid_call("bad data tree block" + where);
    for (size_t i = 0; i < count; ++i)
      out.emplace_back(get_le<bidtype>(p + layout::rgbid + i * layout::entry_size));
  } else if (btype == slblock_layout<bidtype>::btype_value) {
    constexpr size_t first = slblock_layout<bidtype>::rgentries;
    size_t entry_size = level == 0 ? slentry_layout<bidtype>::size : sientry_layout<bidtype>::size;
    if (level > 1 || first + count * entry_size > size) throw qm_invalid_call("bad subnode tree block" + where);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = p + first + i * entry_size;
      if (level == 0) {
        out.emplace_back(slentry_layout<bidtype>::bidData::get(e));
        out.emplace_back(slentry_layout<bidtype>::bidSub::get(e));
      } else {
        out.emplace_back(sientry_layout<bidtype>::bid::get(e));
      }
    }
  } else {
    throw qm_invalid_call("internal block of unknown type" + where);
  }
  return out;
}

// ------------------------------------------------------------------ nodes

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::add_node(node_id nid, block_id<bidtype> bid_data, block_id<bidtype> bid_sub,
                                node_id nid_parent) {
  nbt_->add_or_replace({nid, bid_data, bid_sub, nid_parent});
  // rgnid[type] never falls below the index of a node of its type: nodes
  // that take another node's index (a folder's tables take the folder's)
  // raise the counter of their own type, so that no NID handed out later
  // can be one in use.
  if (nid.index() > header_->rgnid(nid.type())) header_->set_rgnid(nid.type(), nid.index());
}

// ------------------------------------------------------------------ commit

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::retire_page(bidtype offset) {
  pages_->remove(offset);
  if (new_pages_.erase(offset) != 0)
    space_->free_page(offset);
  else
    retired_pages_.push_back(offset);
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::commit() {
  space_->release_page_region_tail();
  // The pages the new trees replaced are free in the maps this commit
  // writes. Should the commit fail, they are taken again, so that nothing
  // is placed over the last commit's pages before a header replaces it.
  for (bidtype offset : retired_pages_) space_->free_page(offset);
  try {
    commit_pages_and_header();
  } catch (...) {
    for (bidtype offset : retired_pages_) space_->take_page(offset);
    throw;
  }
  retired_pages_.clear();
  new_pages_.clear();
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::close() {
  if (!file_) return;
  appended_.discard();
  file_->flush_and_close();
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::commit_pages_and_header() {
  pages_->write_dirty();
  // The header comes after every block it refers to is in the file.
  appended_.flush(*file_);
  // Every byte up to ibFileEof must exist before the header says so. A
  // byte source that cannot set its length (external callbacks) has only
  // what was written: the free tail of the last region is then missing, and
  // one zero byte at its end (which nothing else occupies) fills it in.
  uint64_t eof = header_->file_eof();
  if (eof > 0 && file_->size() < eof) {
    uint8_t zero = 0;
    write_file(eof - 1, &zero, 1);
  }
  write_header();
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::write_header() {
  if (header_->bref_bbt() != bbt_->root()) header_->set_bref_bbt(bbt_->root());
  if (header_->bref_nbt() != nbt_->root()) header_->set_bref_nbt(nbt_->root());
  std::vector<uint8_t> area(header_area_size, 0);
  header_->set_amap_valid(pst_ndb_header<bidtype>::amap_valid2);
  header_->serialize(area.data(), area.size());
  write_file(0, area.data(), area.size());
  committed_header_ = std::move(area);
  maps_invalid_on_disk_ = false;
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::prepare_map_write() {
  if (committed_header_.empty() || maps_invalid_on_disk_) return;
  using layout = header_layout<bidtype>;
  std::vector<uint8_t> area = committed_header_;
  uint8_t* h = area.data();
  layout::fAMapValid::put(h, pst_ndb_header<bidtype>::amap_invalid);
  layout::dwCRCPartial::put(h, crc32(h + layout::crc_partial_start, layout::crc_partial_size));
  if constexpr (format::unicode) layout::dwCRCFull::put(h, crc32(h + layout::crc_full_start, layout::crc_full_size));
  write_file(0, area.data(), area.size());
  maps_invalid_on_disk_ = true;
}

// ------------------------------------------------------------------ pages and file

template <ndb_bidtype bidtype>
std::shared_ptr<pst_page<bidtype>> pst_ndb<bidtype>::get_page(bidtype offset, page_type expected) {
  if (offset % page_size != 0) throw qm_invalid_arg("page offset " + std::to_string(offset) + " is not page aligned");
  if (auto cached = pages_->find(offset)) {
    if (cached->type() != expected)
      throw qm_invalid_call("page at " + std::to_string(offset) + " is not of the requested kind");
    return cached;
  }
  if (static_cast<uint64_t>(offset) + page_size > static_cast<uint64_t>(header_->file_eof()))
    throw qm_invalid_call("page at " + std::to_string(offset) + " lies past the end of the file");
  uint8_t image[page_size];
  read_file(offset, image, page_size);
  validate_page_image<bidtype>(image, offset, true);
  if (page_trailer_layout<bidtype>::ptype::get(image) != static_cast<uint8_t>(expected))
    throw qm_invalid_call("page at " + std::to_string(offset) + " is not of the requested kind");
  std::shared_ptr<pst_page<bidtype>> page;
  switch (expected) {
    case page_type::bbt: page = std::make_shared<pst_bbt_page<bidtype>>(this, image, offset); break;
    case page_type::nbt: page = std::make_shared<pst_nbt_page<bidtype>>(this, image, offset); break;
    case page_type::amap: page = std::make_shared<pst_amap<bidtype>>(this, image, offset); break;
    case page_type::pmap: page = std::make_shared<pst_pmap<bidtype>>(this, image, offset); break;
    case page_type::fmap: page = std::make_shared<pst_fmap<bidtype>>(this, image, offset); break;
    case page_type::fpmap: page = std::make_shared<pst_fpmap<bidtype>>(this, image, offset); break;
  }
  add_page(page);
  return page;
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::add_page(std::shared_ptr<pst_page<bidtype>> page) {
  pages_->add(std::move(page));
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::write_file(uint64_t offset, const void* data, size_t size) {
  appended_.write(*file_, offset, data, size);
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::read_file(uint64_t offset, void* data, size_t size) {
  appended_.read(*file_, offset, data, size);
}

template <ndb_bidtype bidtype>
void pst_ndb<bidtype>::set_file_length(uint64_t length) {
  // Bytes buffered past the new end would bring the old length back.
  if (length < appended_.end()) appended_.flush(*file_);
  uint8_t none = 0;
  file_->seek(length, 0);
  file_->write_and_set_end(&none, 0);
}

template class pst_ndb<uint32_t>;
template class pst_ndb<uint64_t>;

}  // namespace vendrel
