// The walker on clean files and on files with one fault put in at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "common/crc32.h"
#include "file_builder.h"

namespace vendrel::test {
namespace {

// Where the structures of a clean file are, found through the read path.
template <typename bidtype>
struct landmarks {
  uint64_t nbt_root = 0, bbt_root = 0;
  bidtype data_bid = 0, other_bid = 0;  // data blocks of two single-block nodes
  uint64_t data_ib = 0, other_ib = 0;
  uint16_t data_cb = 0;
  uint64_t bbt_leaf = 0;  // the BBT leaf page holding data_bid, and its entry
  size_t bbt_index = 0;
  uint64_t nbt_leaf = 0;  // the NBT leaf page holding data_bid's node, and its entry
  size_t nbt_index = 0;
  uint64_t xblock_ib = 0;  // an XBLOCK
  uint16_t xblock_cb = 0;
  bidtype xblock_bid = 0;
  uint64_t slblock_ib = 0;  // an SLBLOCK of several entries
  uint16_t slblock_cb = 0;
  bidtype slblock_bid = 0;
};

template <typename Page, typename bidtype>
std::pair<uint64_t, size_t> find_leaf_entry(pst_ndb<bidtype>& ndb, block_ref<bidtype> root, uint64_t key) {
  auto page = std::dynamic_pointer_cast<Page>(ndb.get_page(root.ib, Page::kind));
  while (!page->leaf()) {
    size_t i = 0;
    while (i + 1 < page->count() && page->key(i + 1) <= key) ++i;
    page = std::dynamic_pointer_cast<Page>(ndb.get_page(page->internal_entry(i).bref.ib, Page::kind));
  }
  for (size_t i = 0; i < page->count(); ++i)
    if (page->key(i) == key) return {page->offset(), i};
  ADD_FAILURE() << "key " << key << " not found";
  return {0, 0};
}

template <typename bidtype>
class WalkerTest : public ::testing::Test {
 protected:
  using format = ndb_format<bidtype>;
  using ptrailer = page_trailer_layout<bidtype>;
  using btrailer = block_trailer_layout<bidtype>;
  using hlayout = header_layout<bidtype>;

  // A file of a few hundred blocks: BBT and NBT of two levels, data trees,
  // subnode trees, shared and replaced data.
  void build_clean_file() {
    {
      auto ndb = create_ndb<bidtype>(path);
      file_builder<bidtype> build(*ndb, 99);
      {
        expected_node node;
        auto data = build.write_data(1, node.data);
        auto sub = build.write_subnodes(30, 1, node.subnodes);
        build.add(data, sub, std::move(node));
      }
      while (build.data_blocks < 400) build.add_random_node();
      for (int i = 0; i < 5; ++i) build.add_sharing_node(build.pick());
      for (int i = 0; i < 10; ++i) build.replace(build.pick());
      ndb->commit();
    }
    bytes = read_file_bytes(path);
    auto ndb = open_ndb<bidtype>(path);
    at.nbt_root = ndb->header().bref_nbt().ib;
    at.bbt_root = ndb->header().bref_bbt().ib;
    ndb->nbt().for_each([&](const nbt_entry<bidtype>& e) {
      if (e.bid_data && !e.bid_data.internal() && ndb->lookup_block(e.bid_data)->cref == 2) {
        if (!at.data_bid) {
          at.data_bid = e.bid_data.value();
          auto nbt = find_leaf_entry<pst_nbt_page<bidtype>>(*ndb, ndb->nbt().root(), e.nid.value());
          at.nbt_leaf = nbt.first;
          at.nbt_index = nbt.second;
        } else if (!at.other_bid) {
          at.other_bid = e.bid_data.value();
        }
      }
      if (e.bid_data.internal() && !at.xblock_bid) {
        auto block = ndb->load_block(e.bid_data);
        if (block->data()[1] == 1) at.xblock_bid = e.bid_data.value();
      }
      if (e.bid_sub && !at.slblock_bid) {
        auto block = ndb->load_block(e.bid_sub);
        if (block->data()[1] == 0 && get_le<uint16_t>(block->data() + 2) >= 2) at.slblock_bid = e.bid_sub.value();
      }
    });
    ASSERT_TRUE(at.data_bid && at.other_bid && at.xblock_bid && at.slblock_bid);
    auto entry = [&](bidtype bid) { return *ndb->lookup_block(block_id<bidtype>(bid)); };
    at.data_ib = entry(at.data_bid).bref.ib;
    at.data_cb = entry(at.data_bid).cb;
    at.other_ib = entry(at.other_bid).bref.ib;
    at.xblock_ib = entry(at.xblock_bid).bref.ib;
    at.xblock_cb = entry(at.xblock_bid).cb;
    at.slblock_ib = entry(at.slblock_bid).bref.ib;
    at.slblock_cb = entry(at.slblock_bid).cb;
    auto bbt = find_leaf_entry<pst_bbt_page<bidtype>>(*ndb, ndb->bbt().root(), at.data_bid);
    at.bbt_leaf = bbt.first;
    at.bbt_index = bbt.second;
    ASSERT_GE(ndb->bbt().depth(), 2u);
    ASSERT_GE(ndb->nbt().depth(), 2u);
  }

