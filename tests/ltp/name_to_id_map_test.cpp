#include "ltp/name_to_id_map.h"

#include <gtest/gtest.h>

#include "common/crc32.h"
#include "common/errors.h"
#include "ltp/pc_reader.h"
#include "ltp_test_support.h"

namespace vendrel::test {
namespace {

template <typename bidtype>
using chartype_of = std::conditional_t<sizeof(bidtype) == 4, char, char16_t>;

pst_guid guid(const char* text) { return *parse_guid(text); }

TEST(NameMapGuid, TextRoundTripsWithLittleEndianFields) {
  pst_guid g = guid("00062008-0000-0000-C000-000000000046");
  EXPECT_EQ(g[0], 0x08);
  EXPECT_EQ(g[1], 0x20);
  EXPECT_EQ(g[2], 0x06);
  EXPECT_EQ(g[8], 0xC0);
  EXPECT_EQ(guid_text(g), "00062008-0000-0000-C000-000000000046");
  EXPECT_FALSE(parse_guid("00062008-0000-0000-C000-00000000004"));
  EXPECT_FALSE(parse_guid("0006200X-0000-0000-C000-000000000046"));
}

TEST(NameMapDefaults, BuiltInStreams) {
  const name_map_streams& s = default_name_map_streams();
  EXPECT_EQ(s.guids.size(), 224u);
  EXPECT_EQ(s.entries.size(), 2400u);
  pst_name_to_id_parser parser;
  ASSERT_TRUE(parser.add_guids(s.guids.data(), s.guids.size()));
  ASSERT_TRUE(parser.add_records(s.entries.data(), s.entries.size()));
  ASSERT_TRUE(parser.add_names(s.names.data(), s.names.size()));
  EXPECT_EQ(parser.parsed_entries().size(), 300u);
  EXPECT_EQ(parser.parsed_names().size(), 20u);
  // Entry k sits at index k.
  for (size_t k = 0; k < 300; ++k) EXPECT_EQ(parser.parsed_entries()[k].index, k);
}

template <typename bidtype>
class NameMap : public ::testing::Test {
 protected:
  using map_t = pst_name_to_id_map<bidtype, chartype_of<bidtype>>;
  memory_blocks<bidtype> store;
  ref<map_t> map = make_ref<map_t>(static_cast<pst_node_writer<bidtype>*>(&store));

