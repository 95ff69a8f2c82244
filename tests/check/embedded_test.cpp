// Embedded messages have the shape of the mail client's own
// (rubymsg_msgInMsg.pst): the attachment's PidTagAttachDataObject is a
// PtypObject whose heap item names a subnode of NID type 0x04 of the
// attachment, and that subnode carries a subnode tree of its own with the
// message's recipient table (and attachment table and attachments). The
// checker follows the chain to its end and counts every level.
#include <gtest/gtest.h>

#include "check_support.h"
#include "file_patch.h"

namespace vendrel::test {
namespace {

struct level {
  uint32_t object_nid = 0;    // the subnode PidTagAttachDataObject names
  uint32_t object_size = 0;   // the size the heap item records
  bool own_subnodes = false;  // the embedded message has a subnode tree
  bool recipient_table = false;
  bool attachment_table = false;
};

// Follows the first embedded-message attachment from each message down.
std::vector<level> chain(pst_reader& r, uint64_t bid_sub) {
  std::vector<level> out;
  std::string why;
  for (int depth = 0; depth < 16 && bid_sub; ++depth) {
    auto subs = r.subnodes(bid_sub, why);
    if (!subs) break;
    bool went_down = false;
    for (const auto& [anid, a] : *subs) {
      if ((anid & 0x1F) != 0x05) continue;
      auto blocks = r.data_blocks(a.bid_data, why);
      auto asubs = r.subnodes(a.bid_sub, why);
      if (!blocks || !asubs) continue;
      subnode_access access;
      access.size = [&](uint32_t nid, std::string& w) -> std::optional<uint64_t> {
        auto it = asubs->find(nid);
        if (it == asubs->end()) return std::nullopt;
        return r.data_size(it->second.bid_data, w);
      };
      diag d;
      auto pc = decode_pc(*blocks, access, d);
      if (!pc || pc->i4(0x3705).value_or(0) != 5) continue;
      const pc_property* obj = pc->find(0x3701);
      EXPECT_TRUE(obj && obj->type == 0x000D && obj->bytes.size() == 8);
      if (!obj || obj->bytes.size() != 8) return out;
      level l;
      l.object_nid = obj->bytes[0] | (obj->bytes[1] << 8) | (obj->bytes[2] << 16) | (uint32_t{obj->bytes[3]} << 24);
      l.object_size = obj->bytes[4] | (obj->bytes[5] << 8) | (obj->bytes[6] << 16) | (uint32_t{obj->bytes[7]} << 24);
      auto m = asubs->find(l.object_nid);
      EXPECT_NE(m, asubs->end()) << "the object names no subnode of the attachment";
      if (m == asubs->end()) return out;
      l.own_subnodes = m->second.bid_sub != 0;
      auto msubs = r.subnodes(m->second.bid_sub, why);
      l.recipient_table = msubs && msubs->count(0x692);
      l.attachment_table = msubs && msubs->count(0x671);
      out.push_back(l);
      bid_sub = m->second.bid_sub;
      went_down = true;
      break;
    }
    if (!went_down) break;
  }
  return out;
}

std::vector<level> chains_of(const std::filesystem::path& path) {
  std::vector<level> longest;
  pst_patch file(path);
  for (const auto& [nid, n] : file.reader().nodes()) {
    if ((nid & 0x1F) != 0x04) continue;
    auto c = chain(file.reader(), n.bid_sub);
    if (c.size() > longest.size()) longest = c;
  }
  return longest;
}

TEST(Embedded, TheClientsFileHoldsTheMessageAsASubnodeOfType4) {
  const auto path = outlook_dir / "rubymsg_msgInMsg.pst";
  if (!std::filesystem::exists(path)) GTEST_SKIP();
  TempDir dir;
  std::filesystem::copy_file(path, dir / "client.pst");
  auto c = chains_of(dir / "client.pst");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].object_nid & 0x1F, 0x04u);
  EXPECT_TRUE(c[0].own_subnodes);
  EXPECT_TRUE(c[0].recipient_table);
  EXPECT_GT(c[0].object_size, 0u);
}

class EmbeddedChain : public ::testing::TestWithParam<bool> {};

TEST_P(EmbeddedChain, HasTheClientsShapeAtEveryLevel) {
  TempDir dir;
  const auto path = dir / "chain.pst";
  write_sample(path, GetParam());
  auto c = chains_of(path);
  ASSERT_EQ(c.size(), 3u) << "a message holding three levels";
  for (size_t i = 0; i < c.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c[i].object_nid & 0x1F, 0x04u);
    EXPECT_TRUE(c[i].own_subnodes);
    EXPECT_TRUE(c[i].recipient_table);
    EXPECT_TRUE(c[i].attachment_table) << "each level holds an attachment";
    EXPECT_GT(c[i].object_size, 0u);
  }
  check_report r = check(path);
  EXPECT_EQ(r.findings.size(), 0u) << describe(r);
  EXPECT_EQ(r.messages, 4u + 3u) << "four messages in the folder, three embedded";
}

INSTANTIATE_TEST_SUITE_P(Variants, EmbeddedChain, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "ANSI"; });

}  // namespace
}  // namespace vendrel::test
