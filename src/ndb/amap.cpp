#include "ndb/amap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

#include "common/errors.h"
#include "ndb/ndb.h"

namespace vendrel {

// ------------------------------------------------------------------ map pages

namespace {

// Eight map bytes from `at` as one word, the first bit the most significant.
inline uint64_t load_word(const uint8_t* at) {
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = (word << 8) | at[i];
  return word;
}

}  // namespace

template <ndb_bidtype bidtype>
pst_bitmap_page<bidtype>::pst_bitmap_page(pst_ndb<bidtype>* ndb, page_type type, bidtype offset, bool set)
    : pst_page<bidtype>(ndb, type, offset, offset) {
  std::memset(mutable_bits(), set ? 0xFF : 0x00, map_bitmap_bytes);
  clear_ = set ? 0 : slots_per_region;
  cursor_ = set ? slots_per_region : 0;
}

template <ndb_bidtype bidtype>
pst_bitmap_page<bidtype>::pst_bitmap_page(pst_ndb<bidtype>* ndb, const uint8_t* image, bidtype offset)
    : pst_page<bidtype>(ndb, image, offset) {
  clear_ = count_clear(0, map_bitmap_bytes);
}

template <ndb_bidtype bidtype>
size_t pst_bitmap_page<bidtype>::count_clear(size_t first_byte, size_t bytes) const {
  size_t set = 0;
  const uint8_t* map = bits() + first_byte;
  for (size_t i = 0; i < bytes; ++i) set += static_cast<size_t>(std::popcount(map[i]));
  return 8 * bytes - set;
}

template <ndb_bidtype bidtype>
void pst_bitmap_page<bidtype>::set_bit(size_t index, bool value) {
  if (index >= slots_per_region) throw qm_invalid_arg("map bit index out of range");
  uint8_t& byte = mutable_bits()[index / 8];
  uint8_t mask = static_cast<uint8_t>(0x80 >> (index % 8));
  const bool was = (byte & mask) != 0;
  byte = value ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
  if (was != value) {
    if (value) {
      --clear_;
    } else {
      ++clear_;
      if (index < cursor_) cursor_ = index;
    }
  }
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
void pst_bitmap_page<bidtype>::set_bits(size_t first, size_t count, bool value) {
  if (first + count > slots_per_region) throw qm_invalid_arg("map bit range out of range");
  if (count == 0) return;
  const size_t first_byte = first / 8, end_byte = (first + count + 7) / 8;
  const size_t before = count_clear(first_byte, end_byte - first_byte);
  uint8_t* map = mutable_bits();
  size_t i = first, end = first + count;
  auto one = [&](size_t index) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> (index % 8));
    map[index / 8] = value ? static_cast<uint8_t>(map[index / 8] | mask) : static_cast<uint8_t>(map[index / 8] & ~mask);
  };
  for (; i < end && i % 8 != 0; ++i) one(i);
  size_t whole = (end - i) / 8;
  std::memset(map + i / 8, value ? 0xFF : 0x00, whole);
  i += 8 * whole;
  for (; i < end; ++i) one(i);
  clear_ = clear_ - before + count_clear(first_byte, end_byte - first_byte);
  if (!value && first < cursor_) cursor_ = first;
  this->mark_dirty();
}

template <ndb_bidtype bidtype>
uint8_t pst_bitmap_page<bidtype>::free_slot_value() const {
  // Runs start at or after the cursor; eight bytes at a time, a word of all
  // clear or all set bits in one step.
  const uint8_t* map = bits();
  size_t best = 0, run = 0;
  size_t byte = cursor_ / 8;
  while (byte < map_bitmap_bytes && best < 255) {
    if (byte % 8 == 0 && byte + 8 <= map_bitmap_bytes) {
      uint64_t word = load_word(map + byte);
      if (word == 0) {
        run += 64;
        if (run > best) best = run;
        byte += 8;
        continue;
      }
      if (word == ~uint64_t{0}) {
        run = 0;
        byte += 8;
        continue;
      }
    }
    uint8_t value = map[byte];
    if (value == 0x00) {
      run += 8;
    } else if (value == 0xFF) {
      run = 0;
    } else {
      for (int bit = 0; bit < 8; ++bit) {
        if (value & (0x80 >> bit)) {
          run = 0;
        } else {
          ++run;
          if (run > best) best = run;
        }
      }
    }
    if (run > best) best = run;
    ++byte;
  }
  return static_cast<uint8_t>(best > 255 ? 255 : best);
}

