// Shared pieces of the node-database tests: the two variants as gtest type
// parameters, files in a temporary directory, log capture, and a walk over
// the allocation maps that checks them against the header's summaries.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "ndb/ndb.h"
#include "support/temp_dir.h"

namespace vendrel::test {

using ndb_variants = ::testing::Types<uint32_t, uint64_t>;

struct variant_name {
  template <typename T>
  static std::string GetName(int) {
    return sizeof(T) == 4 ? "Ansi" : "Unicode";
  }
};

inline std::u16string wide(const std::filesystem::path& path) { return utf16(path.string()); }

template <typename bidtype>
std::unique_ptr<pst_ndb<bidtype>> create_ndb(const std::filesystem::path& path,
                                             const external_file_callbacks* external = nullptr) {
  return std::make_unique<pst_ndb<bidtype>>(wide(path), ndb_mode::create, external);
}

template <typename bidtype>
std::unique_ptr<pst_ndb<bidtype>> open_ndb(const std::filesystem::path& path) {
  return std::make_unique<pst_ndb<bidtype>>(wide(path), ndb_mode::open_read);
}

// Sends the library's log to a file while it lives.
class log_capture {
 public:
  explicit log_capture(std::filesystem::path path) : path_(std::move(path)) { logger().open(path_.string(), true); }
  ~log_capture() { logger().close(); }
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;
  std::string text() const { return read_file_text(path_); }
  size_t count(const std::string& needle) const {
    std::string all = text();
    size_t n = 0;
    for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1)) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};

inline uint64_t get_bytes(const std::vector<uint8_t>& data, size_t offset, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(data.at(offset + i)) << (8 * i);
  return value;
}

inline std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& byte : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<uint8_t>(x);
  }
  return data;
}

// Checks every map against the header: each AMap's free-slot value against
// rgbFM (or its FMap), each PMap's full flag against rgbFP, and the free
// byte counts against the clear bits. Returns the number of regions.
template <typename bidtype>
uint64_t check_maps(pst_ndb<bidtype>& ndb) {
  auto& space = ndb.space();
  auto& header = ndb.header();
  uint64_t regions = space.region_count();
  EXPECT_EQ(header.file_eof(), region_offset(regions));
  EXPECT_EQ(header.amap_last(), region_offset(regions - 1));
  uint64_t amap_free = 0, pmap_free = 0;
  for (uint64_t region = 0; region < regions; ++region) {
    auto map = space.amap(region);
    EXPECT_EQ(map->type(), page_type::amap);
    // The longest free run and the clear bits counted here, bit by bit.
    size_t longest = 0, run = 0, clear = 0;
    for (size_t slot = 0; slot < slots_per_region; ++slot) {
      run = map->bit(slot) ? 0 : run + 1;
      longest = std::max(longest, run);
      clear += map->bit(slot) ? 0 : 1;
    }
    EXPECT_EQ(space.recorded_free_slots(region), std::min<size_t>(longest, 255)) << "AMap " << region;
    EXPECT_EQ(map->free_slot_value(), std::min<size_t>(longest, 255)) << "AMap " << region;
    EXPECT_EQ(map->clear_count(), clear) << "AMap " << region;
    amap_free += 64 * clear;
    // The region's map pages stay allocated in every map.
    for (unsigned page = 0; page < region_map_pages(region); ++page) {
      for (unsigned slot = 0; slot < 8; ++slot) EXPECT_TRUE(map->bit(8 * page + slot));
      EXPECT_TRUE(space.pmap(region / 8)->bit((region % 8) * pages_per_region + page));
    }
  }
  for (uint64_t index = 0; 8 * index < regions; ++index) {
    auto pmap = space.pmap(index);
    bool has_free = false;
    size_t clear = 0;
    for (size_t bit = 0; bit < slots_per_region; ++bit) {
      if (!pmap->bit(bit)) {
        has_free = true;
        ++clear;
        pmap_free += 512;
        // A free page is never also free block space.
        uint64_t region = 8 * index + bit / pages_per_region;
        if (region < regions) {
          EXPECT_TRUE(space.amap(region)->bit(8 * (bit % pages_per_region)));
        }
      }
    }
    EXPECT_EQ(space.recorded_pmap_full(index), !has_free) << "PMap " << index;
    EXPECT_EQ(pmap->clear_count(), clear) << "PMap " << index;
  }
  EXPECT_EQ(static_cast<uint64_t>(header.amap_free()), amap_free);
  EXPECT_EQ(static_cast<uint64_t>(header.pmap_free()), pmap_free);
  return regions;
}

}  // namespace vendrel::test
