// Heap-on-node ([MS-PST] 2.3.1): the block of a heap with its allocation
// list and page map, heap IDs, fill levels, and the multi-block heap of a
// table context.
//
// A block image is built in a fixed 8192-byte buffer. The allocation list
// holds one more offset than there are allocations: allocation i spans
// offsets[i] .. offsets[i + 1]. The page map (HNPAGEMAP) is written at the
// last offset rounded up to even when the block is written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "ltp/node_writer.h"
#include "ndb/disk.h"
#include "ndb/types.h"

namespace vendrel {

inline constexpr size_t heap_buffer_size = 8192;
inline constexpr size_t heap_max_allocation = 6180;  // 0x1824
// The fill-level table is computed against this size in both variants.
inline constexpr size_t heap_fill_base = 8180;
inline constexpr uint8_t hn_signature = 0xEC;
inline constexpr uint8_t hn_client_pc = 0xBC;
inline constexpr uint8_t hn_client_tc = 0x7C;
inline constexpr uint8_t bth_signature = 0xB5;
inline constexpr uint16_t heap_no_room = 0xFFFF;

// First allocation offsets: after HNHDR, HNBITMAPHDR and HNPAGEHDR.
inline constexpr uint16_t hn_first_offset_hdr = 12;
inline constexpr uint16_t hn_first_offset_bitmap = 66;
inline constexpr uint16_t hn_first_offset_page = 2;

// Size limits callers pass to pst_entries::add_entry.
inline constexpr size_t heap_limit_data = 8100;
inline constexpr size_t heap_limit_leaf = 6100;

// The largest block of a heap (a block's payload without its trailer).
template <ndb_bidtype bidtype>
inline constexpr size_t heap_block_size = ndb_format<bidtype>::max_block_payload;

// [MS-PST] 2.3.1.1 HID: bits 0-4 hidType (0), 5-15 hidIndex (1-based),
// 16-31 hidBlockIndex.
constexpr uint32_t make_hid(uint32_t block_index, uint32_t allocation_index) {
  return ((allocation_index + 1) << 5) | (block_index << 16);
}
constexpr bool is_hid(uint32_t value) { return (value & 0x1F) == 0; }
constexpr uint32_t hid_index(uint32_t hid) { return (hid >> 5) & 0x7FF; }  // 1-based
constexpr uint32_t hid_block(uint32_t hid) { return hid >> 16; }

// Blocks 8, 136, 264, ... carry an HNBITMAPHDR.
constexpr bool is_bitmap_block(size_t block_index) {
  return block_index >= 8 && (block_index - 8) % 128 == 0;
}
constexpr uint16_t heap_first_offset(size_t block_index) {
  if (block_index == 0) return hn_first_offset_hdr;
  return is_bitmap_block(block_index) ? hn_first_offset_bitmap : hn_first_offset_page;
}
// The bitmap block that records the fill level of block b (b >= 8).
constexpr size_t governing_bitmap_block(size_t block_index) {
  return 8 + 128 * ((block_index - 8) / 128);
}

// [MS-PST] 2.3.1.2 fill level (0..15) of a block with `used` bytes.
uint8_t heap_fill_level(size_t used);
// Sets nibble `position` of a fill-level array: even positions the low
// nibble, odd ones the high nibble.
void put_fill_nibble(uint8_t* levels, size_t position, uint8_t level);
uint8_t get_fill_nibble(const uint8_t* levels, size_t position);

// [MS-PST] 2.3.1.2 HNHDR, 2.3.1.3 HNPAGEHDR, 2.3.1.4 HNBITMAPHDR, 2.3.1.5 HNPAGEMAP.
struct hnhdr_layout {
  using ibHnpm = disk_field<uint16_t, 0>;
  using bSig = disk_field<uint8_t, 2>;
  using bClientSig = disk_field<uint8_t, 3>;
  using hidUserRoot = disk_field<uint32_t, 4>;
  using rgbFillLevel = disk_bytes<8, 4>;
  static constexpr size_t size = 12;
};
struct hnbitmaphdr_layout {
  using ibHnpm = disk_field<uint16_t, 0>;
  using rgbFillLevel = disk_bytes<2, 64>;
  static constexpr size_t size = 66;
};
struct hnpagemap_layout {
  using cAlloc = disk_field<uint16_t, 0>;
  using cFree = disk_field<uint16_t, 2>;
  static constexpr size_t rgibAlloc = 4;
};
namespace layout_checks {
static_assert(adjacent<hnhdr_layout::ibHnpm, hnhdr_layout::bSig> &&
                  adjacent<hnhdr_layout::bSig, hnhdr_layout::bClientSig> &&
                  adjacent<hnhdr_layout::bClientSig, hnhdr_layout::hidUserRoot> &&
                  adjacent<hnhdr_layout::hidUserRoot, hnhdr_layout::rgbFillLevel> &&
                  hnhdr_layout::rgbFillLevel::end == hnhdr_layout::size && hnhdr_layout::size == hn_first_offset_hdr,
              "[MS-PST] 2.3.1.2 HNHDR is 12 bytes");
static_assert(adjacent<hnbitmaphdr_layout::ibHnpm, hnbitmaphdr_layout::rgbFillLevel> &&
                  hnbitmaphdr_layout::rgbFillLevel::end == hn_first_offset_bitmap,
              "[MS-PST] 2.3.1.4 HNBITMAPHDR is 66 bytes");
}  // namespace layout_checks

// One block of a heap.
template <ndb_bidtype bidtype>
class pst_entries_block {
 public:
  static constexpr size_t block_size = heap_block_size<bidtype>;