  // Recompute the checksums a change made stale.
  void reseal_page(std::vector<uint8_t>& b, uint64_t offset) {
    ptrailer::dwCRC::put(b.data() + offset, crc32(b.data() + offset, ptrailer::data_size));
  }
  void reseal_block(std::vector<uint8_t>& b, uint64_t ib, uint16_t cb) {
    uint8_t* t = b.data() + ib + block_disk_size<bidtype>(cb) - btrailer::size;
    btrailer::dwCRC::put(t, crc32(b.data() + ib, cb));
  }
  void reseal_header(std::vector<uint8_t>& b) {
    hlayout::dwCRCPartial::put(b.data(), crc32(b.data() + hlayout::crc_partial_start, hlayout::crc_partial_size));
    if constexpr (format::unicode)
      hlayout::dwCRCFull::put(b.data(), crc32(b.data() + hlayout::crc_full_start, hlayout::crc_full_size));
  }
  // Map bits of a map page: after 4 bytes of padding in an ANSI page.
  static constexpr size_t map_offset = format::unicode ? 0 : 4;
  void set_bit(std::vector<uint8_t>& b, uint64_t page, size_t index, bool value) {
    uint8_t& byte = b[page + map_offset + index / 8];
    uint8_t mask = static_cast<uint8_t>(0x80 >> (index % 8));
    byte = value ? (byte | mask) : (byte & ~mask);
    reseal_page(b, page);
  }
  uint8_t* bbt_entry_bytes(std::vector<uint8_t>& b) {
    return b.data() + at.bbt_leaf + at.bbt_index * bbtentry_layout<bidtype>::size;
  }

