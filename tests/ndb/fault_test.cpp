// Writes that fail: a commit failing at any of its writes keeps the header
// of the previous commit, the node database stays usable, and a commit
// after the failure gives a clean file; a failed block write leaves no
// trace in the maps.
#include <gtest/gtest.h>

#include <cstring>

#include "common/errors.h"
#include "failing_file.h"
#include "file_builder.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class FaultTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path path = dir / "fault.pst";
};
TYPED_TEST_SUITE(FaultTest, ndb_variants, variant_name);

// Commits and closes the node database, then reopens the file: it holds
// `nodes`, and the walker finds nothing.
template <typename bidtype, typename NdbPointer>
void commit_and_reopen(NdbPointer& ndb, const std::filesystem::path& path,
                       const std::map<uint32_t, expected_node>& nodes) {
  ndb->commit();
  ndb.reset();
  auto reopened = open_ndb<bidtype>(path);
  expect_nodes(*reopened, nodes);
  reopened.reset();
  auto findings = check(path);
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

TYPED_TEST(FaultTest, CommitFailingAtAnyWriteKeepsThePreviousHeader) {
  // The same file each time; the second commit fails at its write k (-1:
  // it does not fail). Returns the number of writes of that commit.
  auto run = [&](int k) {
    failing_file state;
    state.path = this->path.string();
    external_file_callbacks callbacks = failing_callbacks(state);
    auto ndb = create_ndb<TypeParam>(this->path, &callbacks);
    file_builder<TypeParam> build(*ndb, 31);
    while (build.data_blocks < 150) build.add_random_node();
    ndb->commit();
    auto committed = read_file_bytes(this->path);
    const auto committed_nodes = build.nodes;
    // Changes that dirty pages of the first commit and add new ones.
    while (build.data_blocks < 300) build.add_random_node();
    for (int i = 0; i < 5; ++i) build.replace(build.pick());
    int before = state.writes;
    state.fail_at = k < 0 ? -1 : before + k;
    if (k >= 0) {
      try {
        ndb->commit();
        ADD_FAILURE() << "the commit did not fail at its write " << k;
      } catch (const qm_cwf_error& e) {
        EXPECT_EQ(e.code(), -5);
      }
      // The file is the first commit's: its header (the maps perhaps
      // marked for rebuilding, as pages of them were written in place),
      // its nodes, its trees and blocks.
      auto after = read_file_bytes(this->path);
      if (after.size() < header_area_size) {
        ADD_FAILURE() << "the header area is gone";
        return 0;
      }
      using layout = header_layout<TypeParam>;
      const size_t valid = layout::fAMapValid::offset;
      EXPECT_TRUE(after[valid] == 2 || after[valid] == 0) << "write " << k;
      after[valid] = committed[valid];
      for (size_t crc : {layout::dwCRCPartial::offset, ndb_format<TypeParam>::unicode ? size_t{524} : size_t{4}})
        std::memcpy(after.data() + crc, committed.data() + crc, 4);
      EXPECT_EQ(0, std::memcmp(after.data(), committed.data(), header_area_size)) << "write " << k;
      {
        auto previous = open_ndb<TypeParam>(this->path);
        expect_nodes(*previous, committed_nodes);
        EXPECT_EQ(previous->nbt().check(), committed_nodes.size());
      }
      for (const auto& f : check(this->path))
        EXPECT_TRUE(f.check == ndb_check::header && f.offset == valid) << "write " << k << ": " << to_string(f);
      // The same node database commits once the file takes writes again.
      state.fail_at = -1;
    }
    ndb->commit();
    int writes = state.writes - before;
    ndb.reset();
    auto reopened = open_ndb<TypeParam>(this->path);
    expect_nodes(*reopened, build.nodes);
    reopened.reset();
    auto findings = check(this->path);
    EXPECT_TRUE(findings.empty()) << "write " << k << ":\n" << describe(findings);
    return writes;
  };
  const int writes = run(-1);
  ASSERT_GT(writes, 4) << "the commit writes its pages, then the header";
  // The first and second page, pages in between, the last page, the header.
  for (int k : {0, 1, writes / 3, 2 * writes / 3, writes - 2, writes - 1}) run(k);
}

// A block write that fails gives its space back, so that the file has no
// space marked allocated for it; data and subnode trees that fail part-way
// leave their lower blocks unreferenced (cRef 1), and a retry succeeds.
TYPED_TEST(FaultTest, FailedBlockAndTreeWritesLeaveACleanFile) {
  failing_file state;
  state.path = this->path.string();
  external_file_callbacks callbacks = failing_callbacks(state);
  auto ndb = create_ndb<TypeParam>(this->path, &callbacks);
  // Each block straight to the file, so that the failing write is its own.
  ndb->append_buffer().set_capacity(0);
  file_builder<TypeParam> build(*ndb, 5);
  while (build.data_blocks < 50) build.add_random_node();
  auto free_before = ndb->header().amap_free();

  std::vector<uint8_t> data = pattern(3000, 1);
  state.fail_at = state.writes;
  EXPECT_THROW(ndb->write_block(block_kind::stream, data.data(), data.size()), qm_cwf_error);
  EXPECT_EQ(ndb->header().amap_free(), free_before) << "the space went back";

  // An XXBLOCK whose top fails after its XBLOCKs were written.
  constexpr size_t blocks = ndb_format<TypeParam>::data_tree_limit + 1;
  pst_data_tree<TypeParam> tree(ndb.get());
  std::vector<uint8_t> all;
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t byte = static_cast<uint8_t>(i);
    tree.append(ndb->write_block(block_kind::stream, &byte, 1), 1);
    all.push_back(byte);
  }
  state.fail_at = state.writes + 2;  // two XBLOCKs, then the XXBLOCK
  EXPECT_THROW(tree.write(blocks), qm_cwf_error);
  expected_node big{all, {}};
  build.add(tree.write(blocks), {}, big);

  // An SIBLOCK that fails after its SLBLOCKs were written.
  std::vector<expected_subnode> subnodes;
  std::vector<subnode_entry<TypeParam>> entries;
  for (uint32_t i = 0; i < 400; ++i) {
    expected_subnode sub{ndb->new_subnode_nid(), pattern(1 + i % 50, i), {}};
    entries.push_back({sub.nid, ndb->write_block(block_kind::stream, sub.data.data(), sub.data.size()), {}});
    subnodes.push_back(sub);
  }
  state.fail_at = state.writes + 2;
  EXPECT_THROW(write_subnode_tree(*ndb, entries), qm_cwf_error);
  std::vector<uint8_t> first = pattern(10, 10);
  auto first_bid = ndb->write_block(block_kind::stream, first.data(), first.size());
  build.add(first_bid, write_subnode_tree(*ndb, entries), {first, subnodes});

  commit_and_reopen<TypeParam>(ndb, this->path, build.nodes);
}