template <ndb_bidtype bidtype>
std::optional<size_t> pst_bitmap_page<bidtype>::first_clear_bit() const {
  if (clear_ == 0) {
    cursor_ = slots_per_region;
    return std::nullopt;
  }
  const uint8_t* map = bits();
  for (size_t byte = cursor_ / 8; byte < map_bitmap_bytes; ++byte) {
    if (map[byte] == 0xFF) continue;
    for (int bit = 0; bit < 8; ++bit)
      if ((map[byte] & (0x80 >> bit)) == 0) {
        cursor_ = 8 * byte + bit;
        return cursor_;
      }
  }
  cursor_ = slots_per_region;
  return std::nullopt;
}

template <ndb_bidtype bidtype>
std::optional<size_t> pst_bitmap_page<bidtype>::first_fit(size_t count) const {
  if (count == 0 || count > clear_) return std::nullopt;
  auto start = first_clear_bit();
  if (!start) return std::nullopt;
  const uint8_t* map = bits();
  size_t run = 0;
  for (size_t index = *start; index < slots_per_region;) {
    if (index % 8 == 0) {
      uint8_t byte = map[index / 8];
      if (byte == 0xFF) {
        run = 0;
        index += 8;
        continue;
      }
      if (byte == 0x00 && run + 8 < count) {
        run += 8;
        index += 8;
        continue;
      }
    }
    if (bit(index)) {
      run = 0;
    } else if (++run == count) {
      return index + 1 - count;
    }
    ++index;
  }
  return std::nullopt;
}

