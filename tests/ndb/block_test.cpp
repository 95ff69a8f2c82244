#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/crc32.h"
#include "common/errors.h"
#include "ndb_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class BlockTest : public ::testing::Test {
 protected:
  static constexpr bool unicode = sizeof(bidtype) == 8;
  static constexpr size_t max_payload = unicode ? 8176 : 8180;
  void SetUp() override { ndb = create_ndb<bidtype>(dir / "blocks.pst"); }
  std::vector<uint8_t> file_bytes(uint64_t offset, size_t size) {
    std::vector<uint8_t> out(size);
    ndb->read_file(offset, out.data(), size);
    return out;
  }
  TempDir dir;
  std::unique_ptr<pst_ndb<bidtype>> ndb;
};
TYPED_TEST_SUITE(BlockTest, ndb_variants, variant_name);

TYPED_TEST(BlockTest, DiskSizeIsPayloadAndTrailerRoundedTo64) {
  struct size_case {
    size_t payload, ansi, unicode;
  };
  const size_case cases[] = {{1, 64, 64},     {48, 64, 64},     {49, 64, 128},   {52, 64, 128},
                             {53, 128, 128}, {8176, 8192, 8192}, {8180, 8192, 0}};
  for (const auto& c : cases) {
    size_t expected = this->unicode ? c.unicode : c.ansi;
    if (expected == 0) continue;  // beyond the Unicode payload
    auto block = this->ndb->new_block(block_kind::stream);
    auto data = pattern(c.payload, static_cast<uint32_t>(c.payload));
    block->set_data(data.data(), data.size());
    EXPECT_EQ(block->disk_size(), expected) << c.payload;
    block->write();
    // The next block follows right after it.
    auto next = this->ndb->new_block(block_kind::stream);
    next->set_data(data.data(), 1);
    next->write();
    EXPECT_EQ(next->offset(), block->offset() + expected) << c.payload;
    auto entry = this->ndb->lookup_block(block->bid());
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->cb, c.payload);
    EXPECT_EQ(entry->cref, 2) << "the BBT's reference and the one its writer places";
    EXPECT_EQ(entry->bref.ib, block->offset());
  }
}

TYPED_TEST(BlockTest, LargestPayloadAndOneMore) {
  std::vector<uint8_t> data(this->max_payload + 1, 0xAB);
  auto block = this->ndb->new_block(block_kind::stream);
  EXPECT_THROW(block->set_data(data.data(), data.size()), qm_invalid_arg);
  block->set_data(data.data(), this->max_payload);
  EXPECT_EQ(block->disk_size(), 8192u);
  block->write();
}

TYPED_TEST(BlockTest, TrailerAtHandComputedOffsets) {
  const uint8_t payload[5] = {'h', 'e', 'l', 'l', 'o'};
  auto block = this->ndb->new_block(block_kind::stream);
  block->set_data(payload, sizeof payload);
  block_id<TypeParam> bid = block->write();
  EXPECT_EQ(bid.value(), 4u);
  EXPECT_EQ(block->offset(), 0x42600u) << "the first block lands after region 1's AMap";
  auto bytes = this->file_bytes(block->offset(), 64);
  EXPECT_EQ(0, std::memcmp(bytes.data(), payload, sizeof payload)) << "method 0 stores the plain bytes";
  for (size_t i = sizeof payload; i < (this->unicode ? 48u : 52u); ++i) EXPECT_EQ(bytes[i], 0) << i;
  // ComputeSig(0x42600, 4): x = 0x42604, (x >> 16) ^ x = 0x0004 ^ 0x2604.
  const uint16_t sig = 0x2600;
  uint32_t crc = crc32(payload, sizeof payload);
  if (this->unicode) {
    EXPECT_EQ(get_bytes(bytes, 48, 2), 5u);    // cb
    EXPECT_EQ(get_bytes(bytes, 50, 2), sig);   // wSig
    EXPECT_EQ(get_bytes(bytes, 52, 4), crc);   // dwCRC
    EXPECT_EQ(get_bytes(bytes, 56, 8), 4u);    // bid
  } else {
    EXPECT_EQ(get_bytes(bytes, 52, 2), 5u);    // cb
    EXPECT_EQ(get_bytes(bytes, 54, 2), sig);   // wSig
    EXPECT_EQ(get_bytes(bytes, 56, 4), 4u);    // bid
    EXPECT_EQ(get_bytes(bytes, 60, 4), crc);   // dwCRC
  }
}

