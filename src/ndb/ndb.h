// The node database of one PST file: the file, its header, the two B-tree
// handles, the allocation maps, the page cache and the block cache. It
// creates a new file (mode 3) or opens an existing one for reading (modes 1
// and 2), hands out NIDs, BIDs, blocks and pages, and commits: the unused
// tail of the page region goes to the blocks, the dirty pages are written,
// and the header is written last.
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
#include <vector>

#include "common/base_object.h"
#include "common/file.h"
#include "ndb/amap.h"
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
  // BBT reference counts: a written block starts at 1; each further
  // reference adds one, each release takes one.
  uint16_t release_block(block_id<bidtype> bid) { return bbt_->decrement(bid); }
  uint16_t add_block_reference(block_id<bidtype> bid) { return bbt_->increment(bid); }
  std::optional<bbt_entry<bidtype>> lookup_block(block_id<bidtype> bid) { return bbt_->lookup(bid); }

  // ---- nodes
  void add_node(node_id nid, block_id<bidtype> bid_data, block_id<bidtype> bid_sub, node_id nid_parent);
  std::optional<nbt_entry<bidtype>> lookup_node(node_id nid) { return nbt_->lookup(nid); }

  // Writes the page region's tail, the dirty pages and last the header.
  void commit();

  // ---- pages and file access (for the pages, trees and maps)
  // The cached page at `offset`, or the page read from the file, validated and
  // wrapped in the class of `expected`. qm_invalid_arg for an offset that is
  // not a multiple of 512; qm_invalid_call for a page of another type.
  std::shared_ptr<pst_page<bidtype>> get_page(bidtype offset, page_type expected);
  void add_page(std::shared_ptr<pst_page<bidtype>> page);
  void write_file(uint64_t offset, const void* data, size_t size);
  void read_file(uint64_t offset, void* data, size_t size);
  void set_file_length(uint64_t length);

 private:
  void open(int mode, const external_file_callbacks* external);
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
};

extern template class pst_ndb<uint32_t>;
extern template class pst_ndb<uint64_t>;

}  // namespace vendrel