// ------------------------------------------------------------------ region index

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::max_tree::push(uint8_t value) {
  if (size_ == leaves_) {
    size_t leaves = leaves_ == 0 ? 64 : 2 * leaves_;
    std::vector<uint8_t> nodes(2 * leaves, 0);
    for (size_t i = 0; i < size_; ++i) nodes[leaves + i] = nodes_[leaves_ + i];
    for (size_t i = leaves - 1; i > 0; --i) nodes[i] = std::max(nodes[2 * i], nodes[2 * i + 1]);
    nodes_ = std::move(nodes);
    leaves_ = leaves;
  }
  set(size_++, value);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::max_tree::set(size_t index, uint8_t value) {
  size_t node = leaves_ + index;
  nodes_[node] = value;
  for (node /= 2; node > 0; node /= 2) {
    uint8_t top = std::max(nodes_[2 * node], nodes_[2 * node + 1]);
    if (nodes_[node] == top) break;
    nodes_[node] = top;
  }
}

template <ndb_bidtype bidtype>
int64_t pst_space_allocator<bidtype>::max_tree::find(size_t from, uint8_t need) const {
  if (from >= size_) return -1;
  return find(1, 0, leaves_, from, need);
}

template <ndb_bidtype bidtype>
int64_t pst_space_allocator<bidtype>::max_tree::find(size_t node, size_t low, size_t high, size_t from,
                                                      uint8_t need) const {
  if (high <= from || nodes_[node] < need) return -1;
  if (high - low == 1) return low < size_ ? static_cast<int64_t>(low) : -1;
  size_t middle = (low + high) / 2;
  int64_t found = find(2 * node, low, middle, from, need);
  return found >= 0 ? found : find(2 * node + 1, middle, high, from, need);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::sync_free_slot_index() {
  uint64_t regions = region_count();
  while (free_slots_.size() < regions) free_slots_.push(recorded_free_slots(free_slots_.size()));
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::record_free_slots(uint64_t region, uint8_t value) {
  sync_free_slot_index();
  if (region < free_slots_.size()) free_slots_.set(region, value);
}

template <ndb_bidtype bidtype>
void pst_fmap<bidtype>::set_value(size_t index, uint8_t value) {
  if (index >= map_bitmap_bytes) throw qm_invalid_arg("FMap index out of range");
  bits()[index] = value;
  this->mark_dirty();
}

// ------------------------------------------------------------------ allocator

template <ndb_bidtype bidtype>
uint64_t pst_space_allocator<bidtype>::region_count() const {
  uint64_t eof = ndb_->header().file_eof();
  if (eof <= first_region_offset) return 0;
  return (eof - first_region_offset) / region_size;
}

template <ndb_bidtype bidtype>
template <typename Map>
std::shared_ptr<Map> pst_space_allocator<bidtype>::map_page(uint64_t offset) {
  auto page = std::dynamic_pointer_cast<Map>(ndb_->get_page(static_cast<bidtype>(offset), Map::kind));
  if (!page) throw qm_invalid_call("page at " + std::to_string(offset) + " is not the expected map page");
  return page;
}

template <ndb_bidtype bidtype>
std::shared_ptr<pst_amap<bidtype>> pst_space_allocator<bidtype>::amap(uint64_t region) {
  if (region >= region_count()) throw qm_invalid_call("AMap " + std::to_string(region) + " does not exist");
  return map_page<pst_amap<bidtype>>(amap_offset(region));
}

template <ndb_bidtype bidtype>
std::shared_ptr<pst_pmap<bidtype>> pst_space_allocator<bidtype>::pmap(uint64_t index) {
  if (8 * index >= region_count()) throw qm_invalid_call("PMap " + std::to_string(index) + " does not exist");
  return map_page<pst_pmap<bidtype>>(pmap_offset(index));
}

template <ndb_bidtype bidtype>
std::shared_ptr<pst_fmap<bidtype>> pst_space_allocator<bidtype>::fmap(uint64_t amap) {
  if (amap < fmap_first_region || fmap_region(amap) >= region_count())
    throw qm_invalid_call("no FMap covers AMap " + std::to_string(amap));
  return map_page<pst_fmap<bidtype>>(fmap_offset(amap));
}

template <ndb_bidtype bidtype>
std::shared_ptr<pst_fpmap<bidtype>> pst_space_allocator<bidtype>::fpmap(uint64_t pmap) {
  if (pmap < fpmap_first_pmap || 8 * fpmap_pmap(pmap) >= region_count())
    throw qm_invalid_call("no FPMap covers PMap " + std::to_string(pmap));
  return map_page<pst_fpmap<bidtype>>(fpmap_offset(pmap));
}

template <ndb_bidtype bidtype>
uint8_t pst_space_allocator<bidtype>::recorded_free_slots(uint64_t region) {
  if (region < fmap_first_region) return ndb_->header().rgbfm(region);
  return fmap(region)->value(region - fmap_region(region));
}

template <ndb_bidtype bidtype>
bool pst_space_allocator<bidtype>::recorded_pmap_full(uint64_t index) {
  if (index < fpmap_first_pmap) return ndb_->header().pmap_full(index);
  return fpmap(index)->bit(index - fpmap_pmap(index));
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::refresh_amap(uint64_t region, const pst_amap<bidtype>& map) {
  uint8_t value = map.free_slot_value();
  if (region < fmap_first_region)
    ndb_->header().set_rgbfm(region, value);
  else
    fmap(region)->set_value(region - fmap_region(region), value);
  record_free_slots(region, value);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::refresh_pmap(uint64_t index, const pst_pmap<bidtype>& map) {
  bool full = map.clear_count() == 0;
  if (index < fpmap_first_pmap)
    ndb_->header().set_pmap_full(index, full);
  else
    fpmap(index)->set_bit(index - fpmap_pmap(index), full);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::set_file_length() {
  ndb_->set_file_length(ndb_->header().file_eof());
}

template <ndb_bidtype bidtype>
uint32_t pst_space_allocator<bidtype>::add_region(region_kind kind) {
  auto& header = ndb_->header();
  uint64_t eof = header.file_eof();
  uint64_t last = header.amap_last();
  if (eof == 0) {
    eof = first_region_offset + region_size;
    last = first_region_offset;
  } else {
    eof += region_size;
    last += region_size;
  }
  if (eof > std::numeric_limits<bidtype>::max())
    throw qm_cwf_error("the file cannot grow past the offsets of its format");
  header.set_file_eof(static_cast<bidtype>(eof));
  header.set_amap_last(static_cast<bidtype>(last));
  uint64_t region = (last - first_region_offset) / region_size;

  auto amap_page = std::make_shared<pst_amap<bidtype>>(ndb_, static_cast<bidtype>(last));
  ndb_->add_page(amap_page);
  auto slot = [&](unsigned index) { return static_cast<bidtype>(last + page_size * index); };
  std::shared_ptr<pst_pmap<bidtype>> new_pmap;
  if (region_has_pmap(region)) {
    new_pmap = std::make_shared<pst_pmap<bidtype>>(ndb_, slot(pmap_slot));
    ndb_->add_page(new_pmap);
  }
  if (region_has_fmap(region)) ndb_->add_page(std::make_shared<pst_fmap<bidtype>>(ndb_, slot(fmap_slot)));
  if (region_has_fpmap(region)) ndb_->add_page(std::make_shared<pst_fpmap<bidtype>>(ndb_, slot(fpmap_slot)));
  // The map slots up to the last one in use stay allocated, an unused one
  // (the FMap slot of an FPMap region) empty.
  unsigned maps = region_map_pages(region);

  if (kind == region_kind::page) {
    current_page_region_ = static_cast<uint32_t>(region);
    auto covering = new_pmap ? new_pmap : pmap(region / 8);
    covering->set_bits((region % 8) * pages_per_region + maps, pages_per_region - maps, false);
    header.set_pmap_free(static_cast<bidtype>(header.pmap_free() + (pages_per_region - maps) * page_size));
    refresh_pmap(region / 8, *covering);
  } else {
    amap_page->set_bits(8 * maps, slots_per_region - 8 * maps, false);
    header.set_amap_free(static_cast<bidtype>(header.amap_free() + (pages_per_region - maps) * page_size));
    if (new_pmap) refresh_pmap(region / 8, *new_pmap);
  }
  refresh_amap(region, *amap_page);
  set_file_length();
  return static_cast<uint32_t>(region);
}

template <ndb_bidtype bidtype>
int64_t pst_space_allocator<bidtype>::find_amap(size_t slots) {
  sync_free_slot_index();
  return free_slots_.find(first_block_region_, static_cast<uint8_t>(std::min<size_t>(slots, 255)));
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::skip_regions_for_testing(uint64_t count) {
  while (region_count() < count) add_region(region_kind::block);
  first_block_region_ = std::max(first_block_region_, count);
}

template <ndb_bidtype bidtype>
bidtype pst_space_allocator<bidtype>::allocate_block_space(size_t size) {
  if (size == 0 || size > max_block_size)
    throw qm_invalid_arg("block space request of " + std::to_string(size) + " bytes");
  size_t slots = (size + block_alignment - 1) / block_alignment;
  size = slots * block_alignment;
  auto& header = ndb_->header();
  // Each pass either allocates or corrects a free-slot value that promised
  // too much; a fresh region always has room.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    int64_t region = find_amap(slots);
    if (region < 0) region = add_region(region_kind::block);
    auto map = amap(region);
    std::optional<size_t> first = map->first_fit(slots);
    if (!first) {
      refresh_amap(region, *map);
      continue;
    }
    map->set_bits(*first, slots, true);
    refresh_amap(region, *map);
    uint64_t free = header.amap_free();
    header.set_amap_free(static_cast<bidtype>(free >= size ? free - size : 0));
    return static_cast<bidtype>(region_offset(region) + block_alignment * *first);
  }
  throw qm_invalid_call("no file space could be found for a block");
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::free_block_space(bidtype offset, size_t size) {
  size_t slots = (size + block_alignment - 1) / block_alignment;
  if (offset < first_region_offset || (offset - first_region_offset) % block_alignment != 0 || slots == 0)
    throw qm_invalid_arg("free_block_space: " + std::to_string(offset) + " is not block space");
  uint64_t region = (offset - first_region_offset) / region_size;
  size_t first = static_cast<size_t>((offset - region_offset(region)) / block_alignment);
  if (region >= region_count() || first < 8 * region_map_pages(region) || first + slots > slots_per_region)
    throw qm_invalid_arg("free_block_space: " + std::to_string(offset) + " is not block space");
  auto map = amap(region);
  map->set_bits(first, slots, false);
  refresh_amap(region, *map);
  auto& header = ndb_->header();
  header.set_amap_free(static_cast<bidtype>(header.amap_free() + slots * block_alignment));
}

template <ndb_bidtype bidtype>
int64_t pst_space_allocator<bidtype>::find_pmap() {
  int found = ndb_->header().find_pmap();
  if (found >= 0) return found;
  uint64_t regions = region_count();
  uint64_t pmaps = (regions + 7) / 8;
  for (uint64_t first = fpmap_first_pmap; first < pmaps; first += map_span) {
    auto map = fpmap(first);
    for (uint64_t j = 0; j < map_span && first + j < pmaps; ++j)
      if (!map->bit(j)) return static_cast<int64_t>(first + j);
  }
  return -1;
}

template <ndb_bidtype bidtype>
bidtype pst_space_allocator<bidtype>::allocate_page() {
  int64_t index = find_pmap();
  if (index < 0) index = add_region(region_kind::page) / 8;
  auto map = pmap(index);
  std::optional<size_t> bit = map->first_clear_bit();
  if (!bit) {
    refresh_pmap(index, *map);
    index = add_region(region_kind::page) / 8;
    map = pmap(index);
    bit = map->first_clear_bit();
    if (!bit) throw qm_cwf_error("no page could be allocated");
  }
  map->set_bit(*bit, true);
  refresh_pmap(index, *map);
  auto& header = ndb_->header();
  uint64_t free = header.pmap_free();
  header.set_pmap_free(static_cast<bidtype>(free >= page_size ? free - page_size : 0));
  return static_cast<bidtype>(region_offset(8 * index) + page_size * *bit);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::free_page(bidtype offset) {
  if (offset < first_region_offset || offset % page_size != 0)
    throw qm_invalid_arg("free_page: " + std::to_string(offset) + " is not a page offset");
  uint64_t region = (offset - first_region_offset) / region_size;
  uint64_t page = (offset - first_region_offset) % region_size / page_size;
  if (page < region_map_pages(region)) throw qm_invalid_arg("free_page: a map page cannot be freed");
  auto map = pmap(region / 8);
  size_t bit = (region % 8) * pages_per_region + page;
  if (!map->bit(bit)) return;
  map->set_bit(bit, false);
  auto& header = ndb_->header();
  header.set_pmap_free(static_cast<bidtype>(header.pmap_free() + page_size));
  refresh_pmap(region / 8, *map);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::take_page(bidtype offset) {
  if (offset < first_region_offset || offset % page_size != 0)
    throw qm_invalid_arg("take_page: " + std::to_string(offset) + " is not a page offset");
  uint64_t region = (offset - first_region_offset) / region_size;
  uint64_t page = (offset - first_region_offset) % region_size / page_size;
  auto map = pmap(region / 8);
  size_t bit = (region % 8) * pages_per_region + page;
  if (map->bit(bit)) return;
  map->set_bit(bit, true);
  auto& header = ndb_->header();
  uint64_t free = header.pmap_free();
  header.set_pmap_free(static_cast<bidtype>(free >= page_size ? free - page_size : 0));
  refresh_pmap(region / 8, *map);
}

template <ndb_bidtype bidtype>
void pst_space_allocator<bidtype>::release_page_region_tail() {
  if (!current_page_region_) return;
  uint64_t region = *current_page_region_;
  uint64_t index = region / 8;
  auto map = pmap(index);
  // The region's share of its PMap: 62 bytes of 8 pages each. Its free tail
  // is the run of all-free bytes at the end of the share.
  constexpr size_t share = pages_per_region / 8;
  const uint8_t* bytes = map->bits() + (region % 8) * share;
  size_t k = share;
  while (k > 0 && bytes[k - 1] == 0) --k;
  if (k == share) return;
  size_t released = share - k;  // bytes of 8 pages
  auto amap_page = amap(region);
  amap_page->set_bits(8 * 8 * k, slots_per_region - 8 * 8 * k, false);
  map->set_bits((region % 8) * pages_per_region + 8 * k, 8 * released, true);
  auto& header = ndb_->header();
  uint64_t moved = released * 8 * page_size;
  header.set_amap_free(static_cast<bidtype>(header.amap_free() + moved));
  uint64_t pfree = header.pmap_free();
  header.set_pmap_free(static_cast<bidtype>(pfree >= moved ? pfree - moved : 0));
  refresh_amap(region, *amap_page);
  refresh_pmap(index, *map);
  set_file_length();
}

template class pst_bitmap_page<uint32_t>;
template class pst_bitmap_page<uint64_t>;
template class pst_fmap<uint32_t>;
template class pst_fmap<uint64_t>;
template class pst_space_allocator<uint32_t>;
template class pst_space_allocator<uint64_t>;

}  // namespace vendrel