TYPED_TEST(BlockTest, BidsByKind) {
  auto write = [&](block_kind kind) {
    uint8_t byte = 1;
    return this->ndb->write_block(kind, &byte, 1).value();
  };
  EXPECT_EQ(write(block_kind::data_tree), 6u);
  EXPECT_EQ(write(block_kind::subnode_tree), 10u);
  EXPECT_EQ(write(block_kind::tc_heap), 12u);
  EXPECT_EQ(write(block_kind::pc_heap), 16u);
  EXPECT_EQ(write(block_kind::data_tree), 22u);
  EXPECT_EQ(this->ndb->header().bid_next_b(), 24u);
  EXPECT_TRUE(block_id<TypeParam>(22).internal());
  EXPECT_FALSE(block_id<TypeParam>(16).internal());
}

TYPED_TEST(BlockTest, NidsFromTheHighWaterTable) {
  node_id message = this->ndb->allocate_nid(nid_type::message);
  EXPECT_EQ(message.value(), (0x10001u << 5) | 4);
  EXPECT_EQ(message.type(), 4u);
  EXPECT_EQ(message.index(), 0x10001u);
  EXPECT_EQ(this->ndb->allocate_nid(nid_type::message).value(), message.value() + 32);
  EXPECT_EQ(this->ndb->allocate_nid(nid_type::folder).value(), (0x401u << 5) | 2);
  EXPECT_EQ(this->ndb->new_subnode_nid().value(), (0x401u << 5) | 0x1F);
  EXPECT_EQ(this->ndb->header().rgnid(4), 0x10002u);
  EXPECT_THROW(this->ndb->allocate_nid(32), qm_invalid_arg);
}

TYPED_TEST(BlockTest, StateRules) {
  uint8_t byte = 7;
  auto block = this->ndb->new_block(block_kind::stream);
  EXPECT_THROW(block->write(), qm_invalid_call) << "no data";
  block->set_data(&byte, 1);
  block->write();
  EXPECT_THROW(block->write(), qm_invalid_call) << "written twice";
  EXPECT_THROW(block->set_data(&byte, 1), qm_invalid_call) << "changed after write";
  EXPECT_THROW(block->mutable_data(), qm_invalid_call);

  auto none = this->ndb->new_block(block_kind::none);
  none->set_data(&byte, 1);
  EXPECT_THROW(none->write(), qm_invalid_call) << "kind 0";

  auto empty = this->ndb->new_block(block_kind::stream);
  empty->set_data(&byte, 0);
  EXPECT_THROW(empty->write(), qm_invalid_call) << "empty payload";
  EXPECT_THROW(empty->set_data(nullptr, 5), qm_invalid_arg);
}

TYPED_TEST(BlockTest, ReservedBlocks) {
  auto reserved = this->ndb->new_reserved_block(block_kind::tc_heap);
  block_id<TypeParam> bid = reserved->bid();
  EXPECT_EQ(bid.value(), 4u);
  EXPECT_EQ(reserved->offset(), 0x42600u);
  auto entry = this->ndb->lookup_block(bid);
  ASSERT_TRUE(entry) << "the BBT entry is made at construction";
  EXPECT_EQ(entry->cb, this->max_payload);
  EXPECT_EQ(entry->cref, 2);
  EXPECT_EQ(this->ndb->block_cache().size(), 1u);

  // Blocks written meanwhile go elsewhere.
  uint8_t byte = 1;
  auto other = this->ndb->write_block(block_kind::stream, &byte, 1);
  EXPECT_EQ(other.value(), 8u);
  EXPECT_EQ(this->ndb->lookup_block(other)->bref.ib, 0x42600u + 8192);

  std::vector<uint8_t> data = pattern(this->max_payload, 3);
  EXPECT_THROW(reserved->set_data(data.data(), 100), qm_invalid_arg);
  reserved->set_data(data.data(), data.size());
  EXPECT_EQ(reserved->write(), bid);
  auto loaded = this->ndb->load_block(bid, block_kind::tc_heap);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(0, std::memcmp(loaded->data(), data.data(), data.size()));

  // Reopening a cached block gives the same object.
  EXPECT_EQ(this->ndb->reopen_block(bid, block_kind::tc_heap).get(), reserved.get());
}

