// Allocation maps and file growth ([MS-PST] 2.2.2.7.2 to 2.2.2.7.5).
//
// The file grows in regions of 496 pages (0x3E000 bytes) from 0x4400 on,
// each opened by its AMap (one bit per 64-byte slot) and, at fixed
// intervals, a PMap (one bit per page of 8 regions), an FMap (free-slot
// values of AMaps beyond the first 128) and an FPMap (full flags of PMaps
// beyond the first 1024). This writer keeps B-tree pages and blocks apart:
// a page region hands out pages through its PMap bits, a block region hands
// out 64-byte slots through its AMap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ndb/page.h"
#include "ndb/types.h"

namespace vendrel {

// ------------------------------------------------------------------ geometry

inline constexpr uint64_t first_region_offset = 0x4400;
inline constexpr uint64_t region_size = 0x3E000;
inline constexpr size_t pages_per_region = 496;
inline constexpr size_t slots_per_region = 3968;
inline constexpr size_t map_bitmap_bytes = 496;  // 3968 bits
inline constexpr size_t fmap_first_region = 128;
inline constexpr size_t fpmap_first_pmap = 1024;
inline constexpr size_t map_span = 496;  // AMaps per FMap, PMaps per FPMap
// The end of file from which FMaps exist (one byte into region 128).
inline constexpr uint64_t fmap_file_eof = first_region_offset + fmap_first_region * region_size + 1;

constexpr uint64_t region_offset(uint64_t region) { return first_region_offset + region * region_size; }
constexpr bool region_has_pmap(uint64_t region) { return region % 8 == 0; }
constexpr bool region_has_fmap(uint64_t region) {
  return region >= fmap_first_region && (region - fmap_first_region) % map_span == 0;
}
constexpr bool region_has_fpmap(uint64_t region) {
  return region_has_pmap(region) && region / 8 >= fpmap_first_pmap && (region / 8 - fpmap_first_pmap) % map_span == 0;
}
// Each map page has its fixed slot in a region, whether or not the pages
// before it are present there: the AMap at +0, the PMap at +0x200, the FMap
// at +0x400, the FPMap at +0x600. A region with an FPMap has no FMap; its
// slot +0x400 stays allocated and empty.
inline constexpr unsigned pmap_slot = 1, fmap_slot = 2, fpmap_slot = 3;
// The pages at the start of a region that its maps reserve: up to and
// including the last map slot in use.
constexpr unsigned region_map_pages(uint64_t region) {
  return region_has_fpmap(region) ? fpmap_slot + 1
         : region_has_fmap(region) ? fmap_slot + 1
         : region_has_pmap(region) ? pmap_slot + 1
                                   : 1u;
}
// Offsets of the map pages that cover a region, PMap or AMap index.
constexpr uint64_t amap_offset(uint64_t region) { return region_offset(region); }
constexpr uint64_t pmap_offset(uint64_t pmap) { return region_offset(8 * pmap) + page_size * pmap_slot; }
// The region holding the FMap that covers AMap `amap` (>= 128).
constexpr uint64_t fmap_region(uint64_t amap) {
  return fmap_first_region + (amap - fmap_first_region) / map_span * map_span;
}
constexpr uint64_t fmap_offset(uint64_t amap) {
  return region_offset(fmap_region(amap)) + page_size * fmap_slot;
}
// The PMap index whose region holds the FPMap that covers PMap `pmap` (>= 1024).
constexpr uint64_t fpmap_pmap(uint64_t pmap) {
  return fpmap_first_pmap + (pmap - fpmap_first_pmap) / map_span * map_span;
}
constexpr uint64_t fpmap_offset(uint64_t pmap) {
  return region_offset(8 * fpmap_pmap(pmap)) + page_size * fpmap_slot;
}

// ------------------------------------------------------------------ map pages

// A page whose map part holds a 3968-bit map, most significant bit first.
// The map part is the 496 bytes of map_page_layout: after 4 bytes of
// padding in an ANSI file, from the page's first byte in a Unicode file.
//
// The page keeps a cursor below which every bit is set and a running count
// of clear bits, so that searches start at the cursor and a full map is
// known without a scan. Every change of the bits goes through set_bit and
// set_bits, which keep both.
template <ndb_bidtype bidtype>
class pst_bitmap_page : public pst_page<bidtype> {
 public:
  const uint8_t* bits() const { return map_page_layout<bidtype>::rgbMap::at(this->data()); }
  bool bit(size_t index) const { return (bits()[index / 8] & (0x80 >> (index % 8))) != 0; }
  void set_bit(size_t index, bool value);
  // Sets or clears bits [first, first + count).
  void set_bits(size_t first, size_t count, bool value);
  // The number of clear bits.
  size_t clear_count() const { return clear_; }
  // The longest run of clear bits, capped at 255.
  uint8_t free_slot_value() const;
  // The first clear bit; nullopt when none.
  std::optional<size_t> first_clear_bit() const;
  // First fit: the first run of `count` clear bits; nullopt when none.
  std::optional<size_t> first_fit(size_t count) const;

