#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/errors.h"
#include "ndb_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class DataTreeTest : public ::testing::Test {
 protected:
  using format = ndb_format<bidtype>;
  static constexpr size_t chunk = format::max_block_payload;
  static constexpr size_t limit = format::data_tree_limit;
  void SetUp() override { ndb = create_ndb<bidtype>(path); }
  void reopen() {
    ndb->commit();
    ndb.reset();
    ndb = open_ndb<bidtype>(path);
  }
  ref<pst_xstream<bidtype>> stream() { return make_ref<pst_xstream<bidtype>>(ndb.get()); }
  // The XBLOCK / XXBLOCK fields of an internal block.
  struct xblock {
    uint8_t btype, level;
    uint16_t count;
    uint32_t total;
    std::vector<bidtype> bids;
  };
  xblock read_xblock(block_id<bidtype> bid) {
    auto block = ndb->load_block(bid, block_kind::data_tree);
    EXPECT_TRUE(block);
    const uint8_t* p = block->data();
    xblock x{p[0], p[1], static_cast<uint16_t>(p[2] | p[3] << 8),
             static_cast<uint32_t>(p[4] | p[5] << 8 | p[6] << 16 | static_cast<uint32_t>(p[7]) << 24),
             {}};
    for (size_t i = 0; i < x.count; ++i) x.bids.push_back(get_le<bidtype>(p + 8 + i * sizeof(bidtype)));
    EXPECT_EQ(block->size(), 8 + x.count * sizeof(bidtype));
    return x;
  }
  TempDir dir;
  std::filesystem::path path = dir / "data.pst";
  std::unique_ptr<pst_ndb<bidtype>> ndb;
};
TYPED_TEST_SUITE(DataTreeTest, ndb_variants, variant_name);

TYPED_TEST(DataTreeTest, SizesAtTheBlockBoundariesRoundTrip) {
  const size_t c = this->chunk, l = this->limit;
  struct size_case {
    size_t size;
    int levels;  // 0: one data block (or none), 1: XBLOCK, 2: XXBLOCK
    size_t piece;  // write in pieces of this size (0: all at once)
  };
  const size_case cases[] = {
      {0, 0, 0},     {1, 0, 0},         {c - 1, 0, 1000}, {c, 0, 0},       {c + 1, 1, 0},
      {c + 1, 1, 3000}, {3 * c + 17, 1, 777}, {l * c, 1, 0},  {l * c + 1, 2, 0},
  };
  std::vector<std::pair<node_id, std::vector<uint8_t>>> written;
  uint32_t seed = 1;
  for (const auto& k : cases) {
    std::vector<uint8_t> data = pattern(k.size, seed++);
    auto s = this->stream();
    if (k.piece == 0) {
      s->write(data.data(), data.size());
    } else {
      for (size_t at = 0; at < data.size(); at += k.piece)
        s->write(data.data() + at, std::min(k.piece, data.size() - at));
    }
    EXPECT_EQ(s->size(), k.size);
    block_id<TypeParam> bid = s->commit();
    EXPECT_EQ(s->commit(), bid) << "an unchanged stream commits to the same BID";
    if (k.size == 0) {
      EXPECT_FALSE(bid);
    } else if (k.levels == 0) {
      EXPECT_FALSE(bid.internal()) << k.size;
    } else {
      ASSERT_TRUE(bid.internal()) << k.size;
      auto top = this->read_xblock(bid);
      EXPECT_EQ(top.btype, 1);
      EXPECT_EQ(top.level, k.levels) << k.size;
      EXPECT_EQ(top.total, k.size);
      if (k.size == c + 1) {
        EXPECT_EQ(top.count, 2);
      }
      if (k.size == l * c) {
        EXPECT_EQ(top.count, l);
      }
      if (k.levels == 2) {
        ASSERT_EQ(top.count, 2);
        auto first = this->read_xblock(block_id<TypeParam>(top.bids[0]));
        auto second = this->read_xblock(block_id<TypeParam>(top.bids[1]));
        EXPECT_EQ(first.level, 1);
        EXPECT_EQ(first.count, l);
        EXPECT_EQ(first.total, l * c);
        EXPECT_EQ(second.count, 1);
        EXPECT_EQ(second.total, 1u);
      }
    }
    node_id nid = this->ndb->allocate_nid(nid_type::message);
    this->ndb->add_node(nid, bid, {}, node_id(0x122));
    written.emplace_back(nid, std::move(data));
  }
  this->reopen();
  for (const auto& [nid, data] : written) {
    auto node = this->ndb->lookup_node(nid);
    ASSERT_TRUE(node);
    EXPECT_EQ(read_node_data(*this->ndb, node->bid_data), data) << data.size();
    auto s = pst_xstream<TypeParam>::open(this->ndb.get(), node->bid_data);
    EXPECT_EQ(s->size(), data.size());
    std::vector<uint8_t> back(data.size() + 10);
    EXPECT_EQ(s->read(back.data(), back.size()), data.size());
    back.resize(data.size());
    EXPECT_EQ(back, data);
    EXPECT_TRUE(s->at_end());
  }
  check_maps(*this->ndb);
}