  // An empty block whose first allocation starts at first_offset (12, 66 or 2).
  explicit pst_entries_block(uint16_t first_offset);
  // A stored block image; rejects a block larger than the block payload or
  // one whose ibHnpm is 0 with qm_invalid_call, and a page map that does not
  // fit or does not describe the block (see well_formed) with qm_invalid_call.
  pst_entries_block(const uint8_t* image, size_t size);
  virtual ~pst_entries_block() = default;
  pst_entries_block(const pst_entries_block&) = delete;
  pst_entries_block& operator=(const pst_entries_block&) = delete;

  // Copies `size` bytes into a new allocation and returns its 0-based index,
  // or heap_no_room when the block cannot take it. Above 6180 bytes:
  // qm_invalid_arg.
  uint16_t add_entry(const void* data, size_t size);
  // Frees allocation i: later bytes move down, allocation i keeps its index
  // with length 0.
  void free_entry(size_t index);

  size_t entry_count() const { return offsets_.size() - 1; }
  size_t free_count() const;
  std::span<const uint8_t> entry(size_t index) const;
  std::span<uint8_t> entry(size_t index);
  const std::vector<uint16_t>& offsets() const { return offsets_; }

  // The page map's offset (last offset rounded up to even) and the used size
  // (header, data and page map).
  size_t page_map_offset() const { return (offsets_.back() + 1u) & ~size_t{1}; }
  size_t used_size() const { return page_map_offset() + 4 + 2 * offsets_.size(); }
  // The used size after one more allocation's offset, before its bytes.
  size_t projected_size() const;

  bool full() const { return full_; }
  void set_full() { full_ = true; }
  // The size the block is written at: the full block size when the full flag is set.
  size_t written_size() const { return full_ ? block_size : used_size(); }

  uint8_t* buffer() { return buffer_.data(); }
  const uint8_t* buffer() const { return buffer_.data(); }

  // Virtual operations in format order.
  // Records the fill level of the block at `position` of the fill-level
  // array this block carries (HNBITMAPHDR: 128 positions).
  virtual void set_fill_level(size_t position, size_t used_size);
  // Writes the block image through the writer; returns its BID.
  virtual bidtype write_block(pst_node_writer<bidtype>& writer, ltp_block_kind kind);

  // The block image as written: page map in place, ibHnpm set.
  std::vector<uint8_t> image();
  // Puts the page map and ibHnpm into the buffer.
  void finish();

 protected:
  std::array<uint8_t, heap_buffer_size> buffer_{};
  std::vector<uint16_t> offsets_;
  bool full_ = false;
};

// The multi-block heap of a table context.
template <ndb_bidtype bidtype>
class pst_entries {
 public:
  static constexpr size_t block_size = heap_block_size<bidtype>;

  pst_entries(pst_node_writer<bidtype>* writer, uint32_t nid,
              std::unique_ptr<pst_entries_block<bidtype>> block0);
  // A heap that writes through its own link to the node database.
  pst_entries(std::unique_ptr<pst_node_writer<bidtype>> writer, uint32_t nid,
              std::unique_ptr<pst_entries_block<bidtype>> block0);
  virtual ~pst_entries();
  pst_entries(const pst_entries&) = delete;
  pst_entries& operator=(const pst_entries&) = delete;

  // Allocates `size` bytes and returns their HID. `limit` bounds the used
  // size of the block that takes them (8100 for data, 6100 for row-index
  // leaves); `new_block` sends a leaf that block 0 cannot take to a fresh block.
  uint32_t add_entry(const void* data, size_t size, bool new_block, size_t limit);
  // Adds a subnode, or replaces the one with the same NID.
  void add_subnode(uint32_t nid, bidtype data_bid, bidtype sub_bid);
  const std::vector<ltp_subnode<bidtype>>& subnodes() const { return subnodes_; }

  // Writes all blocks, the data tree and the subnode list; returns the
  // node's data BID. The subnode BID is in subnode_bid() afterwards. A heap
  // is committed once (its closed blocks are on disk and left memory).
  bidtype commit();
  bidtype subnode_bid() const { return sub_bid_; }

  size_t block_count() const { return sizes_.empty() ? 1 : sizes_.size(); }
  bool multi_block() const { return !sizes_.empty(); }
  const std::vector<size_t>& block_sizes() const { return sizes_; }
  pst_entries_block<bidtype>& block0() { return *block0_; }
  const pst_entries_block<bidtype>& block0() const { return *block0_; }
  uint32_t nid() const { return nid_; }
  pst_node_writer<bidtype>* writer() const { return writer_; }

 private:
  uint32_t allocate(const void* data, size_t size, bool new_block, size_t limit);
  void close_overflow();

  std::unique_ptr<pst_node_writer<bidtype>> owned_writer_;
  pst_node_writer<bidtype>* writer_;
  uint32_t nid_;
  std::unique_ptr<pst_entries_block<bidtype>> block0_;
  std::unique_ptr<pst_entries_block<bidtype>> overflow_;
  size_t overflow_index_ = 0;
  // Bitmap blocks (8, 136, ...) stay in memory until commit, when the fill
  // levels of the blocks they govern are known; they are written once.
  std::map<size_t, std::unique_ptr<pst_entries_block<bidtype>>> bitmap_blocks_;
  std::vector<bidtype> bids_;   // data-tree entries; 0 for blocks not written yet
  std::vector<size_t> sizes_;   // used size per block, once multi-block
  std::vector<ltp_subnode<bidtype>> subnodes_;
  bidtype sub_bid_ = 0;
  bidtype data_bid_ = 0;
  bool committed_ = false;
};

}  // namespace vendrel