 protected:
  // A new map at its own offset (the offset is its BID) with every bit set
  // or clear.
  pst_bitmap_page(pst_ndb<bidtype>* ndb, page_type type, bidtype offset, bool set);
  pst_bitmap_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset);

 private:
  uint8_t* mutable_bits() { return map_page_layout<bidtype>::rgbMap::at(this->data()); }
  size_t count_clear(size_t first_byte, size_t bytes) const;

  mutable size_t cursor_ = 0;  // every bit below is set
  size_t clear_ = 0;
};

template <ndb_bidtype bidtype>
class pst_amap final : public pst_bitmap_page<bidtype> {
 public:
  static constexpr page_type kind = page_type::amap;
  pst_amap(pst_ndb<bidtype>* ndb, bidtype offset) : pst_bitmap_page<bidtype>(ndb, kind, offset, true) {}
  pst_amap(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
      : pst_bitmap_page<bidtype>(ndb, image, offset) {}
  ~pst_amap() override = default;
};

template <ndb_bidtype bidtype>
class pst_pmap final : public pst_bitmap_page<bidtype> {
 public:
  static constexpr page_type kind = page_type::pmap;
  pst_pmap(pst_ndb<bidtype>* ndb, bidtype offset) : pst_bitmap_page<bidtype>(ndb, kind, offset, true) {}
  pst_pmap(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
      : pst_bitmap_page<bidtype>(ndb, image, offset) {}
  ~pst_pmap() override = default;
};

template <ndb_bidtype bidtype>
class pst_fpmap final : public pst_bitmap_page<bidtype> {
 public:
  static constexpr page_type kind = page_type::fpmap;
  pst_fpmap(pst_ndb<bidtype>* ndb, bidtype offset) : pst_bitmap_page<bidtype>(ndb, kind, offset, true) {}
  pst_fpmap(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
      : pst_bitmap_page<bidtype>(ndb, image, offset) {}
  ~pst_fpmap() override = default;
};

// One free-slot byte per AMap of its span; starts all zero.
template <ndb_bidtype bidtype>
class pst_fmap final : public pst_page<bidtype> {
 public:
  static constexpr page_type kind = page_type::fmap;
  pst_fmap(pst_ndb<bidtype>* ndb, bidtype offset) : pst_page<bidtype>(ndb, kind, offset, offset) {}
  pst_fmap(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset) : pst_page<bidtype>(ndb, image, offset) {}
  ~pst_fmap() override = default;