// Blocks gather in the append buffer and reach the file in large writes. A
// run that fails to reach it, at a commit or when the buffer fills, loses no
// block: a commit writes no header over it, the block whose write found the
// buffer full gives its space back, and the next commit brings every block
// in. Blocks read back before that come from the buffer.
TYPED_TEST(FaultTest, AFailedFlushOfTheAppendBufferLosesNoBlock) {
  for (bool at_commit : {true, false}) {
    SCOPED_TRACE(at_commit ? "the flush at a commit fails" : "the flush of a full buffer fails");
    failing_file state;
    state.path = this->path.string();
    external_file_callbacks callbacks = failing_callbacks(state);
    auto ndb = create_ndb<TypeParam>(this->path, &callbacks);
    ndb->append_buffer().set_capacity(64 * 1024);  // a few blocks fill it
    file_builder<TypeParam> build(*ndb, 11);
    while (build.data_blocks < 60) build.add_random_node();
    ndb->commit();
    EXPECT_TRUE(ndb->append_buffer().empty()) << "the commit flushed the buffer";
    const auto committed_nodes = build.nodes;
    while (build.data_blocks < 90) build.add_random_node();
    for (int i = 0; i < 3; ++i) build.replace(build.pick());  // reads blocks that may be buffered

    // Only the buffer's runs are this large; pages and blocks are smaller.
    state.fail_from_bytes = 0x2400;
    if (at_commit) {
      ASSERT_FALSE(ndb->append_buffer().empty());
      EXPECT_THROW(ndb->commit(), qm_cwf_error);
    } else {
      std::vector<uint8_t> data = pattern(6000, 4);
      const auto free_before = ndb->header().amap_free();
      bool failed = false;
      for (int i = 0; i < 64 && !failed; ++i) {
        try {
          auto bid = ndb->write_block(block_kind::stream, data.data(), data.size());
          build.add(bid, {}, {data, {}});
        } catch (const qm_cwf_error& e) {
          EXPECT_EQ(e.code(), -5);
          failed = true;
        }
      }
      ASSERT_TRUE(failed) << "the buffer never filled";
      EXPECT_FALSE(ndb->append_buffer().empty()) << "the run that did not reach the file is kept";
      EXPECT_LT(ndb->header().amap_free(), free_before);
    }
    {
      // The file is still the last commit's.
      auto previous = open_ndb<TypeParam>(this->path);
      expect_nodes(*previous, committed_nodes);
    }
    // The buffered blocks are readable before they reach the file.
    expect_nodes(*ndb, build.nodes);
    state.fail_from_bytes = 0;
    build.add_random_node();
    commit_and_reopen<TypeParam>(ndb, this->path, build.nodes);
  }
}

// Closing after the last commit flushes the file to stable storage, then
// closes it; a file system that reports a failed write-back at either gives
// qm_cwf_error (-5), never success. The file is closed either way.
TYPED_TEST(FaultTest, CloseReportsAFailedFlushOrClose) {
  struct close_case {
    const char* name;
    bool fail_flush, fail_close;
  };
  for (const close_case& c : {close_case{"both succeed", false, false}, close_case{"the flush fails", true, false},
                              close_case{"the close fails", false, true}}) {
    SCOPED_TRACE(c.name);
    failing_file state;
    state.path = this->path.string();
    external_file_callbacks callbacks = failing_callbacks(state);
    auto ndb = create_ndb<TypeParam>(this->path, &callbacks);
    file_builder<TypeParam> build(*ndb, 5);
    while (build.data_blocks < 40) build.add_random_node();
    ndb->commit();
    EXPECT_EQ(state.flushes, 0) << "a commit alone does not flush";
    state.fail_flush = c.fail_flush;
    state.fail_close = c.fail_close;
    if (c.fail_flush || c.fail_close) {
      try {
        ndb->close();
        ADD_FAILURE() << "close reported success";
      } catch (const qm_cwf_error& e) {
        EXPECT_EQ(e.code(), -5);
      }
    } else {
      EXPECT_NO_THROW(ndb->close());
    }
    EXPECT_EQ(state.flushes, 1);
    EXPECT_EQ(state.closes, 1) << "closed once, whatever the flush gave";
    ndb.reset();
    EXPECT_EQ(state.closes, 1) << "not closed again";
    auto findings = check(this->path);
    EXPECT_TRUE(findings.empty()) << describe(findings);
  }
}

}  // namespace
}  // namespace vendrel::test
