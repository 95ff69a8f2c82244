#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb/header.h"
#include "ndb_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
std::vector<uint8_t> serialized(pst_ndb_header<bidtype>& header) {
  std::vector<uint8_t> bytes(header_area_size, 0);
  header.serialize(bytes.data(), bytes.size());
  return bytes;
}

// A field of the header at hand-computed offsets: ANSI offset and width,
// Unicode offset and width, value at creation.
struct header_field {
  const char* name;
  size_t ansi_offset, ansi_width;
  size_t unicode_offset, unicode_width;
  uint64_t initial;
};

const header_field creation_fields[] = {
    {"dwMagic", 0, 4, 0, 4, 0x4E444221},
    {"wMagicClient", 8, 2, 8, 2, 0x4D53},
    {"wVerClient", 12, 2, 12, 2, 19},
    {"bPlatformCreate", 14, 1, 14, 1, 1},
    {"bPlatformAccess", 15, 1, 15, 1, 1},
    {"dwOpenDBID", 16, 4, 16, 4, 0},
    {"dwOpenClaimID", 20, 4, 20, 4, 0},
    {"bidNextB", 24, 4, 516, 8, 4},
    {"bidNextP", 28, 4, 32, 8, 4},
    {"dwUnique", 32, 4, 40, 4, 0},
    {"rgnid[0]", 36, 4, 44, 4, 0x400},
    {"rgnid[2]", 44, 4, 52, 4, 0x400},
    {"rgnid[3]", 48, 4, 56, 4, 0x4000},
    {"rgnid[4]", 52, 4, 60, 4, 0x10000},
    {"rgnid[8]", 68, 4, 76, 4, 0x8000},
    {"rgnid[31]", 160, 4, 168, 4, 0x400},
    {"root.libFileEof", 168, 4, 184, 8, 0},
    {"root.brefNBT", 184, 4, 216, 8, 0},
    {"root.brefBBT", 192, 4, 232, 8, 0},
    {"root.fAMapValid", 200, 1, 248, 1, 0},
    {"rgbFM[0]", 204, 1, 256, 1, 0},
    {"rgbFP[0]", 332, 1, 384, 1, 0xFF},
    {"rgbFP[127]", 459, 1, 511, 1, 0xFF},
    {"bSentinel", 460, 1, 512, 1, 0x80},
    {"bCryptMethod", 461, 1, 513, 1, 0},
};

template <typename bidtype>
class HeaderTest : public ::testing::Test {
 protected:
  static constexpr bool unicode = sizeof(bidtype) == 8;
  static size_t offset(const header_field& f) { return unicode ? f.unicode_offset : f.ansi_offset; }
  static size_t width(const header_field& f) { return unicode ? f.unicode_width : f.ansi_width; }
  TempDir dir;
};
TYPED_TEST_SUITE(HeaderTest, ndb_variants, variant_name);

