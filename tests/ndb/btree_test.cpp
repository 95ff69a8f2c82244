#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class BTreeTest : public ::testing::Test {
 protected:
  using format = ndb_format<bidtype>;
  static constexpr bool unicode = sizeof(bidtype) == 8;
  void SetUp() override { ndb = create_ndb<bidtype>(path); }
  void reopen() {
    ndb.reset();
    ndb = open_ndb<bidtype>(path);
  }
  std::vector<uint8_t> file_page(uint64_t offset) {
    std::vector<uint8_t> page(512);
    ndb->read_file(offset, page.data(), page.size());
    return page;
  }
  block_id<bidtype> write_small_block(uint8_t value) {
    return ndb->write_block(block_kind::stream, &value, 1);
  }
  std::shared_ptr<pst_bbt_page<bidtype>> bbt_page(const block_ref<bidtype>& bref) {
    return std::dynamic_pointer_cast<pst_bbt_page<bidtype>>(ndb->get_page(bref.ib, page_type::bbt));
  }
  std::shared_ptr<pst_nbt_page<bidtype>> nbt_page(const block_ref<bidtype>& bref) {
    return std::dynamic_pointer_cast<pst_nbt_page<bidtype>>(ndb->get_page(bref.ib, page_type::nbt));
  }
  TempDir dir;
  std::filesystem::path path = dir / "trees.pst";
  std::unique_ptr<pst_ndb<bidtype>> ndb;
};
TYPED_TEST_SUITE(BTreeTest, ndb_variants, variant_name);

TYPED_TEST(BTreeTest, BbtGrowsAtItsRightEdge) {
  const size_t limit = this->unicode ? 16 : 39;
  for (size_t i = 0; i < limit; ++i) this->write_small_block(1);
  EXPECT_EQ(this->ndb->bbt().depth(), 1u);
  EXPECT_EQ(this->bbt_page(this->ndb->bbt().root())->count(), limit);
  this->write_small_block(2);  // the 40th (ANSI) or 17th (Unicode) entry
  EXPECT_EQ(this->ndb->bbt().depth(), 2u);
  auto root = this->bbt_page(this->ndb->bbt().root());
  ASSERT_EQ(root->count(), 2u);
  EXPECT_EQ(root->level(), 1u);
  auto first = this->bbt_page(root->internal_entry(0).bref);
  auto second = this->bbt_page(root->internal_entry(1).bref);
  EXPECT_EQ(first->count(), limit);
  EXPECT_EQ(second->count(), 1u);
  EXPECT_EQ(root->internal_entry(1).key, second->key(0));
  EXPECT_EQ(this->ndb->bbt().check(), limit + 1);
}

TYPED_TEST(BTreeTest, BbtOfThreeLevelsIsFoundAfterReopen) {
  // ANSI: 39 per leaf, 34 per internal page; Unicode: 16 and 16.
  const size_t count = this->unicode ? 300 : 1400;
  std::vector<std::pair<block_id<TypeParam>, uint8_t>> written;
  for (size_t i = 0; i < count; ++i) {
    auto value = static_cast<uint8_t>(i * 31);
    written.emplace_back(this->write_small_block(value), value);
  }
  EXPECT_EQ(this->ndb->bbt().depth(), 3u);
  EXPECT_EQ(this->ndb->bbt().check(), count);
  this->ndb->commit();
  this->reopen();
  EXPECT_EQ(this->ndb->bbt().depth(), 3u);
  EXPECT_EQ(this->ndb->bbt().check(), count);
  for (const auto& [bid, value] : written) {
    auto block = this->ndb->load_block(bid, block_kind::stream);
    ASSERT_TRUE(block) << bid.value();
    ASSERT_EQ(block->size(), 1u);
    EXPECT_EQ(block->data()[0], value);
  }
  EXPECT_FALSE(this->ndb->lookup_block(block_id<TypeParam>(written.back().first.value() + 4)));
  EXPECT_THROW(this->ndb->lookup_block(block_id<TypeParam>(2)), qm_invalid_arg)
      << "a BID below the first key of the root";
  check_maps(*this->ndb);
}