  uint16_t numeric(const pst_guid& g, uint32_t id) { return map->lookup_or_add({g.data(), 0, id, nullptr}); }
  uint16_t named(const pst_guid& g, const char16_t* name) { return map->lookup_or_add({g.data(), 1, 0, name}); }
};
TYPED_TEST_SUITE(NameMap, ltp_variants, ltp_variant_name);

TYPED_TEST(NameMap, DefaultsOccupyTheirIds) {
  EXPECT_EQ(this->map->entries().size(), 300u);
  EXPECT_EQ(this->map->guids().size(), 14u);
  EXPECT_EQ(this->map->names().size(), 20u);
  struct {
    const char* guid;
    uint32_t id;
    uint16_t expected;
  } numeric_cases[] = {
      {"29F3AB56-554D-11D0-A97C-00A0C911F50A", 0xA000, 0x8000},
      {"00062008-0000-0000-C000-000000000046", 0x8510, 0x8001},
      {"00062008-0000-0000-C000-000000000046", 0x8584, 0x803B},
      {"00062004-0000-0000-C000-000000000046", 0x8056, 0x803D},
      {"6ED8DA90-450B-101B-98DA-00AA003F1305", 0x0021, 0x80BE},
      {"6ED8DA90-450B-101B-98DA-00AA003F1305", 0x001D, 0x80E7},
      {"00062014-0000-0000-C000-000000000046", 0x8F05, 0x8112},
      {"00062002-0000-0000-C000-000000000046", 0x825F, 0x812B},
  };
  for (const auto& c : numeric_cases) EXPECT_EQ(this->numeric(guid(c.guid), c.id), c.expected) << std::hex << c.id;
  EXPECT_EQ(this->named(ps_public_strings, u"Keywords"), 0x803C);
  EXPECT_EQ(this->named(guid("00020386-0000-0000-C000-000000000046"), u"Content-Class"), 0x8103);
  for (uint16_t id : {0x80FF, 0x8102, 0x8104, 0x8111}) {
    auto d = this->map->descriptor(id);
    ASSERT_TRUE(d) << id;
    EXPECT_TRUE(d->is_string);
    EXPECT_EQ(d->guid, ps_public_strings);
  }
  EXPECT_EQ(this->map->entries().size(), 300u);  // the lookups found what was there
  EXPECT_EQ(this->map->guids()[0], guid("29F3AB56-554D-11D0-A97C-00A0C911F50A"));
}

TYPED_TEST(NameMap, NewNamesFollowTheDefaultsAndStayStable) {
  const pst_guid g = guid("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(this->named(ps_public_strings, u"X-Custom"), 0x812C);
  EXPECT_EQ(this->numeric(g, 0x8510), 0x812D);
  EXPECT_EQ(this->numeric(guid("00062008-0000-0000-C000-000000000046"), 0x8510), 0x8001);
  EXPECT_EQ(this->named(ps_public_strings, u"X-Custom"), 0x812C);
  EXPECT_EQ(this->numeric(g, 0x8510), 0x812D);
  EXPECT_EQ(this->map->names().size(), 21u);  // the name is stored once
  EXPECT_EQ(this->map->guids().size(), 15u);
  EXPECT_EQ(this->map->entries()[0x12D].guid_n, (14 + 3) * 2);
  // Unreadable GUID and missing name stand for the zero GUID and " ".
  uint16_t id = this->map->lookup_or_add({nullptr, 1, 0, nullptr});
  auto d = this->map->descriptor(id);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->guid, pst_guid{});
  EXPECT_EQ(d->name, u" ");
  EXPECT_FALSE(this->map->descriptor(0x7FFF));
  EXPECT_FALSE(this->map->descriptor(static_cast<uint16_t>(0x8000 + this->map->entries().size())));
}

TYPED_TEST(NameMap, FullMapRefusesNewNamesButAnswersKnownOnes) {
  const pst_guid g = guid("11111111-2222-3333-4444-555555555555");
  for (uint32_t i = 0; this->map->entries().size() < 0x8000; ++i) this->numeric(g, i);
  EXPECT_THROW(this->numeric(g, 0xFFFFFFFF), qm_invalid_arg);
  EXPECT_THROW(this->named(ps_public_strings, u"Never seen"), qm_invalid_arg);
  EXPECT_EQ(this->map->names().size(), 20u);
  EXPECT_EQ(this->named(ps_public_strings, u"Keywords"), 0x803C);
  EXPECT_EQ(this->numeric(g, 5), 0x812C + 5);
}

TYPED_TEST(NameMap, StringStreamPadsOddNamesExceptTheLast) {
  auto map = make_ref<typename TestFixture::map_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), false);
  map->lookup_or_add({ps_public_strings.data(), 1, 0, u"abc"});
  map->lookup_or_add({ps_public_strings.data(), 1, 0, u"de"});
  map->lookup_or_add({ps_public_strings.data(), 1, 0, u"fgh"});
  EXPECT_EQ(map->name_offset(1), 12u);  // 4 + 6 + 2 bytes of padding
  EXPECT_EQ(map->name_offset(2), 20u);
  auto s = map->streams();
  EXPECT_EQ(s.names.size(), 20u + 4 + 6);  // no padding after the last
  EXPECT_EQ(get_le<uint32_t>(s.names.data()), 6u);
  EXPECT_EQ(s.names[10], 0);
  EXPECT_EQ(s.names[11], 0);
  EXPECT_EQ(map->entries()[2].property_id, 20u);
  EXPECT_EQ(map->entries()[2].guid_n, 2 * 2 + 1);
  // The parser reads the stream back.
  pst_name_to_id_parser parser;
  ASSERT_TRUE(parser.add_names(s.names.data(), s.names.size()));
  EXPECT_EQ(parser.parsed_names(), (std::vector<std::u16string>{u"abc", u"de", u"fgh"}));
}

TYPED_TEST(NameMap, BucketsHashNumericAndStringNames) {
  auto map = make_ref<typename TestFixture::map_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), false);
  const pst_guid g1 = guid("29F3AB56-554D-11D0-A97C-00A0C911F50A");
  const pst_guid g2 = guid("00062008-0000-0000-C000-000000000046");
  map->lookup_or_add({g1.data(), 0, 0xA000, nullptr});
  map->lookup_or_add({g2.data(), 0, 0x8510, nullptr});  // wGuid 4: field 8
  map->lookup_or_add({ps_public_strings.data(), 1, 0, u"Keywords"});
  EXPECT_THROW(map->lookup_or_add({ps_public_strings.data(), 1, 0, u""}), qm_invalid_arg);  // it would have no bucket
  EXPECT_EQ(map->entries().size(), 3u);
  auto buckets = map->buckets();
  const uint16_t numeric_bucket = static_cast<uint16_t>(((8u ^ 0x8510u) % 251) + 0x1000);
  ASSERT_TRUE(buckets.count(numeric_bucket));
  const auto& b = buckets.at(numeric_bucket);
  ASSERT_EQ(b.size() % 8, 0u);
  bool found = false;
  for (size_t i = 0; i < b.size(); i += 8)
    if (get_le<uint16_t>(b.data() + i + 6) == 1) {
      EXPECT_EQ(get_le<uint32_t>(b.data() + i), 0x8510u);
      EXPECT_EQ(get_le<uint16_t>(b.data() + i + 4), 8u);
      found = true;
    }
  EXPECT_TRUE(found);
  const uint8_t keywords[] = {'K', 0, 'e', 0, 'y', 0, 'w', 0, 'o', 0, 'r', 0, 'd', 0, 's', 0};
  const uint32_t h = crc32(keywords, sizeof keywords, 0);
  const uint16_t string_bucket = static_cast<uint16_t>(((5u ^ h) % 251) + 0x1000);
  ASSERT_TRUE(buckets.count(string_bucket));
  size_t records = 0;
  for (const auto& [id, bytes] : buckets) records += bytes.size() / 8;
  EXPECT_EQ(records, 3u);  // every entry has its bucket record
}

