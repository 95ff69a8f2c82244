#include "ltp/property_context.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "ltp/pc_reader.h"
#include "ltp/property_set.h"
#include "ltp_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
using chartype_of = std::conditional_t<sizeof(bidtype) == 4, char, char16_t>;

template <typename bidtype>
class PropertyContext : public ::testing::Test {
 protected:
  using set_t = pst_property_set_impl<bidtype, chartype_of<bidtype>>;
  memory_blocks<bidtype> store;
  ref<set_t> set = make_ref<set_t>(static_cast<pst_node_writer<bidtype>*>(&store), 0x21);

  void put(uint32_t tag, const std::vector<uint8_t>& bytes) {
    set->set_property(pst_property_value(tag, bytes.data(), bytes.size()));
  }
  decoded_pc commit_and_decode() {
    set->commit();
    return decode_property_context<bidtype>(store.heap_blocks(set->data_bid()), store.resolver(set->sub_bid()));
  }
};
TYPED_TEST_SUITE(PropertyContext, ltp_variants, ltp_variant_name);

TYPED_TEST(PropertyContext, PlacementBySizeAndType) {
  struct placement_case {
    uint32_t tag;
    std::vector<uint8_t> bytes;
    pc_value_kind kind;
    uint32_t hnid;  // for inline and empty values
  } cases[] = {
      {0x0E070003, {7, 0, 0, 0}, pc_value_kind::inline_value, 7},
      {0x10000002, {0xFF, 0xFF}, pc_value_kind::inline_value, 0xFFFF},           // zero-extended
      {0x10010003, {0x80}, pc_value_kind::inline_value, 0xFFFFFF80},             // sign-extended
      {0x1002000B, {1}, pc_value_kind::inline_value, 1},
      {0x10030004, {0, 0, 0x80, 0x3F}, pc_value_kind::inline_value, 0x3F800000},  // 1.0f
      {0x10040040, pattern(8, 1), pc_value_kind::heap, 0},
      {0x10050014, pattern(8, 2), pc_value_kind::heap, 0},
      {0x10060005, pattern(8, 3), pc_value_kind::heap, 0},
      {0x1007001E, {}, pc_value_kind::empty, 0},
      {0x10080102, pattern(512, 4), pc_value_kind::heap, 0},
      {0x10090102, pattern(513, 5), pc_value_kind::subnode, 0},
      {0x100A101F, pattern(20, 6), pc_value_kind::heap, 0},  // multi-valued: bytes as given
  };
  for (const auto& c : cases) this->put(c.tag, c.bytes);
  decoded_pc pc = this->commit_and_decode();
  ASSERT_EQ(pc.properties.size(), std::size(cases));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    const decoded_property* p = pc.find(tag_id(c.tag));
    ASSERT_NE(p, nullptr);
    const uint16_t type = tag_type(c.tag);
    EXPECT_EQ(p->type, type == 0x001E || type == 0x001F ? file_string_type<chartype_of<TypeParam>> : type);
    EXPECT_EQ(p->kind, c.kind);
    if (c.kind == pc_value_kind::inline_value || c.kind == pc_value_kind::empty) {
      EXPECT_EQ(p->hnid, c.hnid);
    } else {
      EXPECT_EQ(p->bytes, c.bytes);
    }
    if (c.kind == pc_value_kind::subnode) {
      EXPECT_EQ(p->hnid & 0x1F, 0x1Fu);
    }
  }
  EXPECT_EQ(pc.bth, (bth_header{0xB5, 2, 6, 0, pc.bth.root}));
  EXPECT_EQ(pc.block_count, 1u);
  EXPECT_EQ(this->set->subnodes().size(), 1u);
}

TYPED_TEST(PropertyContext, FixedTypesOfOtherSizesAreRejected) {
  for (size_t size : {0u, 3u, 5u}) {
    auto set = make_ref<typename TestFixture::set_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), 0x21);
    std::vector<uint8_t> bytes(size, 1);
    set->set_property(pst_property_value(0x0E070003, bytes.data(), size));
    EXPECT_THROW(set->commit(), qm_invalid_arg) << size;
  }
}