TYPED_TEST(BTreeTest, BbtLeafEntryLayout) {
  block_id<TypeParam> bid = this->write_small_block(9);
  this->ndb->add_block_reference(bid);
  this->ndb->commit();
  auto root = this->ndb->bbt().root();
  EXPECT_EQ(root.ib, 0x4800u) << "the first B-tree page: region 0, after its AMap and PMap";
  EXPECT_EQ(root.bid.value(), 4u) << "the first page BID";
  auto page = this->file_page(root.ib);
  // Entry 0 at offset 0: BREF (bid, ib), cb, cRef.
  if (this->unicode) {
    EXPECT_EQ(get_bytes(page, 0, 8), bid.value());
    EXPECT_EQ(get_bytes(page, 8, 8), 0x42600u);
    EXPECT_EQ(get_bytes(page, 16, 2), 1u);
    EXPECT_EQ(get_bytes(page, 18, 2), 3u);
    EXPECT_EQ(get_bytes(page, 20, 4), 0u);
  } else {
    EXPECT_EQ(get_bytes(page, 0, 4), bid.value());
    EXPECT_EQ(get_bytes(page, 4, 4), 0x42600u);
    EXPECT_EQ(get_bytes(page, 8, 2), 1u);
    EXPECT_EQ(get_bytes(page, 10, 2), 3u);
  }
}

// Page trailer and BTPAGE counts at hand-computed offsets.
TYPED_TEST(BTreeTest, PageTrailerAndCounts) {
  this->write_small_block(1);
  this->ndb->add_node(node_id(0x21), block_id<TypeParam>(4), {}, {});
  this->ndb->commit();
  struct page_case {
    block_ref<TypeParam> bref;
    uint8_t ptype, ansi_max, ansi_size, unicode_max, unicode_size;
  };
  const page_case cases[] = {{this->ndb->bbt().root(), 0x80, 41, 12, 20, 24},
                             {this->ndb->nbt().root(), 0x81, 31, 16, 15, 32}};
  for (const auto& c : cases) {
    auto page = this->file_page(c.bref.ib);
    uint64_t x = (c.bref.ib ^ c.bref.bid.value()) & 0xFFFFFFFF;
    uint64_t sig = ((x >> 16) ^ x) & 0xFFFF;
    if (this->unicode) {
      EXPECT_EQ(page[488], 1) << "cEnt";
      EXPECT_EQ(page[489], c.unicode_max) << "cEntMax";
      EXPECT_EQ(page[490], c.unicode_size) << "cbEnt";
      EXPECT_EQ(page[491], 0) << "cLevel";
      EXPECT_EQ(get_bytes(page, 492, 4), 0u) << "dwPadding";
      EXPECT_EQ(page[496], c.ptype);
      EXPECT_EQ(page[497], c.ptype);
      EXPECT_EQ(get_bytes(page, 498, 2), sig);
      EXPECT_EQ(get_bytes(page, 500, 4), crc32(page.data(), 496));
      EXPECT_EQ(get_bytes(page, 504, 8), c.bref.bid.value());
    } else {
      EXPECT_EQ(page[496], 1) << "cEnt";
      EXPECT_EQ(page[497], c.ansi_max) << "cEntMax";
      EXPECT_EQ(page[498], c.ansi_size) << "cbEnt";
      EXPECT_EQ(page[499], 0) << "cLevel";
      EXPECT_EQ(page[500], c.ptype);
      EXPECT_EQ(page[501], c.ptype);
      EXPECT_EQ(get_bytes(page, 502, 2), sig);
      EXPECT_EQ(get_bytes(page, 504, 4), c.bref.bid.value());
      EXPECT_EQ(get_bytes(page, 508, 4), crc32(page.data(), 500));
    }
  }
  // NBT leaf entry: nid (bidtype wide), bidData, bidSub, nidParent.
  auto nbt = this->file_page(this->ndb->nbt().root().ib);
  size_t w = sizeof(TypeParam);
  EXPECT_EQ(get_bytes(nbt, 0, w), 0x21u);
  EXPECT_EQ(get_bytes(nbt, w, w), 4u);
  EXPECT_EQ(get_bytes(nbt, 2 * w, w), 0u);
  EXPECT_EQ(get_bytes(nbt, 3 * w, 4), 0u);
  // The header records both roots.
  std::vector<uint8_t> header(600);
  this->ndb->read_file(0, header.data(), header.size());
  size_t nbt_at = this->unicode ? 216 : 184, bbt_at = this->unicode ? 232 : 192;
  EXPECT_EQ(get_bytes(header, nbt_at, w), this->ndb->nbt().root().bid.value());
  EXPECT_EQ(get_bytes(header, nbt_at + w, w), this->ndb->nbt().root().ib);
  EXPECT_EQ(get_bytes(header, bbt_at, w), this->ndb->bbt().root().bid.value());
  EXPECT_EQ(get_bytes(header, bbt_at + w, w), this->ndb->bbt().root().ib);
}

