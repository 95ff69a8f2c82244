// Property sets committed into a real file through the node database, the
// file committed, walked and reopened for reading, and every value decoded
// by the strict reader and compared with what was set: every property type,
// strings of both types at the placement boundaries and converted to the
// file's string type, binaries up to 1 MiB, stream values, and dates and
// doubles past the heap budget.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "common/errors.h"
#include "file_roundtrip_support.h"
#include "ltp/ndb_link.h"
#include "ltp/pc_reader.h"
#include "ltp/property_context.h"
#include "ltp/property_set.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

// A multi-valued variable-size value as [MS-PST] 2.3.3.4.2 lays it out:
// count, one offset per value, then the values.
std::vector<uint8_t> mv_variable(const std::vector<std::vector<uint8_t>>& values) {
  std::vector<uint8_t> out = le_bytes<uint32_t>(static_cast<uint32_t>(values.size()));
  uint32_t offset = static_cast<uint32_t>(4 + 4 * values.size());
  for (const auto& v : values) {
    auto o = le_bytes<uint32_t>(offset);
    out.insert(out.end(), o.begin(), o.end());
    offset += static_cast<uint32_t>(v.size());
  }
  for (const auto& v : values) out.insert(out.end(), v.begin(), v.end());
  return out;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

template <typename bidtype>
class PcFileRoundTrip : public ::testing::Test {
 protected:
  using set_t = pst_property_set_impl<bidtype, file_chartype<bidtype>>;
  static constexpr bool unicode = sizeof(bidtype) == 8;
  static constexpr uint16_t file_string = unicode ? prop_type::unicode : prop_type::string8;

  ndb_file<bidtype> file;

  ref<set_t> new_set() { return make_ref<set_t>(file.get(), file.new_nid(nid_type::message)); }
  void put(set_t& set, uint32_t tag, const std::vector<uint8_t>& bytes) {
    set.set_property(pst_property_value(tag, bytes.data(), bytes.size()));
  }
  // Commits the set as a node of the file.
  void store(set_t& set) {
    set.commit();
    file.add(set.nid(), set.data_bid(), set.sub_bid(), 0x8022);
  }
  decoded_pc read_back(pst_ndb<bidtype>& reader, const set_t& set) {
    return read_property_context(reader, node_id(set.nid()));
  }
};
TYPED_TEST_SUITE(PcFileRoundTrip, ltp_variants, ltp_variant_name);

struct typed_case {
  uint32_t tag;
  std::vector<uint8_t> bytes;
  pc_value_kind kind;
  uint32_t hnid = 0;  // dwValueHnid of an inline value
};

// One value of every type the library stores, each at its fixed width, and
// multi-valued forms as the caller's bytes.
std::vector<typed_case> every_type() {
  const double pi = 3.141592653589793;
  const float minus_one_and_a_half = -1.5f;
  const uint32_t float_bits = std::bit_cast<uint32_t>(minus_one_and_a_half);
  return {
      {0x66000002, le_bytes<uint16_t>(0x8001), pc_value_kind::inline_value, 0x00008001},  // zero-extended
      {0x66010002, le_bytes<uint16_t>(0x0007), pc_value_kind::inline_value, 0x00000007},
      {0x66020003, le_bytes<uint32_t>(0xDEADBEEF), pc_value_kind::inline_value, 0xDEADBEEF},
      {0x66030004, le_bytes<uint32_t>(float_bits), pc_value_kind::inline_value, float_bits},
      {0x66040005, le_bytes<uint64_t>(std::bit_cast<uint64_t>(pi)), pc_value_kind::heap},
      {0x66050006, le_bytes<int64_t>(1234567890123), pc_value_kind::heap},  // currency, x 10^4
      {0x66060007, le_bytes<uint64_t>(std::bit_cast<uint64_t>(45000.25)), pc_value_kind::heap},
      {0x6607000A, le_bytes<uint32_t>(0x80004005), pc_value_kind::inline_value, 0x80004005},
      // An error code whose low five bits are 0 looks like a HID.
      {0x6608000A, le_bytes<uint32_t>(0x80040100), pc_value_kind::inline_value, 0x80040100},
      {0x6609000A, le_bytes<uint32_t>(0x00000020), pc_value_kind::inline_value, 0x00000020},
      {0x660A000B, {1}, pc_value_kind::inline_value, 1},
      {0x660B000B, {0}, pc_value_kind::inline_value, 0},
      {0x660C000D, random_bytes(24, 1), pc_value_kind::heap},
      {0x660D0014, le_bytes<uint64_t>(0x0123456789ABCDEFull), pc_value_kind::heap},
      {0x660E0040, le_bytes<uint64_t>(0x01D9A1B2C3D4E5F6ull), pc_value_kind::heap},
      {0x660F0048, random_bytes(16, 2), pc_value_kind::heap},
      {0x66100102, random_bytes(40, 3), pc_value_kind::heap},
      {0x66111002, concat({le_bytes<uint16_t>(1), le_bytes<uint16_t>(0xFFFF), le_bytes<uint16_t>(3)}),
       pc_value_kind::heap},
      {0x66121003, concat({le_bytes<uint32_t>(10), le_bytes<uint32_t>(20), le_bytes<uint32_t>(30)}),
       pc_value_kind::heap},
      {0x66131004, concat({le_bytes<uint32_t>(float_bits), le_bytes<uint32_t>(0)}), pc_value_kind::heap},
      {0x66141005, concat({le_bytes<uint64_t>(std::bit_cast<uint64_t>(pi)), le_bytes<uint64_t>(0)}),
       pc_value_kind::heap},
      {0x66151006, concat({le_bytes<int64_t>(-5), le_bytes<int64_t>(70000)}), pc_value_kind::heap},
      {0x66161007, le_bytes<uint64_t>(std::bit_cast<uint64_t>(1.5)), pc_value_kind::heap},
      {0x66171014, concat({le_bytes<uint64_t>(1), le_bytes<uint64_t>(~0ull), le_bytes<uint64_t>(3)}),
       pc_value_kind::heap},
      {0x66181040, concat({le_bytes<uint64_t>(0x01D0000000000001ull), le_bytes<uint64_t>(0x01D0000000000002ull)}),
       pc_value_kind::heap},
      {0x66191048, random_bytes(32, 4), pc_value_kind::heap},
      {0x661A101E, mv_variable({bytes_of("one"), bytes_of(""), bytes_of("three")}), pc_value_kind::heap},
      {0x661B101F, mv_variable({utf16le(u"eins"), utf16le(u"zwei")}), pc_value_kind::heap},
      {0x661C1102, mv_variable({random_bytes(5, 5), random_bytes(300, 6)}), pc_value_kind::heap},
  };
}

TYPED_TEST(PcFileRoundTrip, EveryPropertyTypeAtItsWidth) {
  auto set = this->new_set();
  const auto cases = every_type();
  for (const auto& c : cases) this->put(*set, c.tag, c.bytes);
  this->store(*set);

  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  ASSERT_EQ(pc.properties.size(), cases.size());
  EXPECT_EQ(pc.block_count, 1u);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.tag);
    const decoded_property* p = pc.find(tag_id(c.tag));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, tag_type(c.tag));  // multi-valued strings keep their type
    EXPECT_EQ(p->kind, c.kind);
    EXPECT_EQ(p->bytes, c.bytes);
    if (c.kind == pc_value_kind::inline_value) {
      EXPECT_EQ(p->hnid, c.hnid);
    }
  }

  // The loader of a store opened for reading takes back every inline and
  // heap value except PT_I8, which it skips.
  auto back = make_ref<typename TestFixture::set_t>(&reader, set->nid());
  ASSERT_TRUE(back->load_node(reader, node_id(set->nid())));
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.tag);
    const pst_property_value* v = back->get_property(tag_id(c.tag));
    if (tag_type(c.tag) == prop_type::i8) {
      EXPECT_EQ(v, nullptr);
      continue;
    }
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->tag(), c.tag);
    ASSERT_EQ(v->size(), c.bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(v->data(), v->data() + v->size()), c.bytes);
  }
}

