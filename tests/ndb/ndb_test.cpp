#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/crc32.h"
#include "common/errors.h"
#include "failing_file.h"
#include "ndb_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
class NdbTest : public ::testing::Test {
 protected:
  static constexpr bool unicode = sizeof(bidtype) == 8;
  TempDir dir;
  std::filesystem::path path = dir / "store.pst";
};
TYPED_TEST_SUITE(NdbTest, ndb_variants, variant_name);

TYPED_TEST(NdbTest, EmptyCommitReopensConsistent) {
  {
    auto ndb = create_ndb<TypeParam>(this->path);
#if !defined(_WIN32)  // on Windows the open store keeps every other reader out
    auto bytes = read_file_bytes(this->path);
    ASSERT_EQ(bytes.size(), 0xBE400u);
    for (size_t i = 0; i < 0x4400; ++i) ASSERT_EQ(bytes[i], 0) << "no header before the first commit";
#endif
    ndb->commit();
  }
  auto bytes = read_file_bytes(this->path);
  ASSERT_EQ(bytes.size(), 0xBE400u);
  EXPECT_EQ(0, std::memcmp(bytes.data(), "!BDN", 4));
  EXPECT_EQ(get_bytes(bytes, 10, 2), this->unicode ? 23u : 14u);
  size_t kept = this->unicode ? 528 : 479;
  for (size_t i = kept; i < 0x4400; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(get_bytes(bytes, 4, 4), crc32(bytes.data() + 8, 471));
  if (this->unicode) {
    EXPECT_EQ(get_bytes(bytes, 524, 4), crc32(bytes.data() + 8, 516));
  }
  EXPECT_EQ(bytes[this->unicode ? 248 : 200], 2) << "fAMapValid: VALID_AMAP2";

  auto ndb = open_ndb<TypeParam>(this->path);
  EXPECT_FALSE(ndb->header().dirty());
  EXPECT_TRUE(ndb->bbt().empty());
  EXPECT_TRUE(ndb->nbt().empty());
  EXPECT_EQ(ndb->header().bid_next_b(), 4u);
  EXPECT_EQ(ndb->header().bid_next_p(), 4u);
  EXPECT_EQ(check_maps(*ndb), 3u);
  // The unused page region went to the blocks at commit.
  EXPECT_EQ(ndb->header().pmap_free(), 6u * 512);
  EXPECT_EQ(ndb->header().rgbfm(0), 255);
}

TYPED_TEST(NdbTest, CommitWritesPagesThenTheHeaderAndReopens) {
  std::vector<uint8_t> data = pattern(5000, 3);
  block_id<TypeParam> bid;
  {
    auto ndb = create_ndb<TypeParam>(this->path);
    bid = ndb->write_block(block_kind::pc_heap, data.data(), data.size());
    ndb->add_node(node_id(0x21), bid, {}, {});
    for (uint32_t i = 0; i < 200; ++i) ndb->add_node(ndb->allocate_nid(nid_type::folder), {}, {}, node_id(0x122));
    ndb->commit();
    // More after the first commit, committed again.
    ndb->add_node(node_id(0x61), bid, {}, {});
    ndb->add_block_reference(bid);
    ndb->commit();
  }
  auto ndb = open_ndb<TypeParam>(this->path);
  EXPECT_EQ(ndb->nbt().check(), 202u);
  EXPECT_EQ(ndb->lookup_node(node_id(0x61))->bid_data, bid);
  EXPECT_EQ(ndb->lookup_block(bid)->cref, 3) << "the BBT's own reference and two nodes'";
  EXPECT_EQ(read_node_data(*ndb, bid), data);
  EXPECT_EQ(ndb->header().rgnid(nid_type::folder), 0x400u + 200);
  check_maps(*ndb);
}

TYPED_TEST(NdbTest, PageCacheWritesTheLeastRecentlyUsedPageBack) {
  auto ndb = create_ndb<TypeParam>(this->path);
  std::vector<TypeParam> offsets;
  // The three regions' four map pages are cached already.
  size_t cached = ndb->pages().size();
  EXPECT_EQ(cached, 4u);
  for (size_t i = 0; i < 101; ++i) {
    TypeParam bid = ndb->allocate_page_bid();
    TypeParam offset = ndb->space().allocate_page();
    auto page = std::make_shared<pst_bbt_page<TypeParam>>(ndb.get(), 0, bid, offset);
    page->insert_leaf(0, {{block_id<TypeParam>(4 * (i + 1)), 0x42600}, 1, 1});
    ndb->add_page(page);
    offsets.push_back(offset);
  }
  EXPECT_EQ(ndb->pages().size(), 100u);
  // The map pages went first (written back), then the first B-tree pages.
  EXPECT_FALSE(ndb->pages().contains(static_cast<TypeParam>(0x4400)));
  EXPECT_FALSE(ndb->pages().contains(offsets[0]));
  EXPECT_TRUE(ndb->pages().contains(offsets[5]));
  std::vector<uint8_t> image(512);
  ndb->read_file(offsets[0], image.data(), image.size());
  EXPECT_NO_THROW(validate_page_image<TypeParam>(image.data(), offsets[0], true)) << "written when dropped";
  auto back = std::dynamic_pointer_cast<pst_bbt_page<TypeParam>>(ndb->get_page(offsets[0], page_type::bbt));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->leaf_entry(0).bref.bid.value(), 4u);
  EXPECT_TRUE(ndb->pages().contains(offsets[0]));
  EXPECT_EQ(ndb->pages().size(), 100u);
  check_maps(*ndb);
}

