#include "ltp/heap.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "ltp/table_context.h"
#include "ltp_test_support.h"

namespace vendrel::test {
namespace {

TEST(HeapId, EncodesBlockAndOneBasedIndex) {
  struct {
    uint32_t block, index0, hid;
  } cases[] = {{0, 0, 0x20}, {0, 1, 0x40}, {2, 2, (2u << 16) | (3u << 5)}, {7, 0x7FE, (7u << 16) | 0xFFE0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hid);
    EXPECT_EQ(make_hid(c.block, c.index0), c.hid);
    EXPECT_TRUE(is_hid(c.hid));
    EXPECT_EQ(hid_block(c.hid), c.block);
    EXPECT_EQ(hid_index(c.hid), c.index0 + 1);
  }
  EXPECT_FALSE(is_hid(0x3F));  // a subnode NID
  EXPECT_FALSE(is_hid((5u << 5) | 0x1F));
}

TEST(HeapLayout, FirstOffsetsByBlockIndex) {
  struct {
    size_t block;
    uint16_t first;
  } cases[] = {{0, 12}, {1, 2}, {7, 2}, {8, 66}, {9, 2}, {135, 2}, {136, 66}, {264, 66}, {265, 2}};
  for (const auto& c : cases) EXPECT_EQ(heap_first_offset(c.block), c.first) << c.block;
  EXPECT_EQ(governing_bitmap_block(8), 8u);
  EXPECT_EQ(governing_bitmap_block(135), 8u);
  EXPECT_EQ(governing_bitmap_block(136), 136u);
}

TEST(HeapFillLevel, Thresholds) {
  struct {
    size_t used;
    uint8_t level;
  } cases[] = {{0, 0},     {4596, 0},  {4597, 1},  {5619, 1},  {5620, 2},  {6131, 2},  {6132, 3},
               {7924, 10}, {8051, 10}, {8052, 11}, {8163, 13}, {8164, 14}, {8171, 14}, {8172, 15}, {8180, 15}};
  for (const auto& c : cases) EXPECT_EQ(heap_fill_level(c.used), c.level) << c.used;
}

TEST(HeapFillLevel, NibblesLowFirst) {
  uint8_t levels[4] = {};
  put_fill_nibble(levels, 0, 0x3);
  put_fill_nibble(levels, 1, 0xA);
  put_fill_nibble(levels, 6, 0xF);
  EXPECT_EQ(levels[0], 0xA3);
  EXPECT_EQ(levels[3], 0x0F);
  EXPECT_EQ(get_fill_nibble(levels, 1), 0xA);
}

template <typename bidtype>
class HeapBlock : public ::testing::Test {};
TYPED_TEST_SUITE(HeapBlock, ltp_variants, ltp_variant_name);

TYPED_TEST(HeapBlock, SizeLimitOfOneAllocation) {
  using block_t = pst_entries_block<TypeParam>;
  block_t block(hn_first_offset_page);
  std::vector<uint8_t> data(6181, 1);
  EXPECT_NE(block.add_entry(data.data(), 6180), heap_no_room);
  block_t other(hn_first_offset_page);
  EXPECT_THROW(other.add_entry(data.data(), 6181), qm_invalid_arg);
}

TYPED_TEST(HeapBlock, RoomEndsWhereProjectedPageMapMeetsBlockSize) {
  using block_t = pst_entries_block<TypeParam>;
  constexpr size_t bs = heap_block_size<TypeParam>;
  // Fill an empty table block 0 with 6000 bytes, then probe the boundary.
  block_t block(hn_first_offset_hdr);
  std::vector<uint8_t> data(6180, 2);
  ASSERT_EQ(block.add_entry(data.data(), 6000), 0);
  const size_t projected = block.projected_size();
  EXPECT_EQ(projected, 12u + 6000 + 2 * 2 + 4);
  const size_t fits = bs - projected - 3;  // projected + size + 2 < block size
  {
    block_t copy(hn_first_offset_hdr);
    copy.add_entry(data.data(), 6000);
    EXPECT_EQ(copy.add_entry(data.data(), fits + 1), heap_no_room);
    EXPECT_EQ(copy.add_entry(data.data(), fits), 1);
    EXPECT_LE(copy.image().size(), bs);
  }
}

TYPED_TEST(HeapBlock, FreedAllocationKeepsIndexAndCountsInPageMap) {
  using block_t = pst_entries_block<TypeParam>;
  block_t block(hn_first_offset_page);
  auto a = pattern(10, 1), b = pattern(7, 50), c = pattern(4, 90);
  block.add_entry(a.data(), a.size());
  block.add_entry(b.data(), b.size());
  block.add_entry(c.data(), c.size());
  block.free_entry(1);
  EXPECT_EQ(block.entry_count(), 3u);
  EXPECT_EQ(block.entry(1).size(), 0u);
  auto third = block.entry(2);
  EXPECT_EQ(std::vector<uint8_t>(third.begin(), third.end()), c);
  EXPECT_THROW(block.free_entry(3), qm_invalid_arg);

  std::vector<uint8_t> image = block.image();
  const size_t ib = get_le<uint16_t>(image.data());
  EXPECT_EQ(ib, (2u + 10 + 4 + 1) & ~1u);  // last offset 16, even
  EXPECT_EQ(get_le<uint16_t>(image.data() + ib), 3);      // cAlloc
  EXPECT_EQ(get_le<uint16_t>(image.data() + ib + 2), 1);  // cFree
  EXPECT_EQ(image.size(), ib + 4 + 2 * 4);
  // The image loads back to the same allocations.
  block_t loaded(image.data(), image.size());
  auto third_again = loaded.entry(2);
  EXPECT_EQ(std::vector<uint8_t>(third_again.begin(), third_again.end()), c);
}

TYPED_TEST(HeapBlock, PageMapAfterOddEndIsEven) {
  pst_entries_block<TypeParam> block(hn_first_offset_page);
  auto a = pattern(5, 3);
  block.add_entry(a.data(), a.size());
  auto image = block.image();
  EXPECT_EQ(get_le<uint16_t>(image.data()), 8);  // offset 7 rounded up
  EXPECT_EQ(image[7], 0);
  EXPECT_EQ(image.size(), 8u + 4 + 2 * 2);
}

TYPED_TEST(HeapBlock, LoadRejectsMalformedImages) {
  using block_t = pst_entries_block<TypeParam>;
  constexpr size_t bs = heap_block_size<TypeParam>;
  pst_entries_block<TypeParam> good(hn_first_offset_page);
  auto a = pattern(6, 3);
  good.add_entry(a.data(), a.size());
  const std::vector<uint8_t> image = good.image();

  std::vector<uint8_t> too_big(bs + 1, 0);
  EXPECT_THROW(block_t(too_big.data(), too_big.size()), qm_invalid_call);
  auto zero_map = image;
  put_le<uint16_t>(zero_map.data(), 0);
  EXPECT_THROW(block_t(zero_map.data(), zero_map.size()), qm_invalid_call);
  auto beyond = image;
  put_le<uint16_t>(beyond.data(), 200);
  EXPECT_THROW(block_t(beyond.data(), beyond.size()), qm_invalid_call);
  auto decreasing = image;
  put_le<uint16_t>(decreasing.data() + 8 + 4, 9);  // rgibAlloc[0] above rgibAlloc[1]
  EXPECT_THROW(block_t(decreasing.data(), decreasing.size()), qm_invalid_call);
  auto many = image;
  put_le<uint16_t>(many.data() + 8, 40);  // cAlloc beyond the block
  EXPECT_THROW(block_t(many.data(), many.size()), qm_invalid_call);

  std::vector<uint8_t> full(bs, 0);
  std::copy(image.begin(), image.end(), full.begin());
  EXPECT_TRUE(block_t(full.data(), full.size()).full());
  EXPECT_FALSE(block_t(image.data(), image.size()).full());
}

// ---------------------------------------------------------------- multi-block heap

template <typename bidtype>
class MultiBlockHeap : public ::testing::Test {
 protected:
  memory_blocks<bidtype> store;
  std::unique_ptr<pst_entries<bidtype>> heap = std::make_unique<pst_entries<bidtype>>(
      &store, 0x12E, std::make_unique<pst_tc_block<bidtype>>(compute_tc_layout({0x3001001E})));
};
TYPED_TEST_SUITE(MultiBlockHeap, ltp_variants, ltp_variant_name);

TYPED_TEST(MultiBlockHeap, RejectsEmptyOversizedAndUnreadable) {
  uint8_t b[8] = {};
  EXPECT_THROW(this->heap->add_entry(b, 0, false, heap_limit_data), qm_invalid_arg);
  std::vector<uint8_t> big(6181);
  EXPECT_THROW(this->heap->add_entry(big.data(), big.size(), false, heap_limit_data), qm_invalid_arg);
  EXPECT_THROW(this->heap->add_entry(nullptr, 4, false, heap_limit_data), qm_invalid_arg);
}

TYPED_TEST(MultiBlockHeap, AllocationsFillABlockAndMoveOn) {
  auto data = pattern(1000, 9);
  std::vector<uint32_t> hids;
  for (int i = 0; i < 20; ++i) hids.push_back(this->heap->add_entry(data.data(), data.size(), false, heap_limit_data));
  // Block 0 (HNHDR, row index header and TCINFO: 66 bytes) takes 8 of 1000
  // bytes under the 8100 limit (7066 + page map 24 + 1002 = 8092), and so
  // does block 1.
  size_t in_block0 = 0;
  while (in_block0 < hids.size() && hid_block(hids[in_block0]) == 0) ++in_block0;
  EXPECT_EQ(in_block0, 8u);
  EXPECT_EQ(hid_block(hids[15]), 1u);
  EXPECT_EQ(hids[in_block0], make_hid(1, 0));
  EXPECT_EQ(hid_block(hids.back()), 2u);
  EXPECT_EQ(this->heap->block_count(), 3u);
  EXPECT_TRUE(this->heap->block0().full());
  // Block 1 was closed and written when block 2 opened; block 0 waits for commit.
  EXPECT_EQ(this->store.blocks.size(), 1u);
  EXPECT_EQ(this->store.blocks.begin()->second.bytes.size(), heap_block_size<TypeParam>);

  TypeParam data_bid = this->heap->commit();
  auto blocks = this->store.heap_blocks(data_bid);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].size(), heap_block_size<TypeParam>);
  EXPECT_LT(blocks[2].size(), heap_block_size<TypeParam>);
  heap_view<TypeParam> view(blocks);
  for (uint32_t hid : hids) {
    auto bytes = view.at(hid, "test");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), data);
  }
  // Fill levels of blocks 0 and 1 are recorded; the last block's stays 0.
  const uint8_t* levels = hnhdr_layout::rgbFillLevel::at(blocks[0].data());
  EXPECT_EQ(get_fill_nibble(levels, 0), heap_fill_level(this->heap->block_sizes()[0]));
  EXPECT_EQ(get_fill_nibble(levels, 1), heap_fill_level(this->heap->block_sizes()[1]));
  EXPECT_NE(get_fill_nibble(levels, 1), 0);
  EXPECT_EQ(get_fill_nibble(levels, 2), 0);
  EXPECT_THROW(this->heap->commit(), qm_invalid_call);
}