// A PT_SHORT, PT_LONG, PT_FLOAT or PT_BOOLEAN handed over in an 8-byte
// buffer: the value lives in dwValueHnid like any other of its type (a HID
// there would be read as the number).
TYPED_TEST(PcFileRoundTrip, NarrowFixedTypesGivenEightBytesStayInline) {
  auto set = this->new_set();
  struct wide_case {
    uint32_t tag;
    uint64_t given;
    uint32_t hnid;
    size_t width;
  } cases[] = {
      {0x67000002, 0x1234, 0x1234, 2},
      {0x67010003, 0xFFFFFFFF00000042ull, 0x42, 4},
      {0x67020004, 0x3F800000, 0x3F800000, 4},
      {0x6703000B, 1, 1, 1},
  };
  for (const auto& c : cases) this->put(*set, c.tag, le_bytes<uint64_t>(c.given));
  this->store(*set);
  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.tag);
    const decoded_property* p = pc.find(tag_id(c.tag));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, pc_value_kind::inline_value);
    EXPECT_EQ(p->hnid, c.hnid);
    EXPECT_EQ(p->bytes, le_bytes<uint64_t>(c.given, c.width));
  }
  auto back = make_ref<typename TestFixture::set_t>(&reader, set->nid());
  ASSERT_TRUE(back->load_node(reader, node_id(set->nid())));
  for (const auto& c : cases) EXPECT_EQ(back->get_property(tag_id(c.tag))->as_u64(), c.hnid) << std::hex << c.tag;
}