TYPED_TEST(BTreeTest, FullNbtLeafSplitsInHalvesAtTheNextInsert) {
  const size_t limit = this->unicode ? 13 : 26;
  for (uint32_t i = 1; i <= limit; ++i) this->ndb->add_node(node_id(i * 32 + 2), {}, {}, {});
  EXPECT_EQ(this->ndb->nbt().depth(), 1u) << "a full root leaf waits for the next insert";
  EXPECT_EQ(this->nbt_page(this->ndb->nbt().root())->count(), limit);
  this->ndb->add_node(node_id(1000 * 32 + 2), {}, {}, {});
  EXPECT_EQ(this->ndb->nbt().depth(), 2u);
  auto root = this->nbt_page(this->ndb->nbt().root());
  ASSERT_EQ(root->count(), 2u);
  EXPECT_EQ(this->nbt_page(root->internal_entry(0).bref)->count(), limit / 2);
  EXPECT_EQ(this->nbt_page(root->internal_entry(1).bref)->count(), limit - limit / 2 + 1);
  EXPECT_EQ(this->ndb->nbt().check(), limit + 1);
}

TYPED_TEST(BTreeTest, SmallestNidGoesToTheFirstChildAndRewritesItsKey) {
  const size_t limit = this->unicode ? 13 : 26;
  for (uint32_t i = 0; i <= limit; ++i) this->ndb->add_node(node_id(0x10000 + i * 32), {}, {}, {});
  ASSERT_EQ(this->ndb->nbt().depth(), 2u);
  this->ndb->add_node(node_id(0x22), block_id<TypeParam>(8), {}, node_id(0x122));
  auto root = this->nbt_page(this->ndb->nbt().root());
  EXPECT_EQ(root->internal_entry(0).key, 0x22u);
  EXPECT_EQ(this->nbt_page(root->internal_entry(0).bref)->key(0), 0x22u);
  EXPECT_EQ(this->ndb->lookup_node(node_id(0x22))->bid_data.value(), 8u);
  this->ndb->nbt().check();
}

TYPED_TEST(BTreeTest, ReplacingANodeKeepsTheCount) {
  for (uint32_t i = 1; i <= 5; ++i) this->ndb->add_node(node_id(i * 32 + 4), block_id<TypeParam>(4 * i), {}, {});
  this->ndb->add_node(node_id(3 * 32 + 4), block_id<TypeParam>(400), block_id<TypeParam>(402), node_id(0x122));
  auto root = this->nbt_page(this->ndb->nbt().root());
  EXPECT_EQ(root->count(), 5u);
  auto entry = this->ndb->lookup_node(node_id(3 * 32 + 4));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->bid_data.value(), 400u);
  EXPECT_EQ(entry->bid_sub.value(), 402u);
  EXPECT_EQ(entry->nid_parent.value(), 0x122u);
}