TYPED_TEST(NdbTest, LostReservedBlockIsLogged) {
  log_capture log(this->dir / "lost.log");
  ref<pst_low_layer_block<TypeParam>> held;
  {
    auto ndb = create_ndb<TypeParam>(this->path);
    held = ndb->new_reserved_block(block_kind::tc_heap);
    ndb->new_reserved_block(block_kind::tc_heap);  // released by its cache only
  }
  EXPECT_EQ(log.count("[PST] ~pst_cache_block found lost block\n"), 1u);
}

TYPED_TEST(NdbTest, ModesAndPaths) {
  EXPECT_THROW(pst_ndb<TypeParam>(wide(this->path), 0), qm_invalid_arg);
  try {
    pst_ndb<TypeParam>(wide(this->path), 4);
    FAIL() << "mode 4 accepted";
  } catch (const qm_invalid_arg& e) {
    EXPECT_STREQ(e.what(), "invalid file mode");
  }
  EXPECT_THROW(pst_ndb<TypeParam>(wide(this->dir / "missing.pst"), ndb_mode::open_read), qm_crf_error);
  EXPECT_THROW(pst_ndb<TypeParam>(wide(this->dir / "no" / "such" / "dir.pst"), ndb_mode::create), qm_cwf_error);
  EXPECT_THROW(pst_ndb<TypeParam>(std::u16string(0x100000, u'a'), ndb_mode::create), qm_invalid_arg);
  {
    pst_ndb<TypeParam> narrow((this->dir / "narrow.pst").string(), ndb_mode::create);
    EXPECT_EQ(narrow.narrow_path(), (this->dir / "narrow.pst").string());
    EXPECT_EQ(narrow.path(), wide(this->dir / "narrow.pst"));
    narrow.commit();
  }
  pst_ndb<TypeParam> reopened((this->dir / "narrow.pst").string(), ndb_mode::open_existing);
  EXPECT_EQ(reopened.mode(), ndb_mode::open_existing);
}