// Strings of 0, 1, 512, 513 and 100,000 code units of either string type,
// stored in the file's type: placement follows the converted byte size.
TYPED_TEST(PcFileRoundTrip, StringsAtPlacementBoundariesInTheFileType) {
  constexpr bool unicode = TestFixture::unicode;
  auto set = this->new_set();
  struct string_case {
    uint16_t id;
    bool wide;  // set as 0x001F, else as 0x001E
    size_t units;
  };
  std::vector<string_case> cases;
  uint16_t id = 0x6800;
  for (bool wide : {false, true})
    for (size_t units : {size_t{0}, size_t{1}, size_t{512}, size_t{513}, size_t{100000}})
      cases.push_back({id++, wide, units});
  for (const auto& c : cases) {
    const std::string text = ascii_text(c.units, c.id);
    if (c.wide)
      set->set_property(pst_property_value::of_string(make_tag(c.id, prop_type::unicode), utf16(text)));
    else
      set->set_property(pst_property_value::of_string(make_tag(c.id, prop_type::string8), text));
  }
  this->store(*set);

  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  ASSERT_EQ(pc.properties.size(), cases.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "id " << std::hex << c.id << std::dec << (c.wide ? " wide " : " narrow ")
                                      << c.units << " units");
    const decoded_property* p = pc.find(c.id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, TestFixture::file_string);
    const std::string text = ascii_text(c.units, c.id);
    const std::vector<uint8_t> expected = unicode ? utf16le(utf16(text)) : bytes_of(text);
    EXPECT_EQ(p->bytes, expected);
    const pc_value_kind kind = expected.empty()         ? pc_value_kind::empty
                               : expected.size() <= 512 ? pc_value_kind::heap
                                                        : pc_value_kind::subnode;
    EXPECT_EQ(p->kind, kind);
    if (kind == pc_value_kind::subnode) {
      EXPECT_EQ(p->hnid & 0x1F, nid_type::internal);
    }
  }
}