TYPED_TEST(HeaderTest, CreationValuesAtTheirOffsets) {
  pst_ndb_header<TypeParam> header;
  EXPECT_TRUE(header.dirty());
  auto bytes = serialized(header);
  EXPECT_FALSE(header.dirty());
  for (const auto& f : creation_fields)
    EXPECT_EQ(get_bytes(bytes, this->offset(f), this->width(f)), f.initial) << f.name;
  EXPECT_EQ(get_bytes(bytes, 10, 2), this->unicode ? 23u : 14u) << "wVer";
  for (size_t i = 0; i < 128; ++i) {
    EXPECT_EQ(bytes[(this->unicode ? 256 : 204) + i], 0) << "rgbFM " << i;
    EXPECT_EQ(bytes[(this->unicode ? 384 : 332) + i], 0xFF) << "rgbFP " << i;
  }
  for (uint32_t type = 0; type < 32; ++type) {
    uint32_t expected = type == 3 ? 0x4000 : type == 4 ? 0x10000 : type == 8 ? 0x8000 : 0x400;
    EXPECT_EQ(header.rgnid(type), expected) << "rgnid " << type;
  }
  // Only the kept bytes are copied: the rest of the buffer stays zero.
  for (size_t i = pst_ndb_header<TypeParam>::kept_size; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TYPED_TEST(HeaderTest, OtherFileKindsAreMarkedSO) {
  pst_ndb_header<TypeParam> header(2);
  auto bytes = serialized(header);
  EXPECT_EQ(get_bytes(bytes, 8, 2), 0x4F53u);
  EXPECT_EQ(get_bytes(bytes, 12, 2), 11u);
}

TYPED_TEST(HeaderTest, CrcsCoverTheirRanges) {
  pst_ndb_header<TypeParam> header;
  header.set_file_eof(0xBE400);
  header.set_rgnid(4, 0x10007);
  auto bytes = serialized(header);
  EXPECT_EQ(get_bytes(bytes, 4, 4), crc32(bytes.data() + 8, 471));
  if (this->unicode) {
    EXPECT_EQ(get_bytes(bytes, 524, 4), crc32(bytes.data() + 8, 516));
  }

  // bidNextB lies inside the ANSI partial CRC (offset 24) but beyond it in
  // the Unicode header (offset 516), where only the full CRC covers it.
  uint32_t partial = static_cast<uint32_t>(get_bytes(bytes, 4, 4));
  header.set_bid_next_b(0x100);
  EXPECT_TRUE(header.dirty());
  auto again = serialized(header);
  if (this->unicode) {
    EXPECT_EQ(get_bytes(again, 4, 4), partial);
    EXPECT_NE(get_bytes(again, 524, 4), get_bytes(bytes, 524, 4));
  } else {
    EXPECT_NE(get_bytes(again, 4, 4), partial);
  }
}

TYPED_TEST(HeaderTest, SettersWriteTheirOffsets) {
  struct setter_case {
    const char* name;
    std::function<void(pst_ndb_header<TypeParam>&)> set;
    size_t ansi_offset, unicode_offset;
    size_t ansi_width, unicode_width;
    uint64_t value;
  };
  using B = block_id<TypeParam>;
  const setter_case cases[] = {
      {"bidNextB", [](auto& h) { h.set_bid_next_b(0x1234); }, 24, 516, 4, 8, 0x1234},
      {"bidNextP", [](auto& h) { h.set_bid_next_p(0x5678); }, 28, 32, 4, 8, 0x5678},
      {"root.libFileEof", [](auto& h) { h.set_file_eof(0xBE400); }, 168, 184, 4, 8, 0xBE400},
      {"root.libAMapLast", [](auto& h) { h.set_amap_last(0x80400); }, 172, 192, 4, 8, 0x80400},
      {"root.lcbAMapFree", [](auto& h) { h.set_amap_free(506880); }, 176, 200, 4, 8, 506880},
      {"root.lcbPMapFree", [](auto& h) { h.set_pmap_free(252928); }, 180, 208, 4, 8, 252928},
      {"root.brefNBT.bid", [](auto& h) { h.set_bref_nbt({B(0x21), 0x4A00}); }, 184, 216, 4, 8, 0x21},
      {"root.brefNBT.ib", [](auto& h) { h.set_bref_nbt({B(0x21), 0x4A00}); }, 188, 224, 4, 8, 0x4A00},
      {"root.brefBBT.bid", [](auto& h) { h.set_bref_bbt({B(0x22), 0x4C00}); }, 192, 232, 4, 8, 0x22},
      {"root.brefBBT.ib", [](auto& h) { h.set_bref_bbt({B(0x22), 0x4C00}); }, 196, 240, 4, 8, 0x4C00},
      {"root.fAMapValid", [](auto& h) { h.set_amap_valid(2); }, 200, 248, 1, 1, 2},
      {"rgnid[5]", [](auto& h) { h.set_rgnid(5, 0x401); }, 56, 64, 4, 4, 0x401},
      {"rgbFM[1]", [](auto& h) { h.set_rgbfm(1, 255); }, 205, 257, 1, 1, 255},
      {"rgbFP[0]", [](auto& h) { h.set_rgbfp(0, 0x7F); }, 332, 384, 1, 1, 0x7F},
  };
  for (const auto& c : cases) {
    pst_ndb_header<TypeParam> header;
    serialized(header);
    c.set(header);
    EXPECT_TRUE(header.dirty()) << c.name;
    auto bytes = serialized(header);
    size_t offset = this->unicode ? c.unicode_offset : c.ansi_offset;
    size_t width = this->unicode ? c.unicode_width : c.ansi_width;
    EXPECT_EQ(get_bytes(bytes, offset, width), c.value) << c.name;
  }
}

TYPED_TEST(HeaderTest, FreeMapSearches) {
  pst_ndb_header<TypeParam> header;
  EXPECT_EQ(header.find_pmap(), -1) << "every PMap counts as full in a new header";
  EXPECT_EQ(header.find_amap(64), -1);
  header.set_rgbfm(3, 2);
  header.set_rgbfm(7, 200);
  EXPECT_EQ(header.find_amap(64), 3);
  EXPECT_EQ(header.find_amap(128), 3);
  EXPECT_EQ(header.find_amap(192), 7);
  EXPECT_EQ(header.find_amap(8192), 7);
  header.set_pmap_full(13, false);
  EXPECT_EQ(header.rgbfp(1), 0xFB);  // bit 13: byte 1, third bit from the top
  EXPECT_EQ(header.find_pmap(), 13);
  header.set_pmap_full(2, false);
  EXPECT_EQ(header.find_pmap(), 2);
  header.set_pmap_full(2, true);
  EXPECT_EQ(header.find_pmap(), 13);
}

TYPED_TEST(HeaderTest, StoredHeaderIsDumpedToTheLog) {
  pst_ndb_header<TypeParam> created;
  created.set_file_eof(0xBE400);
  created.set_bref_bbt({block_id<TypeParam>(0x1A), 0x4800});
  created.set_rgbfm(1, 255);
  auto bytes = serialized(created);
  std::string log_text;
  {
    log_capture log(this->dir / "dump.log");
    pst_ndb_header<TypeParam> read(bytes.data(), bytes.size());
    EXPECT_FALSE(read.dirty());
    EXPECT_EQ(read.file_eof(), 0xBE400u);
    log_text = log.text();
  }
  auto has = [&](const std::string& line) {
    EXPECT_NE(log_text.find(line + "\n"), std::string::npos) << "missing line: " << line;
  };
  has("[PST]     NDB header dump ------------------------------------------");
  has("[PST]        dwMagic                                    = 4E444221");
  has(std::string("[PST]        wVer                                       = ") + (this->unicode ? "0017" : "000E"));
  has("[PST]        bidNextB                                   = 00000004");
  has("[PST]        root.libFileEof                            = 779264");
  has("[PST]        root.brefBBT                               = <1A @18432>");
  has("[PST]        bSentinel                                  = 80");
  has("[PST]        bCryptMethod                               = 0");
  has("[PST]        NID High Water Table:");
  has("[PST]           0:      400    1:      400    2:      400    3:     4000");
  has("[PST]        AMap Free Slots Table:");
  std::string zeros11, ff11;
  for (int i = 0; i < 11; ++i) zeros11 += "   0", ff11 += " FF";
  has("[PST]           0 255    0    0    0" + zeros11);
  has("[PST]        PMap Free Slots Table:");
  has("[PST]         FF FF  FF  FF  FF" + ff11);
  has("[PST]     END NDB header dump --------------------------------------");
  if (this->unicode) {
    has("[PST]        dwCRCFull                                  = " + [&] {
      char text[16];
      std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(get_bytes(bytes, 4, 4)));
      return std::string(text);
    }());
  }
  EXPECT_EQ(log_text.find("header corrupt"), std::string::npos);
}

TYPED_TEST(HeaderTest, CorruptStoredHeaderIsLoggedNotRejected) {
  pst_ndb_header<TypeParam> created;
  auto bytes = serialized(created);
  bytes[100] ^= 0x5A;  // inside rgnid, covered by both CRCs
  log_capture log(this->dir / "corrupt.log");
  pst_ndb_header<TypeParam> read(bytes.data(), bytes.size());
  EXPECT_EQ(log.count("[PST] header corrupt: actual crc = "), 1u);
  EXPECT_EQ(log.count("[PST] header corrupt: actual partial crc = "), this->unicode ? 1u : 0u);
  char expected[96];
  std::snprintf(expected, sizeof expected, "[PST] header corrupt: actual crc = %08X, computed = %08X",
                static_cast<uint32_t>(get_bytes(bytes, 4, 4)), crc32(bytes.data() + 8, 471));
  EXPECT_EQ(log.count(expected), 1u);
}

}  // namespace
}  // namespace vendrel::test
