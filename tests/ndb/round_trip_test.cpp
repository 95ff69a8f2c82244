// Whole files written through the node database, read back through its
// read path and checked by the walker: every node's data and subnodes come
// back byte for byte, and the file has no fault the walker can see.
#include <gtest/gtest.h>

#include <fstream>

#include "common/crc32.h"
#include "file_builder.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class RoundTrip : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path path = dir / "round.pst";
};
TYPED_TEST_SUITE(RoundTrip, ndb_variants, variant_name);

// 10,000 data blocks of 1 byte to the largest payload: single-block nodes,
// data trees of one and two levels, stream-written data, nested subnode
// trees (one of 700 entries, so an SIBLOCK), shared data and replaced data
// and subnodes, committed in two rounds.
TYPED_TEST(RoundTrip, TenThousandBlocksReadBackAndWalkClean) {
  constexpr size_t total_blocks = 10000;
  std::map<uint32_t, expected_node> nodes;
  uint64_t regions = 0;
  {
    auto ndb = create_ndb<TypeParam>(this->path);
    file_builder<TypeParam> build(*ndb, 20240501);
    // Two nodes whose data needs an XXBLOCK.
    for (size_t blocks : {ndb_format<TypeParam>::data_tree_limit + 11, size_t{1300}}) {
      expected_node node;
      auto data = build.write_data(blocks, node.data);
      ASSERT_TRUE(data.internal());
      build.add(data, {}, std::move(node));
    }
    // A node with more subnodes than one SLBLOCK holds.
    {
      expected_node node;
      auto data = build.write_data(1, node.data);
      auto sub = build.write_subnodes(700, 1, node.subnodes);
      build.add(data, sub, std::move(node));
    }
    while (build.data_blocks < total_blocks / 2) build.add_random_node();
    for (int i = 0; i < 20; ++i) build.add_sharing_node(build.pick());
    for (int i = 0; i < 40; ++i) build.replace(build.pick());
    ndb->commit();
    // The second round changes pages written by the first commit.
    while (build.data_blocks < total_blocks) build.add_random_node();
    for (int i = 0; i < 20; ++i) build.add_sharing_node(build.pick());
    for (int i = 0; i < 40; ++i) build.replace(build.pick());
    ndb->commit();
    regions = ndb->space().region_count();
    nodes = build.nodes;
  }
  EXPECT_GT(regions, 8u) << "a second PMap";

  auto ndb = open_ndb<TypeParam>(this->path);
  EXPECT_EQ(ndb->nbt().check(), nodes.size());
  EXPECT_GE(ndb->bbt().check(), total_blocks);
  EXPECT_GE(ndb->bbt().depth(), 3u);
  expect_nodes(*ndb, nodes);
  check_maps(*ndb);
  ndb.reset();
  auto findings = check(this->path);
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

// Blocks kept out of the first 128 regions land where an FMap keeps the
// free-slot values (region 128 on); they read back, and the FMap agrees.
TYPED_TEST(RoundTrip, BlocksInTheFMapRegions) {
  std::map<uint32_t, expected_node> nodes;
  {
    auto ndb = create_ndb<TypeParam>(this->path);
    ndb->space().skip_regions_for_testing(fmap_first_region);
    file_builder<TypeParam> build(*ndb, 7);
    {
      expected_node node;
      auto data = build.write_data(1100, node.data);
      build.add(data, {}, std::move(node));
    }
    {
      expected_node node;
      auto data = build.write_data(3, node.data);
      auto sub = build.write_subnodes(400, 1, node.subnodes);
      build.add(data, sub, std::move(node));
    }
    while (build.data_blocks < 2500) build.add_random_node();
    for (int i = 0; i < 10; ++i) build.replace(build.pick());
    ndb->commit();
    ndb->bbt().for_each([&](const bbt_entry<TypeParam>& e) {
      EXPECT_GE(e.bref.ib, region_offset(fmap_first_region)) << e.bref.bid.value();
    });
    EXPECT_GT(ndb->space().region_count(), fmap_first_region + 1);
    nodes = build.nodes;
  }
  auto ndb = open_ndb<TypeParam>(this->path);
  expect_nodes(*ndb, nodes);
  EXPECT_LT(ndb->space().recorded_free_slots(fmap_first_region), 255) << "the FMap records region 128 in use";
  check_maps(*ndb);
  ndb.reset();
  auto findings = check(this->path);
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

std::vector<uint8_t> read_range(const std::filesystem::path& path, uint64_t offset, size_t size) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::vector<uint8_t> out(size);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
  EXPECT_TRUE(in.good()) << "read at " << offset;
  return out;
}

void write_range(const std::filesystem::path& path, uint64_t offset, const std::vector<uint8_t>& data) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  EXPECT_TRUE(out.good()) << "write at " << offset;
}