TYPED_TEST(MultiBlockHeap, NewBlockFlagStartsAFreshBlock) {
  auto big = pattern(6000, 1);
  auto leaf = pattern(768, 2);
  EXPECT_EQ(hid_block(this->heap->add_entry(big.data(), big.size(), false, heap_limit_data)), 0u);
  EXPECT_EQ(hid_block(this->heap->add_entry(leaf.data(), leaf.size(), true, heap_limit_leaf)), 1u);
  EXPECT_EQ(hid_block(this->heap->add_entry(leaf.data(), leaf.size(), true, heap_limit_leaf)), 2u);
  EXPECT_EQ(hid_block(this->heap->add_entry(leaf.data(), 10, false, heap_limit_data)), 2u);
}

TYPED_TEST(MultiBlockHeap, NinthBlockCarriesBitmapHeaderWithLevelsOfLaterBlocks) {
  auto data = pattern(6100, 4);
  std::vector<uint32_t> hids;
  // One 6100-byte allocation per block: blocks 0 .. 11.
  for (int i = 0; i < 12; ++i) hids.push_back(this->heap->add_entry(data.data(), data.size(), false, heap_limit_data));
  ASSERT_EQ(hid_block(hids[1]), 1u);
  ASSERT_EQ(hid_block(hids.back()), 11u);
  TypeParam data_bid = this->heap->commit();
  auto blocks = this->store.heap_blocks(data_bid);
  ASSERT_EQ(blocks.size(), 12u);
  heap_view<TypeParam> view(blocks);  // checks each block's first offset
  EXPECT_EQ(view.block(8).offsets().front(), 66);
  EXPECT_EQ(view.block(9).offsets().front(), 2);
  const uint8_t* bitmap = hnbitmaphdr_layout::rgbFillLevel::at(blocks[8].data());
  const auto& sizes = this->heap->block_sizes();
  for (size_t b = 8; b < 11; ++b) EXPECT_EQ(get_fill_nibble(bitmap, b - 8), heap_fill_level(sizes[b])) << b;
  EXPECT_EQ(get_fill_nibble(bitmap, 3), 0);  // block 11 is the last
  const uint8_t* hn = hnhdr_layout::rgbFillLevel::at(blocks[0].data());
  for (size_t b = 0; b < 8; ++b) EXPECT_EQ(get_fill_nibble(hn, b), heap_fill_level(sizes[b])) << b;
  for (size_t i = 0; i < hids.size(); ++i) EXPECT_EQ(view.at(hids[i], "t").size(), 6100u);
  // Every block is written once.
  EXPECT_EQ(this->store.blocks.size(), 12u);
  EXPECT_TRUE(this->store.released.empty());
}

TYPED_TEST(MultiBlockHeap, OneBlockHeapWritesNoFillLevels) {
  auto data = pattern(40, 4);
  this->heap->add_entry(data.data(), data.size(), false, heap_limit_data);
  TypeParam data_bid = this->heap->commit();
  EXPECT_TRUE(this->store.trees.empty());
  const auto& bytes = this->store.blocks.at(data_bid).bytes;
  EXPECT_EQ(get_le<uint32_t>(hnhdr_layout::rgbFillLevel::at(bytes.data())), 0u);
  EXPECT_EQ(this->heap->subnode_bid(), 0u);
}

TYPED_TEST(MultiBlockHeap, SubnodesAreAddedOrReplacedByNid) {
  this->heap->add_subnode(0x3F, 8, 0);
  this->heap->add_subnode(0x7F, 12, 0);
  this->heap->add_subnode(0x3F, 16, 0);
  ASSERT_EQ(this->heap->subnodes().size(), 2u);
  EXPECT_EQ(this->heap->subnodes()[0].data_bid, 16u);
}

}  // namespace
}  // namespace vendrel::test
