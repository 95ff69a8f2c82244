// Whole files written through the node database, read back through its
// read path and checked by the walker: every node's data and subnodes come
// back byte for byte, and the file has no fault the walker can see.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vendrel::test