TYPED_TEST(PropertyContext, HeapBudgetSendsLaterValuesToSubnodes) {
  // Earlier values take 5668 bytes; a 512-byte value then reaches 6180
  // exactly and stays in the heap; the next small one goes to a subnode,
  // while a date still goes to the heap.
  for (uint16_t i = 0; i < 11; ++i) this->put(make_tag(0x1000 + i, 0x0102), pattern(500, static_cast<uint8_t>(i)));
  this->put(make_tag(0x100B, 0x0102), pattern(168, 1));  // 5668
  this->put(make_tag(0x100C, 0x0102), pattern(512, 2));  // 6180
  this->put(make_tag(0x100D, 0x0102), pattern(1, 3));
  this->put(make_tag(0x100E, 0x0040), pattern(8, 4));
  decoded_pc pc = this->commit_and_decode();
  EXPECT_EQ(pc.find(0x100C)->kind, pc_value_kind::heap);
  EXPECT_EQ(pc.find(0x100D)->kind, pc_value_kind::subnode);
  EXPECT_EQ(pc.find(0x100D)->bytes, pattern(1, 3));
  EXPECT_EQ(pc.find(0x100E)->kind, pc_value_kind::heap);
  EXPECT_EQ(pc.find(0x100E)->bytes, pattern(8, 4));
}

TYPED_TEST(PropertyContext, OneByteMoreOfEarlierValuesSendsTheLimitValueToASubnode) {
  for (uint16_t i = 0; i < 11; ++i) this->put(make_tag(0x1000 + i, 0x0102), pattern(500, static_cast<uint8_t>(i)));
  this->put(make_tag(0x100B, 0x0102), pattern(169, 1));  // 5669
  this->put(make_tag(0x100C, 0x0102), pattern(512, 2));
  decoded_pc pc = this->commit_and_decode();
  EXPECT_EQ(pc.find(0x100C)->kind, pc_value_kind::subnode);
  EXPECT_EQ(pc.find(0x100C)->bytes, pattern(512, 2));
}

TYPED_TEST(PropertyContext, StringsAreStoredInTheFileStringType) {
  const bool unicode = sizeof(TypeParam) == 8;
  this->set->set_property(pst_property_value::of_string(0x3001001F, std::u16string(u"Gr\u00fc\u00dfe")));
  this->set->set_property(pst_property_value::of_string(0x3004001E, std::string("caf\xc3\xa9")));
  const pst_property_value* name = this->set->get_property(0x3001);
  const pst_property_value* comment = this->set->get_property(0x3004);
  ASSERT_TRUE(name && comment);
  const uint16_t file_type = unicode ? 0x001F : 0x001E;
  EXPECT_EQ(name->type(), file_type);
  EXPECT_EQ(comment->type(), file_type);
#if defined(_WIN32)
  // 8-bit strings are in the system ANSI code page (GetACP), whichever it is.
  if (unicode) {
    EXPECT_EQ(name->as_unicode(), u"Gr\u00fc\u00dfe");
    EXPECT_EQ(comment->as_unicode(), platform::multibyte_to_wide(0, "caf\xc3\xa9"));
  } else {
    EXPECT_EQ(name->as_string8(), platform::wide_to_multibyte(0, u"Gr\u00fc\u00dfe"));
    EXPECT_EQ(comment->as_string8(), "caf\xc3\xa9");
  }
#else
  // The host's 8-bit strings here are UTF-8; an ANSI file's are in the
  // file's code page (1252 unless the environment names another).
  const uint32_t file = platform::file_code_page();
  if (unicode) {
    EXPECT_EQ(name->as_unicode(), u"Gr\u00fc\u00dfe");
    EXPECT_EQ(comment->as_unicode(), u"caf\u00e9");
  } else {
    EXPECT_EQ(name->as_string8(), platform::wide_to_multibyte(file, u"Gr\u00fc\u00dfe"));
    EXPECT_EQ(comment->as_string8(), platform::wide_to_multibyte(file, u"caf\u00e9"));
  }
#endif
  decoded_pc pc = this->commit_and_decode();
  EXPECT_EQ(pc.find(0x3001)->type, file_type);
  EXPECT_EQ(pc.find(0x3001)->bytes.size(), name->size());

  if (!unicode) {
    uint8_t odd[3] = {0x41, 0, 0x42};
    EXPECT_THROW(this->set->set_property(pst_property_value(0x3005001F, odd, 3)), qm_invalid_arg);
  }
}