TYPED_TEST(BTreeTest, NbtInRandomOrderWithReplacementsIsFoundAfterReopen) {
  const uint32_t count = 3000;
  std::vector<uint32_t> nids;
  for (uint32_t i = 0; i < count; ++i) nids.push_back(((0x400 + i) << 5) | (i % 3 == 0 ? 2 : 4));
  std::mt19937 random(7);
  std::shuffle(nids.begin(), nids.end(), random);
  std::map<uint32_t, nbt_entry<TypeParam>> expected;
  for (uint32_t nid : nids) {
    nbt_entry<TypeParam> entry{node_id(nid), block_id<TypeParam>(nid * 4), block_id<TypeParam>(nid * 4 + 2),
                               node_id(nid % 5)};
    this->ndb->add_node(entry.nid, entry.bid_data, entry.bid_sub, entry.nid_parent);
    expected[nid] = entry;
  }
  // Replace every seventh node.
  for (size_t i = 0; i < nids.size(); i += 7) {
    uint32_t nid = nids[i];
    expected[nid].bid_data = block_id<TypeParam>(8);
    this->ndb->add_node(node_id(nid), block_id<TypeParam>(8), expected[nid].bid_sub, expected[nid].nid_parent);
  }
  EXPECT_GE(this->ndb->nbt().depth(), 3u);
  EXPECT_EQ(this->ndb->nbt().check(), count);
  this->ndb->commit();
  this->reopen();
  EXPECT_EQ(this->ndb->nbt().check(), count);
  for (const auto& [nid, entry] : expected) {
    auto found = this->ndb->lookup_node(node_id(nid));
    ASSERT_TRUE(found) << nid;
    EXPECT_EQ(found->bid_data, entry.bid_data);
    EXPECT_EQ(found->bid_sub, entry.bid_sub);
    EXPECT_EQ(found->nid_parent, entry.nid_parent);
  }
  EXPECT_FALSE(this->ndb->lookup_node(node_id(0x21)));
  EXPECT_FALSE(this->ndb->lookup_node(node_id(0xFFFFFFE4)));
  // for_each visits the nodes in NID order.
  std::vector<uint32_t> visited;
  this->ndb->nbt().for_each([&](const nbt_entry<TypeParam>& e) { visited.push_back(e.nid.value()); });
  EXPECT_EQ(visited.size(), count);
  EXPECT_TRUE(std::is_sorted(visited.begin(), visited.end()));
  check_maps(*this->ndb);
}

TYPED_TEST(BTreeTest, BbtRemoveAndDuplicates) {
  std::vector<block_id<TypeParam>> bids;
  for (int i = 0; i < 60; ++i) bids.push_back(this->write_small_block(1));
  EXPECT_THROW(this->ndb->bbt().add(bids[5], 0x42600, 1, 1), qm_invalid_arg);
  for (size_t i : {0, 10, 39, 59}) {
    EXPECT_TRUE(this->ndb->bbt().remove(bids[i]));
    EXPECT_FALSE(this->ndb->bbt().remove(bids[i]));
  }
  EXPECT_FALSE(this->ndb->lookup_block(bids[10]));
  EXPECT_FALSE(this->ndb->lookup_block(bids[39]));
  EXPECT_TRUE(this->ndb->lookup_block(bids[1]));
  EXPECT_TRUE(this->ndb->lookup_block(bids[40]));
  EXPECT_EQ(this->ndb->bbt().check(), 56u);
  // Inserting keeps working after removals.
  this->write_small_block(2);
  EXPECT_EQ(this->ndb->bbt().check(), 57u);
}

TYPED_TEST(BTreeTest, PageClassAndLevelChecks) {
  this->write_small_block(1);
  this->ndb->add_node(node_id(0x21), {}, {}, {});
  auto bbt_root = this->ndb->bbt().root();
  EXPECT_THROW(this->ndb->get_page(bbt_root.ib, page_type::nbt), qm_invalid_call);
  EXPECT_THROW(this->ndb->get_page(bbt_root.ib + 1, page_type::bbt), qm_invalid_arg);
  auto leaf = this->bbt_page(bbt_root);
  EXPECT_THROW(leaf->insert_internal(0, {}), qm_invalid_call);
  EXPECT_THROW(leaf->set_leaf_entry(5, {}), qm_invalid_arg);
  EXPECT_THROW(leaf->truncate(5), qm_invalid_arg);
  bbt_entry<TypeParam> entry{{block_id<TypeParam>(1000), 0}, 1, 1};
  for (size_t i = leaf->count(); i < leaf->max_entries(); ++i)
    leaf->insert_leaf(i, {{block_id<TypeParam>(1000 + 4 * i), 0}, 1, 1});
  EXPECT_THROW(leaf->insert_leaf(0, entry), qm_invalid_call) << "at cEntMax";
}

}  // namespace
}  // namespace vendrel::test