// Text outside ASCII is converted to the file's string type: 8-bit strings
// are the host's (UTF-8 on Linux); an ANSI file holds them, and UTF-16 ones,
// in the file's code page, "?" for what it cannot hold.
TYPED_TEST(PcFileRoundTrip, NonAsciiStringsAreConvertedToTheFileType) {
  constexpr bool unicode = TestFixture::unicode;
  const std::u16string wide = u"Gr\u00FC\u00DFe \u20ACuro \u65E5\u672C \U0001F600 end";
  const std::string narrow = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC" "uro \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 end";
  const bool utf8_page = platform::host_code_page() == 65001;
  const uint32_t file_page = platform::file_code_page();
  auto set = this->new_set();
  set->set_property(pst_property_value::of_string(0x6900001F, wide));
  set->set_property(pst_property_value::of_string(0x6901001E, narrow));
  // A long one, so that the converted value goes to a subnode.
  std::u16string long_wide;
  for (int i = 0; i < 300; ++i) long_wide += wide;
  set->set_property(pst_property_value::of_string(0x6902001F, long_wide));
  this->store(*set);

  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  for (uint16_t id : {0x6900, 0x6901, 0x6902}) EXPECT_EQ(pc.find(id)->type, TestFixture::file_string) << id;
  if (unicode) {
    const std::u16string from_narrow = utf8_page ? wide : platform::multibyte_to_wide(0, narrow);
    EXPECT_EQ(pc.find(0x6900)->bytes, utf16le(wide));
    EXPECT_EQ(pc.find(0x6901)->bytes, utf16le(from_narrow));
    EXPECT_EQ(pc.find(0x6902)->bytes, utf16le(long_wide));
  } else {
    const std::string from_wide = platform::wide_to_multibyte(file_page, wide);
    const std::string from_narrow = platform::wide_to_multibyte(file_page, platform::multibyte_to_wide(0, narrow));
    std::string long_narrow;
    for (int i = 0; i < 300; ++i) long_narrow += from_wide;
    EXPECT_EQ(pc.find(0x6900)->bytes, bytes_of(from_wide));
    EXPECT_EQ(pc.find(0x6901)->bytes, bytes_of(from_narrow));
    if (file_page == 1252) EXPECT_EQ(from_wide, "Gr\xFC\xDF" "e \x80uro ?? ? end");
    EXPECT_EQ(pc.find(0x6902)->bytes, bytes_of(long_narrow));
  }
  EXPECT_EQ(pc.find(0x6902)->kind, pc_value_kind::subnode);
}

// Binaries around the heap limit and the block payload of either variant,
// up to 1 MiB (a data tree of 129 blocks), set as bytes and as node-database
// streams.
TYPED_TEST(PcFileRoundTrip, BinariesUpToOneMebibyte) {
  const size_t sizes[] = {0, 1, 511, 512, 513, 8176, 8177, 8180, 8181, 65536, 1 << 20};
  auto set = this->new_set();
  uint16_t id = 0x6A00;
  for (size_t size : sizes) this->put(*set, make_tag(id++, prop_type::binary), random_bytes(size, static_cast<uint32_t>(size)));
  // The same sizes through streams written straight into the file.
  for (size_t size : sizes) {
    ref<pst_xstream<TypeParam>> stream(new pst_xstream<TypeParam>(this->file.get()));
    auto bytes = random_bytes(size, static_cast<uint32_t>(size + 1));
    if (size) stream->write(bytes.data(), bytes.size());
    set->set_property(pst_property_value(make_tag(id++, prop_type::binary), ref<pst_const_stream>(stream.get())));
  }
  this->store(*set);

  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  ASSERT_EQ(pc.properties.size(), 2 * std::size(sizes));
  id = 0x6A00;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t size : sizes) {
      SCOPED_TRACE(::testing::Message() << (pass ? "stream " : "bytes ") << size);
      const decoded_property* p = pc.find(id++);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(p->type, prop_type::binary);
      const pc_value_kind kind = size == 0                ? pc_value_kind::empty
                                 : pass == 1 || size > 512 ? pc_value_kind::subnode
                                                           : pc_value_kind::heap;
      EXPECT_EQ(p->kind, kind);
      EXPECT_TRUE(p->bytes == random_bytes(size, static_cast<uint32_t>(size + pass)));
    }
  }
}