TYPED_TEST(DataTreeTest, AppendingToAPartialChunkRewritesIt) {
  auto s = this->stream();
  auto data = pattern(200, 5);
  s->write(data.data(), 50);
  s->write(data.data() + 50, 50);
  block_id<TypeParam> first = s->commit();
  node_id nid = this->ndb->allocate_nid(nid_type::message);
  this->ndb->add_node(nid, first, {}, node_id(0x122));
  s->write(data.data() + 100, 100);
  block_id<TypeParam> second = s->commit();
  EXPECT_NE(first, second);
  EXPECT_FALSE(second.internal()) << "still one block";
  EXPECT_EQ(this->ndb->lookup_block(first)->cref, 2) << "the node still refers to it";
  this->ndb->add_node(nid, second, {}, node_id(0x122));
  this->ndb->release_block(first);
  EXPECT_EQ(this->ndb->lookup_block(first)->cref, 1);
  EXPECT_EQ(this->ndb->lookup_block(second)->cref, 2);
  EXPECT_EQ(this->ndb->lookup_block(second)->cb, 200);
  EXPECT_EQ(read_node_data(*this->ndb, second), data);
}

TYPED_TEST(DataTreeTest, OverwriteInsideAndRewriteOfATree) {
  const size_t c = this->chunk;
  auto data = pattern(3 * c, 11);
  auto s = this->stream();
  s->write(data.data(), data.size());
  block_id<TypeParam> tree = s->commit();
  auto before = this->read_xblock(tree);
  // Overwrite bytes across the border of chunks 0 and 1.
  std::vector<uint8_t> patch(100, 0xEE);
  EXPECT_EQ(s->write_at(c - 50, patch.data(), patch.size()), c + 50);
  std::copy(patch.begin(), patch.end(), data.begin() + (c - 50));
  block_id<TypeParam> rewritten = s->commit();
  EXPECT_NE(rewritten, tree);
  auto after = this->read_xblock(rewritten);
  EXPECT_NE(after.bids[0], before.bids[0]);
  EXPECT_NE(after.bids[1], before.bids[1]);
  EXPECT_EQ(after.bids[2], before.bids[2]);
  auto cref = [&](TypeParam bid) { return this->ndb->lookup_block(block_id<TypeParam>(bid))->cref; };
  EXPECT_EQ(cref(before.bids[0]), 2) << "the old XBLOCK still refers to the old chunk";
  EXPECT_EQ(cref(before.bids[2]), 3) << "both XBLOCKs refer to the unchanged chunk";
  // The holder of the old top (a node) releases it when it takes the new one.
  this->ndb->release_block(tree);
  EXPECT_EQ(cref(tree.value()), 1);
  EXPECT_EQ(cref(before.bids[0]), 1);
  EXPECT_EQ(cref(before.bids[1]), 1);
  EXPECT_EQ(cref(before.bids[2]), 2);
  for (TypeParam bid : after.bids) EXPECT_EQ(cref(bid), 2);
  EXPECT_EQ(cref(rewritten.value()), 2);
  EXPECT_EQ(s->size(), 3 * c);
  std::vector<uint8_t> back(3 * c);
  EXPECT_EQ(s->read_at(0, back.data(), back.size()), 3 * c);
  EXPECT_EQ(back, data);
  EXPECT_EQ(read_node_data(*this->ndb, rewritten), data);
}

