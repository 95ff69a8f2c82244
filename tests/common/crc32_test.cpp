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

}  // namespace
}  // namespace vendrel