  TempDir dir;
  std::filesystem::path path = dir / "clean.pst";
  std::vector<uint8_t> bytes;
  landmarks<bidtype> at;
};
TYPED_TEST_SUITE(WalkerTest, ndb_variants, variant_name);

TYPED_TEST(WalkerTest, CleanFilesHaveNoFindings) {
  {
    auto ndb = create_ndb<TypeParam>(this->path);
    ndb->commit();
  }
  auto empty = check(this->path);
  EXPECT_TRUE(empty.empty()) << describe(empty);
  this->build_clean_file();
  auto findings = check(this->path);
  EXPECT_TRUE(findings.empty()) << describe(findings);
}

TYPED_TEST(WalkerTest, EachCorruptionIsReported) {
  using B = TypeParam;
  using hl = typename TestFixture::hlayout;
  using bt = typename TestFixture::btrailer;
  using pt = typename TestFixture::ptrailer;
  using bbt_leaf = bbtentry_layout<B>;
  using nbt_leaf = nbtentry_layout<B>;
  this->build_clean_file();
  const auto& at = this->at;
  auto* t = this;
  const uint64_t amap1 = region_offset(1);
  // The last slot of the last region, free: blocks are placed first fit.
  const uint64_t last_region = (hl::ibFileEof::get(this->bytes.data()) - first_region_offset) / region_size - 1;
  const size_t free_slot = slots_per_region - 1;
  struct corruption {
    const char* name;
    ndb_check expected;
    uint64_t bid;  // the finding names this BID (0: any)
    std::function<void(std::vector<uint8_t>&)> apply;
  };
  const corruption cases[] = {
      {"header byte", ndb_check::header, 0, [&](auto& b) { b[100] ^= 0x01; }},
      {"header free total", ndb_check::map_summary, 0,
       [&](auto& b) {
         hl::cbAMapFree::put(b.data(), static_cast<B>(hl::cbAMapFree::get(b.data()) + 64));
         t->reseal_header(b);
       }},
      {"header free-slot table", ndb_check::map_summary, 0,
       [&](auto& b) {
         hl::rgbFM::at(b.data())[2] ^= 0x01;
         t->reseal_header(b);
       }},
      {"bidNextB below a BID in use", ndb_check::header, 0,
       [&](auto& b) {
         hl::bidNextB::put(b.data(), 8);
         t->reseal_header(b);
       }},
      {"NBT root cleared", ndb_check::reference_count, at.data_bid,
       [&](auto& b) {
         // An empty node tree leaves every block without referrers.
         hl::brefNBT::put(b.data(), {});
         t->reseal_header(b);
       }},
      {"page CRC", ndb_check::btree_page, 0, [&](auto& b) { b[at.nbt_root + 3] ^= 0x40; }},
      {"map page BID", ndb_check::map_page, 0,
       [&](auto& b) {
         pt::bid::put(b.data() + amap1, static_cast<B>(amap1 + 512));
         t->reseal_page(b, amap1);
       }},
      {"block CRC", ndb_check::block, at.data_bid, [&](auto& b) { b[at.data_ib] ^= 0x01; }},
      {"block trailer BID", ndb_check::block, at.data_bid,
       [&](auto& b) {
         bt::bid::put(b.data() + at.data_ib + block_disk_size<B>(at.data_cb) - bt::size, static_cast<B>(at.data_bid + 4));
       }},
      {"cRef one too high", ndb_check::reference_count, at.data_bid,
       [&](auto& b) {
         bbt_leaf::cRef::put(t->bbt_entry_bytes(b), 3);
         t->reseal_page(b, at.bbt_leaf);
       }},
      {"cRef of a referenced block says free", ndb_check::reference_count, at.data_bid,
       [&](auto& b) {
         bbt_leaf::cRef::put(t->bbt_entry_bytes(b), 1);
         t->reseal_page(b, at.bbt_leaf);
       }},
      {"AMap bit of a block cleared", ndb_check::unmarked_space, at.data_bid,
       [&](auto& b) {
         uint64_t region = (at.data_ib - first_region_offset) / region_size;
         t->set_bit(b, region_offset(region), (at.data_ib - region_offset(region)) / 64, false);
       }},
      {"AMap bit set on free space", ndb_check::unused_space, 0,
       [&](auto& b) { t->set_bit(b, region_offset(last_region), free_slot, true); }},
      {"PMap page offered in block space", ndb_check::unmarked_space, 0,
       [&](auto& b) {
         t->set_bit(b, pmap_offset(last_region / 8), (last_region % 8) * pages_per_region + free_slot / 8, false);
       }},
      {"two blocks at one offset", ndb_check::overlap, 0,
       [&](auto& b) {
         bbt_leaf::bref::ib::put(t->bbt_entry_bytes(b), static_cast<B>(at.other_ib));
         t->reseal_page(b, at.bbt_leaf);
       }},
      {"node names a missing block", ndb_check::missing_block, 0x7FFFFFF0,
       [&](auto& b) {
         nbt_leaf::bidData::put(b.data() + at.nbt_leaf + at.nbt_index * nbt_leaf::size, 0x7FFFFFF0);
         t->reseal_page(b, at.nbt_leaf);
       }},
      {"XBLOCK total", ndb_check::data_tree, at.xblock_bid,
       [&](auto& b) {
         uint8_t* p = b.data() + at.xblock_ib;
         xblock_layout<B>::lcbTotal::put(p, xblock_layout<B>::lcbTotal::get(p) + 1);
         t->reseal_block(b, at.xblock_ib, at.xblock_cb);
       }},
      {"SLBLOCK entries out of order", ndb_check::subnode_tree, at.slblock_bid,
       [&](auto& b) {
         uint8_t* first = b.data() + at.slblock_ib + slblock_layout<B>::rgentries;
         std::swap_ranges(first, first + slentry_layout<B>::size, first + slentry_layout<B>::size);
         t->reseal_block(b, at.slblock_ib, at.slblock_cb);
       }},
      {"file cut short", ndb_check::unreadable, 0, [&](auto& b) { b.resize(b.size() - 1000); }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> broken = this->bytes;
    c.apply(broken);
    auto corrupt = this->dir / "corrupt.pst";
    write_file_bytes(corrupt, broken.data(), broken.size());
    auto findings = check(corrupt);
    bool reported = std::any_of(findings.begin(), findings.end(), [&](const ndb_finding& f) {
      return f.check == c.expected && (c.bid == 0 || f.bid == c.bid);
    });
    EXPECT_TRUE(reported) << c.name << " not reported as " << to_string(c.expected) << "; findings:\n"
                          << describe(findings);
  }
}

// Map bits 4 bytes off their [MS-PST] place: an ANSI map written from the
// page's first byte, over the padding (as this writer once did), or a
// Unicode map written after a padding that variant does not have. The
// walker reads the maps where [MS-PST] puts them and reports both.
TYPED_TEST(WalkerTest, MapsFourBytesOffTheirPlaceAreReported) {
  using hl = typename TestFixture::hlayout;
  this->build_clean_file();
  std::vector<uint8_t> b = this->bytes;
  const uint64_t regions = (hl::ibFileEof::get(b.data()) - first_region_offset) / region_size;
  for (uint64_t region = 0; region < regions; ++region) {
    for (uint64_t page : {region_offset(region), region_offset(region) + 512}) {
      if (page != region_offset(region) && region % 8 != 0) continue;
      uint8_t* p = b.data() + page;
      if constexpr (TestFixture::format::unicode) {
        std::memmove(p + 4, p, 492);
        std::memset(p, 0, 4);
      } else {
        std::memmove(p, p + 4, 496);
        std::memset(p + 496, 0, 4);
      }
      this->reseal_page(b, page);
    }
  }
  auto shifted = this->dir / "shifted.pst";
  write_file_bytes(shifted, b.data(), b.size());
  auto findings = check(shifted);
  for (ndb_check expected : {ndb_check::map_page, ndb_check::unmarked_space})
    EXPECT_TRUE(std::any_of(findings.begin(), findings.end(), [&](const ndb_finding& f) { return f.check == expected; }))
        << to_string(expected) << " not reported; findings:\n"
        << describe(findings);
}

// The walker is a checker: it records faults, bounded in number, and never
// throws, whatever the bytes are.
TYPED_TEST(WalkerTest, GarbageIsReportedNotThrown) {
  this->build_clean_file();
  std::vector<uint8_t> broken = this->bytes;
  // Every page and block of region 1 overwritten with a pattern.
  auto noise = pattern(region_size, 5);
  std::copy(noise.begin(), noise.end(), broken.begin() + region_offset(1));
  auto corrupt = this->dir / "garbage.pst";
  write_file_bytes(corrupt, broken.data(), broken.size());
  std::vector<ndb_finding> findings;
  ASSERT_NO_THROW(findings = check_file(wide(corrupt), {.max_findings = 50}));
  ASSERT_EQ(findings.size(), 51u);
  EXPECT_EQ(findings.back().check, ndb_check::truncated);
  EXPECT_EQ(check(this->dir / "missing.pst").front().check, ndb_check::unreadable);
}

// Files the mail client wrote, of both variants (an ANSI file among them):
// the walker, reading each structure as [MS-PST] lays it out, finds
// nothing. Their rgbFM and rgbFP hold 0xFF throughout, the client's mark
// that it keeps no such summaries; the walker does not judge them there.
TEST(WalkerOnClientFiles, FindsNothing) {
  const std::filesystem::path dir = std::filesystem::path(VENDREL_SHARED_DIR) / "data" / "outlook";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << dir << " is not there";
  const char* files[] = {"mailbagit_outlook2019.pst", "pstsdk_sample1.pst", "pstsdk_test_ansi.pst",
                         "rubymsg_200_recipients.pst", "rubymsg_msgInMsg.pst"};
  for (const char* name : files) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(std::filesystem::exists(dir / name));
    auto findings = check(dir / name);
    EXPECT_TRUE(findings.empty()) << describe(findings);
  }
}

// A client file cut or overwritten anywhere: findings (or none, where only
// free space was hit), never a crash, a hang or an exception.
TEST(WalkerOnClientFiles, DamagedCopiesGiveFindings) {
  const std::filesystem::path dir = std::filesystem::path(VENDREL_SHARED_DIR) / "data" / "outlook";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << dir << " is not there";
  TempDir scratch;
  for (const char* name : {"pstsdk_test_ansi.pst", "rubymsg_msgInMsg.pst"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> clean = read_file_bytes(dir / name);
    uint32_t x = 77;
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> b = clean;
      // A cut, a run of noise, or scattered flipped bytes.
      x = x * 1103515245 + 12345;
      const size_t at = 0x4400 + (x >> 8) % (b.size() - 0x4400);
      if (round % 3 == 0) {
        b.resize(at);
      } else if (round % 3 == 1) {
        auto noise = pattern(std::min<size_t>(4096, b.size() - at), x);
        std::copy(noise.begin(), noise.end(), b.begin() + at);
      } else {
        for (int k = 0; k < 200; ++k) {
          x = x * 1103515245 + 12345;
          b[(x >> 4) % b.size()] ^= static_cast<uint8_t>(1 + (x >> 24) % 255);
        }
      }
      auto path = scratch / "damaged.pst";
      write_file_bytes(path, b.data(), b.size());
      std::vector<ndb_finding> findings;
      ASSERT_NO_THROW(findings = check_file(wide(path), {.max_findings = 200})) << round;
      // A cut file is always a finding; noise may fall on free space.
      if (round % 3 == 0) {
        EXPECT_FALSE(findings.empty()) << "round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace vendrel::test
