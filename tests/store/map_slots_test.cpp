// Files written through the exported calls, read here from their bytes
// alone with the offsets of [MS-PST] (not the writer's layouts, not the
// walker): every 64-byte slot of every region is compared with its AMap
// bit, every page with its PMap bit, and the header's free totals, NID
// counters and fAMapValid with what the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <sstream>

#include "ndb/walker.h"
#include "store_test_support.h"
#include "vendrel.h"

namespace vendrel::test {
namespace {

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

// The [MS-PST] offsets this test reads, per variant.
struct offsets {
  bool unicode;
  size_t width;                                // BID, IB and B-tree key
  size_t rgnid, ibFileEof, cbAMapFree, cbPMapFree, brefNBT, brefBBT, fAMapValid;  // 2.2.2.6 HEADER
  size_t ptype, cEnt, cbEnt, cLevel;          // 2.2.2.7.1 PAGETRAILER, 2.2.2.7.7.1 BTPAGE
  size_t map_bits;                             // 2.2.2.7.2.1 AMAPPAGE: after dwPadding (ANSI)
  size_t block_trailer;                        // 2.2.2.8.1 BLOCKTRAILER
};
constexpr offsets ansi{false, 4, 36, 168, 176, 180, 184, 192, 200, 500, 496, 498, 499, 4, 12};
constexpr offsets unicode{true, 8, 44, 184, 200, 208, 216, 232, 248, 496, 488, 490, 491, 0, 16};

constexpr uint64_t first_amap = 0x4400, region_bytes = 0x3E000;

uint64_t le(const std::vector<uint8_t>& b, uint64_t at, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t{b.at(at + i)} << (8 * i);
  return v;
}
bool map_bit(const std::vector<uint8_t>& b, uint64_t map_start, size_t index) {
  return (b.at(map_start + index / 8) & (0x80 >> (index % 8))) != 0;
}

// What the file's structures occupy, slot by slot, and what its NBT holds.
struct occupancy {
  std::vector<uint8_t> uses;         // per 64-byte slot from 0x4400: how many structures cover it
  std::vector<std::string> problems;
  std::map<uint32_t, uint32_t> highest_index;  // NID type -> highest index in the NBT
  size_t pages = 0, blocks = 0;
  int bbt_depth = 0, nbt_depth = 0;
};

occupancy occupy(const std::vector<uint8_t>& b, const offsets& o) {
  occupancy occ;
  const uint64_t eof = le(b, o.ibFileEof, o.width);
  const uint64_t regions = (eof - first_amap) / region_bytes;
  occ.uses.assign(regions * 3968, 0);
  auto cover = [&](uint64_t offset, uint64_t size) {
    if (offset < first_amap || offset + size > eof) {
      occ.problems.push_back("structure at " + std::to_string(offset) + " lies outside the regions");
      return;
    }
    for (uint64_t s = (offset - first_amap) / 64; s < (offset - first_amap + size + 63) / 64; ++s) ++occ.uses[s];
  };
  // Map pages at their fixed slots: AMap +0, PMap +0x200 (every 8th
  // region), FMap +0x400 (region 128 and every 496th after), FPMap +0x600
  // (every 8th region from 8192, every 3968th); the slots up to the last
  // one in use are the maps'.
  for (uint64_t r = 0; r < regions; ++r) {
    unsigned pages = 1;
    if (r % 8 == 0) pages = 2;
    if (r >= 128 && (r - 128) % 496 == 0) pages = 3;
    if (r % 8 == 0 && r / 8 >= 1024 && (r / 8 - 1024) % 496 == 0) pages = 4;
    cover(first_amap + r * region_bytes, 512 * pages);
  }
  std::function<void(uint64_t, bool, int, int*)> walk = [&](uint64_t ib, bool bbt, int level, int* depth) {
    cover(ib, 512);
    ++occ.pages;
    const size_t count = b.at(ib + o.cEnt), size = b.at(ib + o.cbEnt), page_level = b.at(ib + o.cLevel);
    EXPECT_EQ(b.at(ib + o.ptype), bbt ? 0x80 : 0x81) << "page at " << ib;
    if (level < 0) *depth = static_cast<int>(page_level) + 1;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t e = ib + i * size;
      if (page_level > 0) {
        walk(le(b, e + 2 * o.width, o.width), bbt, static_cast<int>(page_level) - 1, depth);
      } else if (bbt) {
        const uint64_t block_ib = le(b, e + o.width, o.width), cb = le(b, e + 2 * o.width, 2);
        cover(block_ib, (cb + o.block_trailer + 63) / 64 * 64);
        ++occ.blocks;
      } else {
        const uint32_t nid = static_cast<uint32_t>(le(b, e, 4));
        uint32_t& high = occ.highest_index[nid & 0x1F];
        high = std::max(high, nid >> 5);
      }
    }
  };
  walk(le(b, o.brefBBT + o.width, o.width), true, -1, &occ.bbt_depth);
  walk(le(b, o.brefNBT + o.width, o.width), false, -1, &occ.nbt_depth);
  return occ;
}

// Compares every slot with its AMap bit and every page with its PMap bit;
// one line per disagreement (runs of slots merged).
std::string compare_with_maps(const std::vector<uint8_t>& b, const offsets& o, const occupancy& occ) {
  std::ostringstream out;
  const uint64_t regions = occ.uses.size() / 3968;
  uint64_t amap_free = 0, pmap_free = 0;
  for (uint64_t r = 0; r < regions; ++r) {
    const uint64_t amap = first_amap + r * region_bytes;
    const uint64_t pmap = first_amap + (r / 8 * 8) * region_bytes + 0x200;
    for (size_t i = 0; i < o.map_bits; ++i) {
      if (b.at(amap + i) != 0) out << "AMap " << r << ": padding byte " << i << " is not 0\n";
      if (r % 8 == 0 && b.at(pmap + i) != 0) out << "PMap " << r / 8 << ": padding byte " << i << " is not 0\n";
    }
    for (size_t s = 0; s < 3968; ++s) {
      const uint8_t uses = occ.uses[r * 3968 + s];
      const bool allocated = map_bit(b, amap + o.map_bits, s);
      // A page the PMap offers for B-tree pages is kept allocated in the AMap.
      const bool page_free = !map_bit(b, pmap + o.map_bits, (r % 8) * 496 + s / 8);
      if (!allocated) amap_free += 64;
      if (page_free && s % 8 == 0) pmap_free += 512;
      if (uses > 1) out << "slot " << s << " of region " << r << " is used " << int{uses} << " times\n";
      if (uses && !allocated) out << "slot " << s << " of region " << r << " is used, its AMap bit is clear\n";
      if (uses && page_free) out << "slot " << s << " of region " << r << " is used, its PMap offers the page\n";
      if (!uses && allocated && !page_free) out << "slot " << s << " of region " << r << " is allocated and unused\n";
      if (page_free && !allocated) out << "slot " << s << " of region " << r << " is free in both maps\n";
    }
  }
  if (le(b, o.cbAMapFree, o.width) != amap_free)
    out << "cbAMapFree " << le(b, o.cbAMapFree, o.width) << ", the AMaps have " << amap_free << " bytes free\n";
  if (le(b, o.cbPMapFree, o.width) != pmap_free)
    out << "cbPMapFree " << le(b, o.cbPMapFree, o.width) << ", the PMaps have " << pmap_free << " bytes free\n";
  return out.str();
}

class MapSlots : public ::testing::TestWithParam<bool> {
 protected:
  TempDir dir;
};

// A file of folders, messages with bodies and recipients, small and large
// attachments (a 9 MB one takes a data tree of three levels), and enough
// messages for B-trees of three levels.
void write_file(bool wide, const std::filesystem::path& path) {
  const std::vector<uint8_t> big = [] {
    std::vector<uint8_t> data(9 * 1024 * 1024);
    uint32_t x = 12345;
    for (auto& byte : data) byte = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    return data;
  }();
  auto message = [&](int i) {
    const std::string subject = "Message " + std::to_string(i);
    if (wide) {
      Bind_subj(w(utf16(subject)), 0);
      Bind_body(w(utf16(std::string(200 + 37 * (i % 50), 'b'))));
      Bind_recipient(w(u"to@example.com"), w(u"To"), w(u"SMTP"), 1, 0);
    } else {
      Bind_subjA(subject.c_str(), 0);
      Bind_bodyA(std::string(200 + 37 * (i % 50), 'b').c_str());
      Bind_recipientA("to@example.com", "To", "SMTP", 1, 0);
    }
    if (i % 40 == 0) Bind_attach(big.data(), static_cast<int32_t>(i == 0 ? big.size() : 100000), "a.bin", nullptr, nullptr, nullptr, 1, 0);
    return wide ? CreateMessage(w(u"IPM.Note"), 0, 0) : CreateMessageA("IPM.Note", 0, 0);
  };
  if (wide) {
    ASSERT_EQ(CreatePst(w(utf16(path.string())), w(u"Maps")), 0);
    ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
    for (int f = 0; f < 12; ++f) ASSERT_EQ(CreateFolder(w(u"Inbox"), w(utf16("F" + std::to_string(f))), w(u"IPF.Note")), 0);
    ASSERT_EQ(ChangeFolder(w(u"Inbox")), 0);
  } else {
    ASSERT_EQ(CreatePstA(path.string().c_str(), "Maps"), 0);
    ASSERT_EQ(CreateFolderA("", "Inbox", "IPF.Note"), 0);
    for (int f = 0; f < 12; ++f) ASSERT_EQ(CreateFolderA("Inbox", ("F" + std::to_string(f)).c_str(), "IPF.Note"), 0);
    ASSERT_EQ(ChangeFolderA("Inbox"), 0);
  }
  for (int i = 0; i < 420; ++i) ASSERT_EQ(message(i), 0) << i;
  ASSERT_EQ(wide ? CommitPst() : CommitPstA(), 0);
}

TEST_P(MapSlots, EverySlotAgreesWithItsMapBits) {
  const bool wide = GetParam();
  const offsets& o = wide ? unicode : ansi;
  const auto path = dir / "maps.pst";
  write_file(wide, path);
  const std::vector<uint8_t> b = read_file_bytes(path);
  ASSERT_EQ(le(b, 10, 2), wide ? 23u : 14u);
  const occupancy occ = occupy(b, o);
  EXPECT_TRUE(occ.problems.empty()) << occ.problems.front();
  EXPECT_GE(occ.nbt_depth, 3) << "the NBT has three levels";
  EXPECT_GE(occ.bbt_depth, 2);
  EXPECT_GT(occ.blocks, 1000u);
  EXPECT_EQ(compare_with_maps(b, o, occ), "");

  // fAMapValid is VALID_AMAP2; every NID counter is at least the highest
  // index of its type in the NBT (the folders' tables, types 0x0D..0x10,
  // take their folder's index).
  EXPECT_EQ(b.at(o.fAMapValid), 2);
  ASSERT_TRUE(occ.highest_index.count(0x0D) && occ.highest_index.count(0x0E));
  for (const auto& [type, index] : occ.highest_index)
    EXPECT_GE(le(b, o.rgnid + 4 * type, 4), index) << "rgnid[" << type << "]";

  std::string walked;
  for (const ndb_finding& f : check_file(std::u16string_view(utf16(path.string())))) walked += to_string(f) + "\n";
  EXPECT_EQ(walked, "");
}

INSTANTIATE_TEST_SUITE_P(Variants, MapSlots, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
}  // namespace vendrel::test