// Values placed by size stop going to the heap once 6180 bytes are there;
// dates and doubles still do (over extra heap blocks), every other value of
// more than 4 bytes goes to a subnode, narrow fixed values stay inline.
TYPED_TEST(PcFileRoundTrip, DatesAndDoublesPastTheHeapBudget) {
  auto set = this->new_set();
  struct expected_value {
    std::vector<uint8_t> bytes;
    pc_value_kind kind;
  };
  std::map<uint16_t, expected_value> expected;
  auto put = [&](uint16_t id, uint16_t type, std::vector<uint8_t> bytes, pc_value_kind kind) {
    this->put(*set, make_tag(id, type), bytes);
    expected[id] = {std::move(bytes), kind};
  };
  // 12 x 512 + 36 = 6180 bytes: the budget exactly.
  for (uint16_t i = 0; i < 12; ++i) put(0x3000 + i, prop_type::binary, random_bytes(512, i), pc_value_kind::heap);
  put(0x300C, prop_type::binary, random_bytes(36, 12), pc_value_kind::heap);
  put(0x300D, prop_type::binary, random_bytes(1, 13), pc_value_kind::subnode);
  put(0x300E, TestFixture::file_string, TestFixture::unicode ? utf16le(u"x") : bytes_of("x"), pc_value_kind::subnode);
  put(0x300F, prop_type::clsid, random_bytes(16, 14), pc_value_kind::subnode);
  put(0x3010, prop_type::currency, le_bytes<int64_t>(99), pc_value_kind::subnode);
  put(0x3011, prop_type::apptime, le_bytes<uint64_t>(std::bit_cast<uint64_t>(2.5)), pc_value_kind::subnode);
  put(0x3012, prop_type::i4, le_bytes<uint32_t>(77), pc_value_kind::inline_value);
  put(0x3013, prop_type::boolean, {1}, pc_value_kind::inline_value);
  put(0x3014, prop_type::i8, le_bytes<uint64_t>(1ull << 40), pc_value_kind::heap);
  put(0x3015, prop_type::binary, {}, pc_value_kind::empty);
  put(0x3016, prop_type::multi | prop_type::i4, le_bytes<uint64_t>(5), pc_value_kind::subnode);
  // 300 dates and 100 doubles: about 3,200 more heap bytes.
  for (uint16_t i = 0; i < 300; ++i)
    put(0x4000 + i, prop_type::systime, le_bytes<uint64_t>(0x01D9000000000000ull + i * 0x1000001ull), pc_value_kind::heap);
  for (uint16_t i = 0; i < 100; ++i)
    put(0x5000 + i, prop_type::r8, le_bytes<uint64_t>(std::bit_cast<uint64_t>(i * 0.125 - 3)), pc_value_kind::heap);
  this->store(*set);

  auto& reader = this->file.reopen();
  auto entry = reader.lookup_node(node_id(set->nid()));
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->bid_data.internal());  // a data tree over the heap blocks
  const auto blocks = read_heap_blocks(reader, entry->bid_data);
  decoded_pc pc = this->read_back(reader, *set);
  EXPECT_GE(pc.block_count, 2u);
  EXPECT_EQ(pc.block_count, blocks.size());
  // Every block's fill level is recorded in the header.
  for (size_t b = 0; b < 8; ++b) {
    const uint8_t level = b < blocks.size() ? heap_fill_level(stored_heap_used_size(blocks[b])) : 0;
    EXPECT_EQ(pc.fill_levels[b], level) << "block " << b;
  }
  ASSERT_EQ(pc.properties.size(), expected.size());
  size_t in_later_blocks = 0;
  for (const auto& [id, e] : expected) {
    SCOPED_TRACE(::testing::Message() << std::hex << id);
    const decoded_property* p = pc.find(id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, e.kind);
    EXPECT_EQ(p->bytes, e.bytes);
    if (p->kind == pc_value_kind::heap && hid_block(p->hnid) > 0) ++in_later_blocks;
  }
  EXPECT_GT(in_later_blocks, 0u);
}

// Committing a set again replaces its node's data; the blocks of the first
// commit lose their references and the file stays consistent.
TYPED_TEST(PcFileRoundTrip, RecommittedSetKeepsTheFileConsistent) {
  auto set = this->new_set();
  this->put(*set, 0x37000102, random_bytes(3000, 1));  // subnode
  this->put(*set, 0x37010102, random_bytes(100, 2));   // heap
  for (uint16_t i = 0; i < 700; ++i)  // a data tree of heap blocks
    this->put(*set, make_tag(0x4000 + i, prop_type::systime), le_bytes<uint64_t>(i));
  set->commit();
  set->remove_property(0x3700);
  this->put(*set, 0x37020102, random_bytes(5000, 3));
  this->put(*set, 0x37010102, random_bytes(10, 4));
  this->store(*set);

  auto& reader = this->file.reopen();
  decoded_pc pc = this->read_back(reader, *set);
  EXPECT_EQ(pc.find(0x3700), nullptr);
  EXPECT_EQ(pc.find(0x3701)->bytes, random_bytes(10, 4));
  EXPECT_EQ(pc.find(0x3702)->bytes, random_bytes(5000, 3));
  EXPECT_EQ(pc.find(0x3702)->kind, pc_value_kind::subnode);
  EXPECT_EQ(get_le<uint64_t>(pc.find(0x42BB)->bytes.data()), 699u);
}

}  // namespace
}  // namespace vendrel::test
