// The format's CRC-32 starts at 0 and is not inverted: it differs from the
// zlib CRC of the same bytes, and all-zero data gives 0.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "common/crc32.h"

namespace vendrel {
namespace {

TEST(Crc32, KnownValues) {
  const char digits[] = "123456789";
  EXPECT_EQ(crc32(digits, 9), 0x2DFD2D88u);
  EXPECT_EQ(crc32(digits, 0), 0u);
  std::vector<uint8_t> zeros(16, 0);
  EXPECT_EQ(crc32(zeros.data(), zeros.size()), 0u);
  std::vector<uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(crc32(all.data(), all.size()), 0x2493092Bu);
}

TEST(Crc32, ContinuesFromARunningValue) {
  const char digits[] = "123456789";
  EXPECT_EQ(crc32(digits + 5, 4, crc32(digits, 5)), crc32(digits, 9));
}

// The eight-bytes-at-a-time path and the carry-less multiplication path
// (64 bytes and up, where the processor has it) against a bit-at-a-time
// reference, at every length across the eight-, 16- and 64-byte steps, every
// start alignment and every way of splitting the input into two calls.
uint32_t bitwise_crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0) {
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc;
}

TEST(Crc32, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment) {
  std::vector<uint8_t> data(8192 + 16);
  uint32_t state = 0x12345678;
  for (uint8_t& b : data) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  for (size_t start = 0; start < 8; ++start) {
    for (size_t size = 0; size <= 200; ++size) {
      ASSERT_EQ(crc32(data.data() + start, size), bitwise_crc32(data.data() + start, size))
          << "start " << start << " size " << size;
      for (size_t split = 0; split <= size; ++split) {
        uint32_t first = crc32(data.data() + start, split);
        ASSERT_EQ(crc32(data.data() + start + split, size - split, first),
                  bitwise_crc32(data.data() + start, size))
            << "start " << start << " size " << size << " split " << split;
      }
    }
  }
  for (size_t size : {4096, 4096 + 13, 8180, 8192})
    EXPECT_EQ(crc32(data.data() + 3, size), bitwise_crc32(data.data() + 3, size)) << "size " << size;
  EXPECT_EQ(crc32(data.data(), 4096, 0xFFFFFFFFu), bitwise_crc32(data.data(), 4096, 0xFFFFFFFFu));
}

}  // namespace
}  // namespace vendrel
