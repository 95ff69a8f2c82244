// The node database of one PST file: the file, its header, the two B-tree
// handles, the allocation maps, the page cache and the block cache. It
// creates a new file (mode 3) or opens an existing one for reading (modes 1
// and 2), hands out NIDs, BIDs, blocks and pages, and commits: the unused
// tail of the page region goes to the blocks, the dirty pages are written,
// and the header is written last. Until a commit's header is written, the
// file stays the previous commit's: blocks go to free space, B-tree pages
// are copied rather than changed, and the maps (changed in place) are
// marked for rebuilding in that commit's header first.
//
// This header is also the node database's umbrella: it brings in every
// other ndb/ header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/base_object.h"
#include "common/file.h"
#include "ndb/amap.h"
#include "ndb/append_buffer.h"
#include "ndb/block.h"
#include "ndb/btree.h"
#include "ndb/cache.h"
#include "ndb/data_tree.h"
#include "ndb/disk.h"
#include "ndb/encoding.h"
#include "ndb/header.h"
#include "ndb/page.h"
#include "ndb/subnode_tree.h"
#include "ndb/types.h"
#include "ndb/walker.h"
#include "ndb/xstream.h"

namespace vendrel {

namespace ndb_mode {
inline constexpr int open_read = 1;
inline constexpr int open_existing = 2;
inline constexpr int create = 3;
}  // namespace ndb_mode

template <ndb_bidtype bidtype>
class pst_ndb {
 public:
  using format = ndb_format<bidtype>;
  using block_ptr = ref<pst_low_layer_block<bidtype>>;

  // Creates (mode 3) or opens (modes 1, 2) the file. `external` routes the
  // file's calls through a caller's callbacks. A path longer than 0x100000
  // characters is qm_invalid_arg, any other mode qm_invalid_arg "invalid file
  // mode"; file errors come from the file layer.
  pst_ndb(std::u16string_view path, int mode, const external_file_callbacks* external = nullptr);
  // A narrow path in the system ANSI code page; characters that do not
  // convert are qm_invalid_arg.
  pst_ndb(std::string_view path, int mode, const external_file_callbacks* external = nullptr);
  ~pst_ndb();
  pst_ndb(const pst_ndb&) = delete;
  pst_ndb& operator=(const pst_ndb&) = delete;

  int mode() const { return mode_; }
  const std::u16string& path() const { return path_; }
  const std::string& narrow_path() const { return narrow_path_; }
  // For a path "<name>{GUID}.ext": "<name>"; for "...}.ext" otherwise the
  // whole path; empty for other paths.
  const std::u16string& derived_name() const { return derived_name_; }
  static std::u16string derive_name(std::u16string_view path);

  pst_ndb_header<bidtype>& header() { return *header_; }
  pst_bbt<bidtype>& bbt() { return *bbt_; }
  pst_nbt<bidtype>& nbt() { return *nbt_; }
  pst_space_allocator<bidtype>& space() { return *space_; }
  pst_page_cache<bidtype>& pages() { return *pages_; }
  pst_cache_block<bidtype>& block_cache() { return *blocks_; }
  IFile& file() { return *file_; }
  // Blocks on their way to the end of the file (see append_buffer.h).
  pst_append_buffer& append_buffer() { return appended_; }

  // ---- identifiers
  // rgnid[type] += 1; the NID is (rgnid[type] << 5) | type.
  node_id allocate_nid(uint32_t type);
  // A subnode NID (type 0x1F, internal).
  node_id new_subnode_nid() { return allocate_nid(nid_type::internal); }
  // From bidNextB: internal kinds take the next value = 2 mod 4, the others
  // the next multiple of 4.
  block_id<bidtype> allocate_bid(block_kind kind);
  bidtype allocate_page_bid();