TYPED_TEST(PropertyContext, SameIdLaterTypeWinsAndIdZeroIsNotWritten) {
  this->put(0x00370003, {1, 0, 0, 0});
  this->put(0x0037001E, {'h', 'i'});
  this->put(0x0000001E, {'x'});
  decoded_pc pc = this->commit_and_decode();
  ASSERT_EQ(pc.properties.size(), 1u);
  EXPECT_EQ(pc.properties[0].type, this->set->get_property(0x37)->type());
  EXPECT_EQ(pc.properties[0].bytes.size(), this->set->get_property(0x37)->size());
  EXPECT_TRUE(this->set->remove_property(0x37));
  EXPECT_FALSE(this->set->remove_property(0x37));
}

TYPED_TEST(PropertyContext, EmptySetWritesAnEmptyBth) {
  decoded_pc pc = this->commit_and_decode();
  EXPECT_TRUE(pc.properties.empty());
  EXPECT_EQ(pc.bth.root, 0u);
  EXPECT_EQ(this->set->sub_bid(), 0u);
}

TYPED_TEST(PropertyContext, ManyDatesSpreadOverBlocksWithFillLevels) {
  // 700 dates (8 bytes each, always in the heap) and their records need
  // three blocks.
  for (uint16_t i = 0; i < 700; ++i) this->put(make_tag(0x2000 + i, 0x0040), pattern(8, static_cast<uint8_t>(i)));
  decoded_pc pc = this->commit_and_decode();
  EXPECT_GE(pc.block_count, 2u);
  ASSERT_EQ(pc.properties.size(), 700u);
  for (uint16_t i = 0; i < 700; ++i) EXPECT_EQ(pc.properties[i].bytes, pattern(8, static_cast<uint8_t>(i)));
  auto blocks = this->store.heap_blocks(this->set->data_bid());
  for (size_t b = 0; b < blocks.size(); ++b) {
    heap_view<TypeParam> view(blocks);
    size_t used = view.block(b).used_size();
    EXPECT_EQ(pc.fill_levels[b], heap_fill_level(used)) << b;
  }
  EXPECT_NE(pc.fill_levels[0], 0);
  for (size_t b = 0; b + 1 < blocks.size(); ++b) EXPECT_EQ(blocks[b].size(), heap_block_size<TypeParam>);
}

TYPED_TEST(PropertyContext, MoreThan772PropertiesOverflowTheRecordArray) {
  for (uint16_t i = 0; i < 773; ++i) this->put(make_tag(0x2000 + i, 0x0003), {1, 0, 0, 0});
  EXPECT_THROW(this->set->commit(), qm_invalid_arg);
  this->set->remove_property(0x2000);
  EXPECT_NO_THROW(this->set->commit());
}

TYPED_TEST(PropertyContext, NinthHeapBlockIsRefusedWithALogLine) {
  TempDir dir;
  log_capture log(dir / "log.txt");
  pst_bc_block<TypeParam> block;
  auto data = pattern(6000, 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(hid_block(block.allocate(data.data(), data.size())), uint32_t(i));
  EXPECT_THROW(block.allocate(data.data(), data.size()), qm_invalid_arg);
  EXPECT_EQ(log.count("needs a ninth heap block"), 1u);
}

TYPED_TEST(PropertyContext, RecommitReplacesBidsAndReleasesOldOnes) {
  this->put(0x0E070003, {1, 0, 0, 0});
  this->put(0x10090102, pattern(600, 5));
  this->set->commit();
  TypeParam first_data = this->set->data_bid(), first_sub = this->set->sub_bid();
  this->set->commit();
  EXPECT_NE(this->set->data_bid(), first_data);
  EXPECT_NE(this->set->sub_bid(), first_sub);
  EXPECT_NE(std::find(this->store.released.begin(), this->store.released.end(), first_data), this->store.released.end());
  EXPECT_NE(std::find(this->store.released.begin(), this->store.released.end(), first_sub), this->store.released.end());
  uint64_t d = 0, s = 0;
  this->set->node_bids(&d, &s);
  EXPECT_EQ(d, this->set->data_bid());
  EXPECT_EQ(s, this->set->sub_bid());
}

TYPED_TEST(PropertyContext, InterfaceSlots) {
  EXPECT_THROW(this->set->copy_to(nullptr), qm_invalid_call);
  auto other = make_ref<typename TestFixture::set_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), 0x22);
  memory_blocks<TypeParam> elsewhere;
  auto foreign = make_ref<typename TestFixture::set_t>(static_cast<pst_node_writer<TypeParam>*>(&elsewhere), 0x22);
  EXPECT_TRUE(this->set->same_store(other.get()));
  EXPECT_FALSE(this->set->same_store(foreign.get()));
  EXPECT_FALSE(this->set->same_store(nullptr));
}