TYPED_TEST(BlockTest, ReopenCopiesAStoredBlockIntoANewReservedOne) {
  std::vector<uint8_t> data = pattern(300, 9);
  block_id<TypeParam> bid = this->ndb->write_block(block_kind::pc_heap, data.data(), data.size());
  auto reopened = this->ndb->reopen_block(bid, block_kind::pc_heap);
  ASSERT_TRUE(reopened);
  EXPECT_TRUE(reopened->reserved());
  EXPECT_NE(reopened->bid(), bid);
  EXPECT_EQ(reopened->size(), this->max_payload);
  EXPECT_EQ(0, std::memcmp(reopened->data(), data.data(), data.size()));
  EXPECT_EQ(reopened->data()[300], 0);
  reopened->mutable_data()[0] ^= 0xFF;
  block_id<TypeParam> again = reopened->write();
  auto loaded = this->ndb->load_block(again, block_kind::pc_heap);
  EXPECT_EQ(loaded->data()[0], static_cast<uint8_t>(data[0] ^ 0xFF));
  EXPECT_FALSE(this->ndb->reopen_block(block_id<TypeParam>(0x4000), block_kind::pc_heap));
}

TYPED_TEST(BlockTest, ReferenceCounts) {
  uint8_t byte = 1;
  block_id<TypeParam> bid = this->ndb->write_block(block_kind::stream, &byte, 1);
  EXPECT_EQ(this->ndb->add_block_reference(bid), 3) << "a second referrer";
  EXPECT_EQ(this->ndb->release_block(bid), 3) << "returns the old value";
  EXPECT_EQ(this->ndb->release_block(bid), 2);
  EXPECT_EQ(this->ndb->lookup_block(bid)->cref, 1) << "unreferenced: only the BBT's own reference";
  EXPECT_THROW(this->ndb->release_block(bid), qm_invalid_call) << "a release without a reference";
  EXPECT_EQ(this->ndb->lookup_block(bid)->cref, 1);
  EXPECT_THROW(this->ndb->release_block(block_id<TypeParam>(0x4000)), qm_invalid_call);
  EXPECT_THROW(this->ndb->add_block_reference(block_id<TypeParam>(0x4000)), qm_invalid_call);
}

// A tree block that loses its last referrer drops the references it holds,
// down through every level; a block with another referrer stops the walk.
TYPED_TEST(BlockTest, ReleasingATreeReleasesWhatOnlyItReferences) {
  uint8_t byte = 1;
  auto data = [&] { return this->ndb->write_block(block_kind::stream, &byte, 1); };
  block_id<TypeParam> a = data(), b = data(), shared = data(), inner = data();
  pst_data_tree<TypeParam> tree(this->ndb.get());
  tree.append(a, 1);
  tree.append(shared, 1);
  block_id<TypeParam> xblock = tree.write(2);
  block_id<TypeParam> inner_sub = write_subnode_tree<TypeParam>(*this->ndb, {{node_id(0x3F), inner, {}}});
  this->ndb->add_block_reference(shared);  // a second referrer, below
  block_id<TypeParam> sub = write_subnode_tree<TypeParam>(
      *this->ndb, {{node_id(0x21F), xblock, inner_sub}, {node_id(0x23F), b, {}}, {node_id(0x25F), shared, {}}});
  for (auto bid : {a, b, shared, inner, xblock, inner_sub, sub})
    EXPECT_EQ(this->ndb->lookup_block(bid)->cref, bid == shared ? 3 : 2) << bid.value();
  EXPECT_EQ(this->ndb->release_block(sub), 2);
  for (auto bid : {a, b, inner, xblock, inner_sub, sub}) EXPECT_EQ(this->ndb->lookup_block(bid)->cref, 1) << bid.value();
  EXPECT_EQ(this->ndb->lookup_block(shared)->cref, 1) << "both of its referrers are gone";
}

}  // namespace
}  // namespace vendrel::test