  // ---- blocks
  block_ptr new_block(block_kind kind);
  // A block with the largest payload whose BID, space and BBT entry are taken
  // now; it stays in the block cache.
  block_ptr new_reserved_block(block_kind kind);
  // The stored block, decoded for its kind; nullptr when the BBT does not know the BID.
  block_ptr load_block(block_id<bidtype> bid, block_kind kind = block_kind::none);
  // The cached reserved block of the BID, or a new reserved block holding the
  // stored block's payload; nullptr when neither exists.
  block_ptr reopen_block(block_id<bidtype> bid, block_kind kind);
  // Makes, fills and writes one block; returns its BID.
  block_id<bidtype> write_block(block_kind kind, const void* data, size_t size);
  // BBT reference counts ([MS-PST] BBTENTRY cRef): 1 for the BBT's own
  // entry plus one per referrer (an NBT entry's bidData or bidSub, a data
  // tree's entry, an SLENTRY's bidData or bidSub, an SIENTRY's bid). Every
  // block is written with `written_cref`: the reference its writer will
  // place. Whoever places a BID a second time (a shared block) adds a
  // reference; whoever drops or replaces a placed BID releases it.
  static constexpr uint16_t written_cref = 2;
  // cRef -= 1; returns the old value. A data or subnode tree block that is
  // left without referrers releases the blocks it refers to in turn.
  // qm_invalid_call for an unknown BID or a block that holds no reference.
  uint16_t release_block(block_id<bidtype> bid);
  // cRef += 1; returns the new value. qm_invalid_call for an unknown BID.
  uint16_t add_block_reference(block_id<bidtype> bid);
  std::optional<bbt_entry<bidtype>> lookup_block(block_id<bidtype> bid) { return bbt_->lookup(bid); }
  // The BIDs a stored data tree or subnode tree block refers to (its rgbid,
  // its SLENTRYs' bidData and bidSub, or its SIENTRYs' bid); empty for a
  // data block. qm_invalid_call for a malformed or missing block.
  std::vector<block_id<bidtype>> block_references(block_id<bidtype> bid);

  // ---- nodes
  void add_node(node_id nid, block_id<bidtype> bid_data, block_id<bidtype> bid_sub, node_id nid_parent);
  std::optional<nbt_entry<bidtype>> lookup_node(node_id nid) { return nbt_->lookup(nid); }

  // Writes the page region's tail, the dirty pages, fills the file up to
  // ibFileEof where the byte source did not grow with it, and last writes
  // the header.
  void commit();
  // Flushes the file to stable storage and closes it (after the last
  // commit); qm_cwf_error when either fails. Blocks written since the last
  // commit, which no header refers to, are dropped. The node database takes
  // no further file calls.
  void close();

  // ---- pages and file access (for the pages, trees and maps)
  // The cached page at `offset`, or the page read from the file, validated and
  // wrapped in the class of `expected`. qm_invalid_arg for an offset that is
  // not a multiple of 512; qm_invalid_call for a page of another type.
  std::shared_ptr<pst_page<bidtype>> get_page(bidtype offset, page_type expected);
  void add_page(std::shared_ptr<pst_page<bidtype>> page);

  // ---- B-tree pages and the last commit
  // B-tree pages of the last commit are never written again: a change goes
  // to a copy at a new place (the trees copy the path down to the page they
  // change), so that the file the last header describes stays whole until
  // the next header replaces it.
  //
  // Whether the B-tree page at `offset` belongs to the last commit (or to
  // the opened file).
  bool page_committed(bidtype offset) const { return new_pages_.count(offset) == 0; }
  // Records a B-tree page placed since the last commit.
  void track_new_page(bidtype offset) { new_pages_.insert(offset); }
  // A B-tree page no tree refers to any more: a page placed since the last
  // commit is freed now; a page of the last commit is freed by the next
  // commit (its place must not be reused before that commit's header).
  void retire_page(bidtype offset);
  // Map pages live at fixed places and are written in place. Before the
  // first map page write after a commit, the header of that commit is
  // written again with fAMapValid 0: should no further commit follow, the
  // file is the last commit's, with maps that a reader is told to rebuild.
  void prepare_map_write();
  // Both go through the append buffer: reads see blocks not yet in the
  // file, and writes inside the buffered run change it there.
  void write_file(uint64_t offset, const void* data, size_t size);
  void read_file(uint64_t offset, void* data, size_t size);
  void set_file_length(uint64_t length);

 private:
  void open(int mode, const external_file_callbacks* external);
  void commit_pages_and_header();
  void write_header();

  int mode_ = 0;
  std::u16string path_;
  std::string narrow_path_;
  std::u16string derived_name_;
  std::unique_ptr<IFile> file_;
  std::unique_ptr<pst_ndb_header<bidtype>> header_;
  std::unique_ptr<pst_page_cache<bidtype>> pages_;
  std::unique_ptr<pst_cache_block<bidtype>> blocks_;
  std::unique_ptr<pst_bbt<bidtype>> bbt_;
  std::unique_ptr<pst_nbt<bidtype>> nbt_;
  std::unique_ptr<pst_space_allocator<bidtype>> space_;
  std::unordered_set<bidtype> new_pages_;  // B-tree pages placed since the last commit
  std::vector<bidtype> retired_pages_;     // pages of the last commit no tree refers to
  std::vector<uint8_t> committed_header_;  // the header area the last commit wrote
  bool maps_invalid_on_disk_ = false;      // the file's header says its maps are not valid
  pst_append_buffer appended_;
};

extern template class pst_ndb<uint32_t>;
extern template class pst_ndb<uint64_t>;

}  // namespace vendrel