TYPED_TEST(NameMap, CopyIntoKeepsIds) {
  this->named(ps_public_strings, u"X-One");
  this->numeric(guid("11111111-2222-3333-4444-555555555555"), 7);
  memory_blocks<TypeParam> other_store;
  auto other = make_ref<typename TestFixture::map_t>(static_cast<pst_node_writer<TypeParam>*>(&other_store));
  this->map->copy_into(*other);
  ASSERT_EQ(other->entries().size(), this->map->entries().size());
  for (uint16_t id = 0x8000; id < 0x8000 + this->map->entries().size(); ++id)
    EXPECT_EQ(other->descriptor(id), this->map->descriptor(id)) << id;
}

TYPED_TEST(NameMap, CommitWritesStreamsAndBuckets) {
  this->named(ps_public_strings, u"X-Custom");
  this->map->commit();
  decoded_pc pc = decode_property_context<TypeParam>(this->store.heap_blocks(this->map->data_bid()),
                                                     this->store.resolver(this->map->sub_bid()));
  ASSERT_TRUE(pc.find(0x0001));
  EXPECT_EQ(pc.find(0x0001)->hnid, 251u);
  auto s = this->map->streams();
  EXPECT_EQ(pc.find(0x0002)->bytes, s.guids);
  EXPECT_EQ(pc.find(0x0003)->bytes, s.entries);
  EXPECT_EQ(pc.find(0x0003)->kind, pc_value_kind::subnode);  // 2408 bytes
  EXPECT_EQ(pc.find(0x0004)->bytes, s.names);
  auto buckets = this->map->buckets();
  size_t seen = 0;
  for (const auto& p : pc.properties) {
    if (p.id < 0x1000 || p.id > 0x10FA) continue;
    ++seen;
    EXPECT_EQ(p.type, 0x0102);
    EXPECT_EQ(p.bytes, buckets.at(p.id));
  }
  EXPECT_EQ(seen, buckets.size());

  // A map loaded from the streams answers the same.
  auto loaded = make_ref<typename TestFixture::map_t>(static_cast<pst_node_writer<TypeParam>*>(&this->store), false);
  ASSERT_TRUE(loaded->load_streams(s));
  EXPECT_EQ(loaded->lookup_or_add({ps_public_strings.data(), 1, 0, u"X-Custom"}), 0x812C);
  EXPECT_EQ(loaded->entries().size(), 301u);
}

TEST(NameMapParser, MalformedStreamsAreRefusedWithALogLine) {
  TempDir dir;
  log_capture log(dir / "log.txt");
  pst_name_to_id_parser parser;
  uint8_t bytes[40] = {};
  EXPECT_FALSE(parser.add_guids(bytes, 17));
  EXPECT_FALSE(parser.add_records(bytes, 12));
  put_le<uint32_t>(bytes, 4);
  bytes[4] = 'a';
  bytes[6] = 'b';
  put_le<uint32_t>(bytes + 8, 100);  // a second name longer than the rest
  EXPECT_FALSE(parser.add_names(bytes, 20));
  EXPECT_EQ(parser.parsed_names(), (std::vector<std::u16string>{u"ab"}));
  EXPECT_EQ(log.count("[PST] corrupt stream of names"), 1u);

  // A second stream that disagrees with what was read is logged.
  uint8_t g[16] = {1};
  ASSERT_TRUE(parser.add_guids(g, 16));
  g[0] = 2;
  ASSERT_TRUE(parser.add_guids(g, 16));
  EXPECT_EQ(log.count("[PST] m_guids[i]!=new_guid"), 1u);
}

TEST(NameMapParser, VerboseParserLogsEveryItem) {
  TempDir dir;
  log_capture log(dir / "log.txt");
  pst_name_to_id_parser parser;
  parser.set_verbose(true);
  const name_map_streams& s = default_name_map_streams();
  parser.add_guids(s.guids.data(), 32);
  parser.add_records(s.entries.data(), 16);
  parser.add_names(s.names.data(), 20);
  EXPECT_EQ(log.count("[PST] pst_name_to_parser: add new guid (29F3AB56-554D-11D0-A97C-00A0C911F50A)"), 1u);
  EXPECT_EQ(log.count("[PST] pst_name_to_parser : add new record ("), 2u);
  EXPECT_EQ(log.count("[PST] pst_name_to_parser: add new name (Keywords)"), 1u);
}

}  // namespace
}  // namespace vendrel::test
