// Corruption planted in a written file, one kind per node-level structure:
// each gives an ERROR in its area, and the file's other structures stay as
// they were (block and page CRCs are set again). Also the three encodings:
// a written file re-encoded with permute or cyclic still checks clean.
#include <gtest/gtest.h>

#include <functional>

#include "check_support.h"
#include "file_patch.h"

namespace vendrel::test {
namespace {

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The [begin, end) of the allocation a HID names in a one-block heap.
std::pair<size_t, size_t> allocation(const std::vector<uint8_t>& block, uint32_t hid) {
  diag d;
  auto heap = decode_heap({block}, d);
  EXPECT_TRUE(heap && heap->valid(hid)) << std::hex << hid;
  if (!heap || !heap->valid(hid)) return {0, 0};
  return heap->allocations[hid >> 16][((hid >> 5) & 0x7FF) - 1];
}

uint32_t first_of_type(pst_reader& r, uint32_t type, const std::function<bool(const pst_node&)>& also = {}) {
  for (const auto& [nid, n] : r.nodes())
    if ((nid & 0x1F) == type && (!also || also(n))) return nid;
  ADD_FAILURE() << "no node of type " << type;
  return 0;
}

// The PC record array of a one-block PC: [begin, end).
std::pair<size_t, size_t> pc_records(const std::vector<uint8_t>& block) {
  auto [hb, he] = allocation(block, get32(block.data() + 4));
  return allocation(block, get32(block.data() + hb + 4));
}

// The data BID of the innermost embedded message below `nid`.
uint64_t innermost_embedded(pst_reader& r, uint64_t bid_sub, int& depth) {
  std::string why;
  auto subs = r.subnodes(bid_sub, why);
  for (const auto& [snid, s] : *subs) {
    if ((snid & 0x1F) != 0x05) continue;
    auto asubs = r.subnodes(s.bid_sub, why);
    for (const auto& [mnid, m] : *asubs) {
      if ((mnid & 0x1F) != 0x04) continue;
      ++depth;
      int deeper = depth;
      uint64_t inner = innermost_embedded(r, m.bid_sub, deeper);
      if (deeper > depth) {
        depth = deeper;
        return inner;
      }
      return m.bid_data;
    }
  }
  return 0;
}

struct planted {
  const char* name;
  check_area area;
  const char* message_part;  // a word the ERROR's message holds
  std::function<void(pst_patch&)> plant;
};

const std::vector<planted>& planted_cases() {
  static const std::vector<planted> cases = {
      {"heap signature", check_area::heaps_tables, "heap signature",
       [](pst_patch& p) {
         p.edit_block(p.reader().node(0x21)->bid_data, [](std::vector<uint8_t>& b) { b[2] = 0x00; });
       }},
      {"heap page map", check_area::heaps_tables, "ibHnpm",
       [](pst_patch& p) {
         uint32_t folder = first_of_type(p.reader(), 0x02, [](const pst_node& n) { return n.parent != n.nid; });
         p.edit_block(p.reader().node(folder)->bid_data, [](std::vector<uint8_t>& b) { b[0] = 0xF1, b[1] = 0xFF; });
       }},
      {"BTH header", check_area::heaps_tables, "BTH signature",
       [](pst_patch& p) {
         uint32_t message = first_of_type(p.reader(), 0x04);
         p.edit_block(p.reader().node(message)->bid_data, [](std::vector<uint8_t>& b) {
           b[allocation(b, get32(b.data() + 4)).first] = 0x00;
         });
       }},
      {"PC value HNID", check_area::heaps_tables, "names no heap allocation",
       [](pst_patch& p) {
         uint32_t message = first_of_type(p.reader(), 0x04);
         p.edit_block(p.reader().node(message)->bid_data, [](std::vector<uint8_t>& b) {
           auto [begin, end] = pc_records(b);
           for (size_t r = begin; r + 8 <= end; r += 8) {
             const uint16_t type = b[r + 2] | (b[r + 3] << 8);
             if ((type == 0x001F || type == 0x001E) && (get32(b.data() + r + 4) & 0x1F) == 0) {
               put32(b.data() + r + 4, 0xFFE0);
               return;
             }
           }
           ADD_FAILURE() << "no string in the heap";
         });
       }},
      {"TCINFO", check_area::heaps_tables, "TCINFO bType",
       [](pst_patch& p) {
         uint32_t message = first_of_type(p.reader(), 0x04);
         uint32_t contents = (p.reader().node(message)->parent & ~0x1Fu) | 0x0E;
         p.edit_block(p.reader().node(contents)->bid_data, [](std::vector<uint8_t>& b) {
           b[allocation(b, get32(b.data() + 4)).first] = 0x00;
         });
       }},
      {"TC row", check_area::folders_messages, "which the NBT lacks",
       [](pst_patch& p) {
         p.edit_block(p.reader().node(0x12D)->bid_data, [](std::vector<uint8_t>& b) {
           const size_t info = allocation(b, get32(b.data() + 4)).first;
           const uint32_t rows = get32(b.data() + info + 14);
           ASSERT_EQ(rows & 0x1F, 0u) << "the root's hierarchy rows are in the heap";
           put32(b.data() + allocation(b, rows).first, 0x7FFFE2);
         });
       }},
      {"name map entry", check_area::heaps_tables, "names GUID",
       [](pst_patch& p) {
         // The entry stream: a subnode of the map (or a heap item of a small map).
         uint32_t hnid = 0;
         p.edit_block(p.reader().node(0x61)->bid_data, [&](std::vector<uint8_t>& b) {
           auto [begin, end] = pc_records(b);
           for (size_t r = begin; r + 8 <= end; r += 8)
             if ((b[r] | (b[r + 1] << 8)) == 0x0003) hnid = get32(b.data() + r + 4);
           if ((hnid & 0x1F) == 0 && hnid) {
             auto [eb, ee] = allocation(b, hnid);
             ASSERT_GE(ee - eb, 8u);
             b[eb + 4] = 0xFE, b[eb + 5] = 0x7F;  // wGuid far past the GUID stream
           }
         });
         ASSERT_NE(hnid, 0u) << "no entry stream";
         if ((hnid & 0x1F) == 0) return;
         std::string why;
         auto subs = p.reader().subnodes(p.reader().node(0x61)->bid_sub, why);
         ASSERT_TRUE(subs && subs->count(hnid));
         p.edit_block(p.leaf_bids(subs->at(hnid).bid_data).front(), [](std::vector<uint8_t>& b) {
           b[4] = 0xFE, b[5] = 0x7F;  // the first entry's wGuid far past the GUID stream
         });
       }},
      {"message parent", check_area::folders_messages, "no contents table",
       [](pst_patch& p) {
         uint32_t message = first_of_type(p.reader(), 0x04);
         uint32_t other = first_of_type(p.reader(), 0x02, [&](const pst_node& n) {
           return n.nid != p.reader().node(message)->parent && n.parent != n.nid;
         });
         p.set_parent(message, other);
       }},
      {"embedded message", check_area::heaps_tables, "attachment",
       [](pst_patch& p) {
         int best = 0;
         uint64_t target = 0;
         for (const auto& [nid, n] : p.reader().nodes()) {
           if ((nid & 0x1F) != 0x04) continue;
           int depth = 0;
           uint64_t bid = innermost_embedded(p.reader(), n.bid_sub, depth);
           if (depth > best) best = depth, target = bid;
         }
         ASSERT_EQ(best, 3) << "the sample holds three embedded levels";
         p.edit_block(target, [](std::vector<uint8_t>& b) { b[2] = 0x00; });
       }},
  };
  return cases;
}

class Planted : public ::testing::TestWithParam<std::tuple<size_t, bool>> {};

TEST_P(Planted, GivesAnErrorInItsArea) {
  const auto& c = planted_cases()[std::get<0>(GetParam())];
  const bool unicode = std::get<1>(GetParam());
  TempDir dir;
  const auto path = dir / "planted.pst";
  write_sample(path, unicode);
  ASSERT_EQ(check(path).findings.size(), 0u) << describe(check(path));
  {
    pst_patch patch(path);
    c.plant(patch);
  }
  check_report r = check(path);
  ASSERT_TRUE(r.readable);
  bool found = false;
  for (const check_finding* f : errors_in(r, c.area)) found |= f->message.find(c.message_part) != std::string::npos;
  EXPECT_TRUE(found) << c.name << ": no ERROR in " << to_string(c.area) << " naming \"" << c.message_part << "\"\n"
                     << describe(r);
  // The node level alone: nothing planted shows at the node-database level.
  for (const auto& f : r.findings)
    EXPECT_TRUE(f.area == check_area::heaps_tables || f.area == check_area::folders_messages || f.area == check_area::nodes)
        << describe(r);
}

INSTANTIATE_TEST_SUITE_P(Cases, Planted, ::testing::Combine(::testing::Range<size_t>(0, 9), ::testing::Bool()),
                         [](const auto& info) {
                           std::string name = planted_cases()[std::get<0>(info.param)].name;
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name + (std::get<1>(info.param) ? "_Unicode" : "_ANSI");
                         });

class Encodings : public ::testing::TestWithParam<std::tuple<uint8_t, bool>> {};

TEST_P(Encodings, WrittenFileReencodedChecksClean) {
  const auto [method, unicode] = GetParam();
  TempDir dir;
  const auto path = dir / "encoded.pst";
  write_sample(path, unicode);
  {
    pst_patch patch(path);
    patch.reencode(method);
  }
  check_report r = check(path);
  ASSERT_TRUE(r.readable) << r.unreadable_reason;
  EXPECT_EQ(r.encoding, method);
  EXPECT_EQ(r.findings.size(), 0u) << describe(r);
  EXPECT_GE(r.messages, 7u);
}

INSTANTIATE_TEST_SUITE_P(Methods, Encodings, ::testing::Combine(::testing::Values(1, 2), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == 1 ? "permute" : "cyclic") +
                                  (std::get<1>(info.param) ? "_Unicode" : "_ANSI");
                         });

}  // namespace
}  // namespace vendrel::test