TEST(DerivedName, FromTheGuidSuffix) {
  struct name_case {
    const char16_t* path;
    const char16_t* derived;
  };
  const name_case cases[] = {
      {u"C:\\mail\\box{12345678-1234-1234-1234-123456789ABC}.pst", u"C:\\mail\\box"},
      {u"/tmp/a{12345678-1234-1234-1234-123456789ABC}.ost", u"/tmp/a"},
      {u"/tmp/a{1234}.pst", u"/tmp/a{1234}.pst"},
      {u"/tmp/a}.pst", u"/tmp/a}.pst"},
      {u"/tmp/mail.pst", u""},
      {u"x", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pst_ndb<uint64_t>::derive_name(c.path), std::u16string(c.derived));
}

// ------------------------------------------------------------------ faults

TYPED_TEST(NdbTest, WriteFailureSurfacesAsCannotWriteFile) {
  failing_file state;
  state.path = this->path.string();
  external_file_callbacks callbacks{&state, ext_open, ext_read, ext_write, ext_seek, ext_size, ext_close};
  auto ndb = create_ndb<TypeParam>(this->path, &callbacks);
  // Each block straight to the file, so that the failing write is its own.
  ndb->append_buffer().set_capacity(0);
  std::vector<uint8_t> data = pattern(100, 1);
  ndb->write_block(block_kind::stream, data.data(), data.size());
  ndb->add_node(node_id(0x21), block_id<TypeParam>(4), {}, {});
  ndb->commit();
  auto committed = read_file_bytes(this->path);

  // The next block write fails; the library stays usable.
  state.fail_at = state.writes;
  EXPECT_THROW(ndb->write_block(block_kind::stream, data.data(), data.size()), qm_cwf_error);
  try {
    ndb->write_block(block_kind::stream, data.data(), data.size());
  } catch (const qm_retcode& e) {
    ADD_FAILURE() << "the write after a failure should succeed: " << e.what();
  }
  // A commit failing at its last write (the header that marks its maps
  // valid) leaves the previous header in place: the maps written in place
  // before it, the previous header says, need rebuilding.
  ndb->add_node(node_id(0x61), block_id<TypeParam>(4), {}, {});
  state.fail_at = -1;
  int before = state.writes;
  struct header_failure {
    static bool write(void* context, file_handle h, const void* buffer, uint32_t count, uint32_t* transferred) {
      if (count == 0x4400 && static_cast<const uint8_t*>(buffer)[header_layout<TypeParam>::fAMapValid::offset] == 2) {
        platform::set_last_error(platform::error::disk_full);
        *transferred = 0;
        return false;
      }
      return ext_write(context, h, buffer, count, transferred);
    }
  };
  callbacks.write = header_failure::write;
  try {
    ndb->commit();
    FAIL() << "commit reported success";
  } catch (const qm_cwf_error& e) {
    EXPECT_EQ(e.code(), -5);
  }
  EXPECT_GT(state.writes, before) << "the pages were written before the header";
  auto after = read_file_bytes(this->path);
  ASSERT_GE(after.size(), 0x4400u);
  const size_t valid = header_layout<TypeParam>::fAMapValid::offset;
  EXPECT_EQ(after[valid], 0) << "the maps were written in place";
  EXPECT_EQ(0, std::memcmp(after.data() + 24, committed.data() + 24, valid - 24)) << "the previous roots stay";
  callbacks.write = ext_write;
  ndb->commit();
  ndb.reset();
  auto reopened = open_ndb<TypeParam>(this->path);
  EXPECT_TRUE(reopened->lookup_node(node_id(0x61)));
}

// ------------------------------------------------------------------ encoded files

// The read path decodes data blocks of files written with another method;
// internal blocks are stored plain. The file is made here with encoded bytes
// as payload and the header's method switched afterwards.
TYPED_TEST(NdbTest, EncodedFilesAreDecodedOnRead) {
  for (uint8_t method : {crypt_method::permute, crypt_method::cyclic}) {
    std::vector<uint8_t> first = pattern(8000, 1), second = pattern(3000, 2);
    block_id<TypeParam> tree;
    {
      auto ndb = create_ndb<TypeParam>(this->path);
      std::vector<block_id<TypeParam>> bids;
      for (auto* plain : {&first, &second}) {
        std::vector<uint8_t> stored = *plain;
        // The BID the block will get: data blocks take multiples of 4.
        TypeParam next = ndb->header().bid_next_b();
        while (next % 4) ++next;
        encode_block_data(method, stored.data(), stored.size(), next);
        bids.push_back(ndb->write_block(block_kind::stream, stored.data(), stored.size()));
        EXPECT_EQ(bids.back().value(), next);
      }
      pst_data_tree<TypeParam> data(ndb.get());
      data.append(bids[0], 8000);
      data.append(bids[1], 3000);
      tree = data.write(11000);
      ndb->add_node(node_id(0x21), tree, {}, {});
      ndb->commit();
    }
    auto bytes = read_file_bytes(this->path);
    bytes[this->unicode ? 513 : 461] = method;
    put_le<uint32_t>(bytes.data() + 4, crc32(bytes.data() + 8, 471));
    if (this->unicode) put_le<uint32_t>(bytes.data() + 524, crc32(bytes.data() + 8, 516));
    write_file_bytes(this->path, bytes.data(), bytes.size());

    auto ndb = open_ndb<TypeParam>(this->path);
    EXPECT_EQ(ndb->header().crypt(), method);
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(read_node_data(*ndb, ndb->lookup_node(node_id(0x21))->bid_data), expected) << int(method);
    auto raw = ndb->load_block(tree);
    EXPECT_EQ(raw->data()[0], 0x01) << "the XBLOCK is stored plain";
  }
}

}  // namespace
}  // namespace vendrel::test