TYPED_TEST(DataTreeTest, StreamRules) {
  auto s = this->stream();
  auto data = pattern(300, 2);
  s->write(data.data(), data.size());
  EXPECT_EQ(s->chunk_size(), this->chunk);
  EXPECT_EQ(s->position(), 300u);
  EXPECT_TRUE(s->at_end());
  EXPECT_EQ(s->seek(1000), 300u) << "clamped to the size";
  EXPECT_THROW(s->write_at(301, data.data(), 1), qm_invalid_call);
  EXPECT_NO_THROW(s->set_size(300));
  EXPECT_THROW(s->set_size(200), qm_invalid_call);
  EXPECT_THROW(s->set_size(400), qm_invalid_call);
  uint8_t byte = 0;
  EXPECT_EQ(s->read_at(301, &byte, 1), 0u);
  EXPECT_EQ(s->read_at(299, &byte, 1), 1u);
  EXPECT_EQ(byte, data[299]);
  EXPECT_THROW(s->write(nullptr, 5), qm_invalid_arg);
  EXPECT_THROW(s->read(nullptr, 5), qm_invalid_arg);
}

TYPED_TEST(DataTreeTest, DataTreeObject) {
  pst_data_tree<TypeParam> tree(this->ndb.get());
  EXPECT_THROW(tree.write(0), qm_invalid_call);
  uint8_t byte = 1;
  auto a = this->ndb->write_block(block_kind::tc_heap, &byte, 1);
  auto b = this->ndb->write_block(block_kind::tc_heap, &byte, 1);
  tree.append(a, 1);
  tree.append(b, 1);
  EXPECT_TRUE(tree.dirty());
  EXPECT_THROW(tree.replace(2, a), qm_invalid_arg);
  EXPECT_THROW(tree.bid(2), qm_invalid_arg);
  auto top = tree.write(2);
  EXPECT_FALSE(tree.dirty());
  EXPECT_EQ(tree.top(), top);
  auto loaded = pst_data_tree<TypeParam>::load(this->ndb.get(), top);
  EXPECT_EQ(loaded.count(), 2u);
  EXPECT_EQ(loaded.bid(1), b);
  EXPECT_EQ(loaded.total_size(), 2u);
  // A stored lcbTotal that disagrees with the blocks is rejected on load.
  pst_data_tree<TypeParam> wrong(this->ndb.get());
  wrong.append(a, 1);
  auto bad = wrong.write(5);
  EXPECT_THROW(pst_data_tree<TypeParam>::load(this->ndb.get(), bad), qm_invalid_call);
}

template <typename bidtype>
std::vector<subnode_entry<bidtype>> make_subnodes(size_t count, bool reversed) {
  std::vector<subnode_entry<bidtype>> entries;
  for (size_t i = 0; i < count; ++i)
    entries.push_back({node_id(static_cast<uint32_t>(((0x400 + i) << 5) | 0x1F)),
                       block_id<bidtype>(static_cast<bidtype>(4 * (i + 1))),
                       block_id<bidtype>(static_cast<bidtype>(i % 2 ? 4 * i + 2 : 0))});
  if (reversed) std::reverse(entries.begin(), entries.end());
  return entries;
}