// Past 2 GB a Unicode file's region 8192, and every 3968th region after it,
// carries an FPMap. It sits at its fixed slot, +0x600, where tools that
// modify such files look for it, although the region has no FMap: the FMap
// slot +0x400 stays allocated and empty. Made quickly (sparse) by keeping
// blocks out of the first regions. Read back from the bytes at the
// [MS-PST] offsets; the walker finds nothing, and finds the FPMap one slot
// early when it is moved there.
TEST(FarRegions, FPMapAtItsFixedSlotPastTheFirstAndTheNext) {
  TempDir dir;
  for (uint64_t region : {uint64_t{8192}, uint64_t{8192 + 496 * 8}}) {
    SCOPED_TRACE("FPMap region " + std::to_string(region));
    const auto path = dir / "far.pst";
    {
      auto ndb = create_ndb<uint64_t>(path);
      ndb->space().skip_regions_for_testing(region + 1);
      file_builder<uint64_t> build(*ndb, 8192);
      while (build.data_blocks < 300) build.add_random_node();
      ndb->commit();
    }
    const uint64_t base = 0x4400 + region * 0x3E000;
    if (region == 8192) {
      EXPECT_EQ(base + 0x600, 0x7C004A00u);
    }
    auto fpmap = read_range(path, base + 0x600, 512);
    EXPECT_EQ(fpmap[496], 0x85) << "ptype";
    EXPECT_EQ(fpmap[497], 0x85) << "ptypeRepeat";
    EXPECT_EQ(get_bytes(fpmap, 504, 8), base + 0x600) << "a map page's BID is its offset";
    EXPECT_EQ(get_bytes(fpmap, 500, 4), crc32(fpmap.data(), 496));
    auto empty = read_range(path, base + 0x400, 512);
    EXPECT_TRUE(std::all_of(empty.begin(), empty.end(), [](uint8_t byte) { return byte == 0; })) << "the FMap slot is empty";
    // AMap (bits from offset 0 in a Unicode page): the four map slots'
    // pages allocated; PMap: the region's first four pages in use.
    auto amap = read_range(path, base, 512);
    EXPECT_EQ(amap[0], 0xFF);
    EXPECT_EQ(amap[1], 0xFF);
    EXPECT_EQ(amap[2], 0xFF);
    EXPECT_EQ(amap[3], 0xFF);
    auto pmap = read_range(path, base + 0x200, 512);
    EXPECT_EQ(pmap[0] & 0xF0, 0xF0);
    auto findings = check(path);
    EXPECT_TRUE(findings.empty()) << describe(findings);

    // The FPMap one slot early, as a writer that packs the map pages
    // would place it.
    auto early = fpmap;
    put_le<uint64_t>(early.data() + 504, base + 0x400);
    put_le<uint32_t>(early.data() + 500, crc32(early.data(), 496));
    write_range(path, base + 0x400, early);
    write_range(path, base + 0x600, std::vector<uint8_t>(512, 0));
    findings = check(path);
    EXPECT_TRUE(std::any_of(findings.begin(), findings.end(), [&](const ndb_finding& f) {
      return f.check == ndb_check::map_page && f.offset == base + 0x600;
    })) << describe(findings);
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace vendrel::test