  // The map part (map_page_layout), one byte per AMap.
  uint8_t* bits() { return map_page_layout<bidtype>::rgbMap::at(this->data()); }
  const uint8_t* bits() const { return map_page_layout<bidtype>::rgbMap::at(this->data()); }
  uint8_t value(size_t index) const { return bits()[index]; }
  void set_value(size_t index, uint8_t value);
};

// ------------------------------------------------------------------ allocator

enum class region_kind { page, block };

template <ndb_bidtype bidtype>
class pst_space_allocator {
 public:
  explicit pst_space_allocator(pst_ndb<bidtype>* ndb) : ndb_(ndb) {}

  // File space for a block of `size` bytes (rounded up to 64; at most 8192,
  // else qm_invalid_arg), taken first-fit from the block regions.
  bidtype allocate_block_space(size_t size);
  // Gives back space taken by allocate_block_space that no block came to
  // occupy (a failed write). qm_invalid_arg for space outside the block
  // slots of one region.
  void free_block_space(bidtype offset, size_t size);
  // One 512-byte page from the page regions; qm_cwf_error when none can be had.
  bidtype allocate_page();
  // Appends a region of the given kind; returns its index.
  uint32_t add_region(region_kind kind);
  // Gives the unused tail of the current page region to the block allocator
  // (the first step of every commit).
  void release_page_region_tail();
  // Returns a page to its PMap.
  void free_page(bidtype offset);
  // Takes a page that free_page returned, again.
  void take_page(bidtype offset);

  std::optional<uint32_t> current_page_region() const { return current_page_region_; }

  // For tests of the far regions: adds empty block regions until the file
  // has `count` regions and keeps blocks out of those, so that the blocks
  // written next land in region `count` and beyond (region 128, say, the
  // first with an FMap). The skipped regions stay free space.
  void skip_regions_for_testing(uint64_t count);
  uint64_t region_count() const;

  std::shared_ptr<pst_amap<bidtype>> amap(uint64_t region);
  std::shared_ptr<pst_pmap<bidtype>> pmap(uint64_t index);
  std::shared_ptr<pst_fmap<bidtype>> fmap(uint64_t amap);
  std::shared_ptr<pst_fpmap<bidtype>> fpmap(uint64_t pmap);

  // The free-slot value recorded for AMap `region` (rgbFM or its FMap byte).
  uint8_t recorded_free_slots(uint64_t region);
  // Whether PMap `index` is recorded as full (rgbFP or its FPMap bit).
  bool recorded_pmap_full(uint64_t index);

 private:
  template <typename Map>
  std::shared_ptr<Map> map_page(uint64_t offset);
  void refresh_amap(uint64_t region, const pst_amap<bidtype>& map);
  void refresh_pmap(uint64_t index, const pst_pmap<bidtype>& map);
  int64_t find_amap(size_t slots);
  int64_t find_pmap();
  void set_file_length();
  // The regions' free-slot values, as recorded, in a max-tree: the first
  // region with room for a block is found without a scan of the regions.
  void record_free_slots(uint64_t region, uint8_t value);
  void sync_free_slot_index();

  class max_tree {
   public:
    size_t size() const { return size_; }
    void push(uint8_t value);
    void set(size_t index, uint8_t value);
    // The first index >= from whose value is at least `need`; -1 when none.
    int64_t find(size_t from, uint8_t need) const;

   private:
    int64_t find(size_t node, size_t low, size_t high, size_t from, uint8_t need) const;
    std::vector<uint8_t> nodes_;  // nodes_[1] the root; leaves from leaves_
    size_t leaves_ = 0, size_ = 0;
  };

  pst_ndb<bidtype>* ndb_;
  max_tree free_slots_;
  std::optional<uint32_t> current_page_region_;
  uint64_t first_block_region_ = 0;  // blocks go to this region or later
};

extern template class pst_bitmap_page<uint32_t>;
extern template class pst_bitmap_page<uint64_t>;
extern template class pst_fmap<uint32_t>;
extern template class pst_fmap<uint64_t>;
extern template class pst_space_allocator<uint32_t>;
extern template class pst_space_allocator<uint64_t>;

}  // namespace vendrel