TYPED_TEST(DataTreeTest, SubnodeTreesRoundTrip) {
  struct subnode_case {
    size_t count;
    int level;  // -1: nothing written
    size_t children;
  };
  const subnode_case cases[] = {{0, -1, 0}, {1, 0, 1}, {340, 0, 340}, {341, 1, 2}, {1000, 1, 3}};
  std::vector<std::pair<block_id<TypeParam>, size_t>> written;
  for (const auto& c : cases) {
    auto entries = make_subnodes<TypeParam>(c.count, c.count % 2 == 1);
    block_id<TypeParam> bid = write_subnode_tree(*this->ndb, entries);
    if (c.level < 0) {
      EXPECT_FALSE(bid);
      continue;
    }
    ASSERT_TRUE(bid.internal());
    auto block = this->ndb->load_block(bid, block_kind::subnode_tree);
    const uint8_t* p = block->data();
    EXPECT_EQ(p[0], 0x02);
    EXPECT_EQ(p[1], c.level);
    EXPECT_EQ(get_le<uint16_t>(p + 2), c.children);
    size_t header = sizeof(TypeParam) == 4 ? 4 : 8;
    size_t entry = c.level == 0 ? 3 * sizeof(TypeParam) : 2 * sizeof(TypeParam);
    EXPECT_EQ(block->size(), header + entry * c.children);
    if (c.count == 341) {
      // Two SLBLOCKs of 340 and 1 entries; the SIENTRY keys are their first NIDs.
      auto second = this->ndb->load_block(block_id<TypeParam>(get_le<TypeParam>(p + header + entry + sizeof(TypeParam))),
                                          block_kind::subnode_tree);
      EXPECT_EQ(get_le<uint16_t>(second->data() + 2), 1u);
      EXPECT_EQ(get_le<uint32_t>(p + header + entry), ((0x400u + 340) << 5) | 0x1F);
    }
    written.emplace_back(bid, c.count);
  }
  this->reopen();
  for (const auto& [bid, count] : written) {
    auto entries = read_subnode_tree(*this->ndb, bid);
    EXPECT_EQ(entries, make_subnodes<TypeParam>(count, false)) << count;
    auto found = find_subnode(*this->ndb, bid, node_id(((0x400u + static_cast<uint32_t>(count) - 1) << 5) | 0x1F));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->bid_data.value(), 4 * count);
  }
  EXPECT_TRUE(read_subnode_tree(*this->ndb, block_id<TypeParam>()).empty());
}

TYPED_TEST(DataTreeTest, SubnodeRewriteReleasesThePreviousTree) {
  uint8_t byte = 1;
  auto data = [&] { return this->ndb->write_block(block_kind::stream, &byte, 1); };
  auto cref = [&](block_id<TypeParam> bid) { return this->ndb->lookup_block(bid)->cref; };
  std::vector<subnode_entry<TypeParam>> entries;
  for (uint32_t i = 0; i < 3; ++i) entries.push_back({node_id(((0x400 + i) << 5) | 0x1F), data(), {}});
  const auto old_second = entries[1].bid_data;
  block_id<TypeParam> first = write_subnode_tree(*this->ndb, entries);
  entries[1].bid_data = data();
  block_id<TypeParam> sub = write_subnode_tree<TypeParam>(*this->ndb, {{node_id(0x3F), data(), {}}});
  entries.push_back(entries[0]);  // a repeated NID keeps its last entry
  entries.back().bid_sub = sub;
  block_id<TypeParam> second = write_subnode_tree(*this->ndb, entries, first);
  EXPECT_EQ(cref(first), 1) << "the previous tree is left without referrers";
  EXPECT_EQ(cref(old_second), 1) << "the entry the new tree dropped";
  for (const auto& e : entries) EXPECT_EQ(cref(e.bid_data), 2) << "carried over or new: one referrer";
  EXPECT_EQ(cref(sub), 2);
  auto back = read_subnode_tree(*this->ndb, second);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].bid_sub, sub);
  EXPECT_EQ(back[1].bid_data, entries[1].bid_data);
  EXPECT_FALSE(write_subnode_tree(*this->ndb, {}, second)) << "no entries, no tree";
  EXPECT_EQ(cref(second), 1);
  for (const auto& e : entries) EXPECT_EQ(cref(e.bid_data), 1);
  EXPECT_EQ(cref(sub), 1);
  EXPECT_THROW(write_subnode_tree(*this->ndb, make_subnodes<TypeParam>(340 * 340 + 1, false)), qm_invalid_call);
}

}  // namespace
}  // namespace vendrel::test