TYPED_TEST(PropertyContext, LoadReadsBackWhatCommitWrote) {
  TempDir dir;
  log_capture log(dir / "log.txt");
  this->put(0x0E070003, {9, 0, 0, 0});
  this->put(0x0E170002, {2, 1});
  this->put(0x0E1B000B, {1});
  this->put(0x30070040, pattern(8, 7));
  this->put(0x30010102, {'a', 'b', 'c'});
  this->put(0x30040102, {});
  this->put(0x10090102, pattern(700, 5));  // subnode: skipped by the loader
  this->put(0x10050014, pattern(8, 9));    // PT_I8: logged and skipped
  this->set->commit();
  auto loaded = make_ref<typename TestFixture::set_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), 0x21);
  ASSERT_TRUE(loaded->load(this->store.heap_blocks(this->set->data_bid())));
  EXPECT_EQ(loaded->get_property(0x0E07)->as_u64(), 9u);
  EXPECT_EQ(loaded->get_property(0x0E17)->as_u64(), 0x0102u);
  EXPECT_EQ(loaded->get_property(0x0E1B)->as_u64(), 1u);
  EXPECT_EQ(loaded->get_property(0x3007)->as_u64(), this->set->get_property(0x3007)->as_u64());
  EXPECT_EQ(loaded->get_property(0x3001)->as_string8(), "abc");
  EXPECT_EQ(loaded->get_property(0x3004)->size(), 0u);
  EXPECT_EQ(loaded->get_property(0x1009), nullptr);
  EXPECT_EQ(loaded->get_property(0x1005), nullptr);
  EXPECT_EQ(log.count("[QMR] unknown property type (tag=4101, type=20)"), 1u);

  // A table context is not a property context.
  std::vector<std::vector<uint8_t>> wrong = this->store.heap_blocks(this->set->data_bid());
  wrong[0][3] = 0x7C;
  auto other = make_ref<typename TestFixture::set_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), 0x21);
  EXPECT_FALSE(other->load(wrong));
  EXPECT_THROW(decode_property_context<TypeParam>(wrong), qm_crf_error);
}

TYPED_TEST(PropertyContext, DecoderRejectsMalformedContexts) {
  this->put(0x0E070003, {9, 0, 0, 0});
  this->put(0x3001001E, {'a', 'b', 'c'});
  this->put(0x3002001E, {'d'});
  this->set->commit();
  const auto good = this->store.heap_blocks(this->set->data_bid());
  ASSERT_NO_THROW(decode_property_context<TypeParam>(good));
  heap_view<TypeParam> view(good);
  const uint32_t root = bth_header::get(view.at(0x20, "t").data()).root;
  const size_t records_at = view.block(0).offsets()[hid_index(root) - 1];
  const size_t header_at = view.block(0).offsets()[0];

  struct corruption {
    const char* what;
    size_t offset;
    uint8_t value;
  } cases[] = {
      {"heap signature", 2, 0xEE},
      {"user root", 4, 0x60},
      {"BTH type", header_at, 0xB6},
      {"BTH key size", header_at + 1, 4},
      {"BTH index levels", header_at + 3, 1},
      {"record order", records_at + 9, 0x00},               // second record ID below the first
      {"HID beyond the block", records_at + 8 + 4, 0xE0},   // 0x3001's HID -> index 7
      {"subnode of wrong type", records_at + 8 + 4, 0x25},  // NID type 5
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto bad = good;
    bad[0][c.offset] = c.value;
    EXPECT_THROW(decode_property_context<TypeParam>(bad, this->store.resolver(this->set->sub_bid())), qm_crf_error);
  }
}

}  // namespace
}  // namespace vendrel::test
