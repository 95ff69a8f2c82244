#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/errors.h"
#include "ndb_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class AMapTest : public ::testing::Test {
 protected:
  void SetUp() override { ndb = create_ndb<bidtype>(path); }
  TempDir dir;
  std::filesystem::path path = dir / "maps.pst";
  std::unique_ptr<pst_ndb<bidtype>> ndb;
};
TYPED_TEST_SUITE(AMapTest, ndb_variants, variant_name);

TEST(RegionGeometry, MapPagesByRegionIndex) {
  struct region_case {
    uint64_t region;
    bool pmap, fmap, fpmap;
    uint64_t offset;
    unsigned reserved;  // pages at the region's start its map slots keep
  };
  const region_case cases[] = {
      {0, true, false, false, 0x4400, 2},
      {1, false, false, false, 0x42400, 1},
      {2, false, false, false, 0x80400, 1},
      {7, false, false, false, 0x4400 + 7 * 0x3E000, 1},
      {8, true, false, false, 0x4400 + 8 * 0x3E000, 2},
      {127, false, false, false, 0x4400 + 127 * 0x3E000, 1},
      {128, true, true, false, 0x1F04400, 3},
      {129, false, false, false, 0x1F04400 + 0x3E000, 1},
      {624, true, true, false, 0x4400 + 624ull * 0x3E000, 3},
      {8192, true, false, true, 0x7C004400, 4},
      {8192 + 496 * 8, true, false, true, 0x4400 + (8192ull + 3968) * 0x3E000, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(region_offset(c.region), c.offset) << c.region;
    EXPECT_EQ(region_has_pmap(c.region), c.pmap) << c.region;
    EXPECT_EQ(region_has_fmap(c.region), c.fmap) << c.region;
    EXPECT_EQ(region_has_fpmap(c.region), c.fpmap) << c.region;
    EXPECT_EQ(region_map_pages(c.region), c.reserved) << c.region;
  }
  // Each map page at its fixed slot: PMap +0x200, FMap +0x400, FPMap +0x600,
  // whether or not the slots before it are in use.
  EXPECT_EQ(fmap_offset(128), 0x1F04800u);
  EXPECT_EQ(fmap_offset(600), 0x1F04800u);
  EXPECT_EQ(fmap_offset(624), region_offset(624) + 0x400);
  EXPECT_EQ(pmap_offset(1), region_offset(8) + 0x200);
  EXPECT_EQ(fpmap_offset(1024), 0x7C004A00u) << "region 8192 has a PMap, no FMap";
  EXPECT_EQ(fpmap_offset(1024 + 495), 0x7C004A00u);
  EXPECT_EQ(fpmap_offset(1024 + 496), region_offset(8192 + 496 * 8) + 0x600);
}

TYPED_TEST(AMapTest, NewFileHasThreeRegions) {
  auto& h = this->ndb->header();
  EXPECT_EQ(h.file_eof(), 0xBE400u);
  EXPECT_EQ(h.amap_last(), 0x80400u);
  EXPECT_EQ(h.amap_free(), 2u * 495 * 512);
  EXPECT_EQ(h.pmap_free(), 494u * 512);
  EXPECT_EQ(h.rgbfm(0), 0) << "region 0 is a page region";
  EXPECT_EQ(h.rgbfm(1), 255);
  EXPECT_EQ(h.rgbfm(2), 255);
  EXPECT_EQ(h.rgbfm(3), 0);
  EXPECT_EQ(h.rgbfp(0), 0x7F) << "PMap 0 has free pages";
  for (size_t i = 1; i < 128; ++i) EXPECT_EQ(h.rgbfp(i), 0xFF);
  EXPECT_EQ(this->ndb->file().size(), 0xBE400u);
  EXPECT_EQ(this->ndb->space().current_page_region(), 0u);
  auto amap1 = this->ndb->space().amap(1);
  EXPECT_EQ(amap1->bid(), 0x42400u) << "map pages take their offset as BID";
  check_maps(*this->ndb);
}

TYPED_TEST(AMapTest, FirstFitPlacement) {
  auto& space = this->ndb->space();
  EXPECT_EQ(space.allocate_page(), 0x4800u) << "after region 0's AMap and PMap";
  EXPECT_EQ(space.allocate_page(), 0x4A00u);
  TypeParam first = space.allocate_block_space(128);  // a 100-byte block, rounded by the caller
  EXPECT_EQ(first, 0x42600u);
  EXPECT_EQ(space.allocate_block_space(64), first + 128);
  EXPECT_EQ(space.allocate_block_space(8192), first + 192);
  EXPECT_EQ(this->ndb->header().amap_free(), 2u * 495 * 512 - 128 - 64 - 8192);
  EXPECT_THROW(space.allocate_block_space(8193), qm_invalid_arg);
  check_maps(*this->ndb);
}

TYPED_TEST(AMapTest, BlockRegionsFillThenTheFileGrows) {
  auto& space = this->ndb->space();
  // Regions 1 and 2 hold 495 pages of block space each: 30 blocks of 8 KiB
  // (16 pages) each, with 120 slots left over.
  std::vector<TypeParam> offsets;
  for (int i = 0; i < 2 * 30; ++i) offsets.push_back(space.allocate_block_space(8192));
  EXPECT_EQ(offsets[0], 0x42600u);
  EXPECT_EQ(offsets[29], 0x42600u + 29 * 8192);
  EXPECT_EQ(offsets[30], 0x80600u) << "region 1 has room for 30 blocks of 8 KiB";
  EXPECT_EQ(this->ndb->header().rgbfm(1), (495 - 30 * 16) * 8);
  // Neither region has 128 free slots left: a block region is added.
  TypeParam grown = space.allocate_block_space(8192);
  EXPECT_EQ(grown, 0xBE400u + 512);
  EXPECT_EQ(this->ndb->header().file_eof(), 0xBE400u + 0x3E000);
  EXPECT_EQ(this->ndb->file().size(), 0xBE400u + 0x3E000);
  // Small requests still fill the gaps of region 1.
  EXPECT_EQ(space.allocate_block_space(64), 0x42600u + 30 * 8192);
  check_maps(*this->ndb);
}

TYPED_TEST(AMapTest, FreedSpaceIsTakenAgainFirstFit) {
  auto& space = this->ndb->space();
  const TypeParam start = 0x42600u;  // region 1's first block slot
  std::vector<TypeParam> blocks;
  for (size_t size : {64, 128, 64, 64}) blocks.push_back(space.allocate_block_space(size));
  EXPECT_EQ(blocks[1], start + 64);
  space.free_block_space(blocks[1], 128);
  // The hole of two slots behind the first block is found again, slot by
  // slot; a request it cannot hold goes past it.
  EXPECT_EQ(space.allocate_block_space(64), start + 64);
  EXPECT_EQ(space.allocate_block_space(128), start + 5 * 64);
  EXPECT_EQ(space.allocate_block_space(64), start + 2 * 64);
  EXPECT_EQ(space.allocate_block_space(64), start + 7 * 64);

  // Regions 1 and 2 filled with 8 KiB blocks: a freed one in region 1 is
  // the first fit for the next 8 KiB block rather than a new region; the
  // one after goes to a new region.
  std::vector<TypeParam> big;
  for (int i = 0; i < 2 * 30; ++i) big.push_back(space.allocate_block_space(8192));
  const uint64_t eof = this->ndb->header().file_eof();
  space.free_block_space(big[10], 8192);
  EXPECT_EQ(space.allocate_block_space(8192), big[10]);
  EXPECT_EQ(this->ndb->header().file_eof(), eof);
  EXPECT_EQ(space.allocate_block_space(8192), eof + 512) << "a new block region";
  check_maps(*this->ndb);
}

TYPED_TEST(AMapTest, PageRegionFillsThenAnotherIsAdded) {
  auto& space = this->ndb->space();
  for (int i = 0; i < 494; ++i) space.allocate_page();
  EXPECT_EQ(this->ndb->header().pmap_free(), 0u);
  EXPECT_TRUE(this->ndb->header().pmap_full(0));
  TypeParam next = space.allocate_page();
  EXPECT_EQ(next, 0xBE400u + 512) << "region 3, a page region, shares PMap 0";
  EXPECT_EQ(space.current_page_region(), 3u);
  EXPECT_EQ(this->ndb->header().rgbfm(3), 0);
  check_maps(*this->ndb);
}

TYPED_TEST(AMapTest, RegionIndexEightHasAPMapAndItsPageRegionUsesIt) {
  auto& space = this->ndb->space();
  for (int i = 3; i <= 8; ++i) EXPECT_EQ(space.add_region(region_kind::block), static_cast<uint32_t>(i));
  auto pmap = this->ndb->get_page(static_cast<TypeParam>(region_offset(8) + 512), page_type::pmap);
  EXPECT_EQ(pmap->offset(), region_offset(8) + 512);
  EXPECT_EQ(this->ndb->header().rgbfm(8), 255) << "block region 8 starts after its AMap and PMap";
  EXPECT_TRUE(this->ndb->header().pmap_full(1));
  space.add_region(region_kind::page);  // region 9, covered by PMap 1
  EXPECT_FALSE(this->ndb->header().pmap_full(1));
  check_maps(*this->ndb);
  this->ndb->commit();
  this->ndb.reset();
  this->ndb = open_ndb<TypeParam>(this->path);
  EXPECT_EQ(check_maps(*this->ndb), 10u);
}

TYPED_TEST(AMapTest, RegionIndex128CarriesAnFMap) {
  auto& space = this->ndb->space();
  while (space.region_count() < 130) space.add_region(region_kind::block);
  auto fmap = this->ndb->get_page(static_cast<TypeParam>(region_offset(128) + 1024), page_type::fmap);
  ASSERT_TRUE(fmap);
  EXPECT_EQ(space.recorded_free_slots(128), 255);
  EXPECT_EQ(space.recorded_free_slots(129), 255);
  EXPECT_EQ(this->ndb->header().rgbfm(127), 255);
  // With every rgbFM slot too small for a request, the FMaps are searched.
  std::vector<TypeParam> taken;
  for (uint64_t region = 1; region < 128; ++region) {
    auto amap = space.amap(region);
    amap->set_bits(8 * region_map_pages(region), slots_per_region - 8 * region_map_pages(region), true);
    this->ndb->header().set_rgbfm(region, 0);
  }
  TypeParam offset = space.allocate_block_space(1024);
  EXPECT_EQ(offset, region_offset(128) + 3 * 512) << "after AMap, PMap and FMap of region 128";
  this->ndb->commit();
  this->ndb.reset();
  this->ndb = open_ndb<TypeParam>(this->path);
  EXPECT_EQ(this->ndb->space().recorded_free_slots(128), 255);
  EXPECT_EQ(this->ndb->space().fmap(129)->value(1), 255);
}

TYPED_TEST(AMapTest, CommitReleasesThePageRegionTail) {
  auto& space = this->ndb->space();
  space.allocate_page();
  space.allocate_page();
  this->ndb->commit();
  auto& h = this->ndb->header();
  // Pages 0..3 used (AMap, PMap, two B-tree pages), 4..7 stay page space,
  // pages 8..495 become block space.
  // Read from the file at the [MS-PST] offsets: an ANSI map page opens
  // with 4 bytes of zero padding, a Unicode one with its map. (Through the
  // open file: on Windows no one else may open it meanwhile.)
  std::vector<uint8_t> bytes(0x4800);
  this->ndb->file().read_at(0, bytes.data(), static_cast<uint32_t>(bytes.size()));
  const size_t padding = sizeof(TypeParam) == 4 ? 4 : 0;
  const uint8_t* pmap = bytes.data() + 0x4600 + padding;
  const uint8_t* amap = bytes.data() + 0x4400 + padding;
  for (size_t byte = 0; byte < padding; ++byte) {
    EXPECT_EQ(bytes[0x4400 + byte], 0) << "AMap padding " << byte;
    EXPECT_EQ(bytes[0x4600 + byte], 0) << "PMap padding " << byte;
  }
  EXPECT_EQ(pmap[0], 0xF0);
  for (size_t byte = 1; byte < 62; ++byte) EXPECT_EQ(pmap[byte], 0xFF) << byte;
  for (size_t byte = 0; byte < 8; ++byte) EXPECT_EQ(amap[byte], 0xFF) << byte;
  for (size_t byte = 8; byte < 496; ++byte) EXPECT_EQ(amap[byte], 0x00) << byte;
  EXPECT_EQ(h.pmap_free(), 4u * 512);
  EXPECT_EQ(h.amap_free(), 2u * 495 * 512 + 61u * 4096);
  EXPECT_EQ(h.rgbfm(0), 255);
  check_maps(*this->ndb);
  // A second commit finds nothing more to release.
  this->ndb->commit();
  EXPECT_EQ(h.pmap_free(), 4u * 512);
  EXPECT_EQ(space.allocate_page(), 0x4C00u) << "page 4 is still page space";
  // The block allocator now uses region 0's tail first.
  EXPECT_EQ(space.allocate_block_space(64), 0x4400u + 8 * 512);
}

TYPED_TEST(AMapTest, FreedPageReturnsToItsPMap) {
  auto& space = this->ndb->space();
  TypeParam page = space.allocate_page();
  EXPECT_THROW(space.free_page(0x4400), qm_invalid_arg) << "a map page";
  space.free_page(page);
  EXPECT_EQ(this->ndb->header().pmap_free(), 494u * 512);
  EXPECT_EQ(space.allocate_page(), page);
  check_maps(*this->ndb);
}

}  // namespace
}  // namespace vendrel::test
