// The named property map of a new store committed as node 0x61 of a real
// file, the file committed, walked and reopened, and the stored streams and
// buckets read back with their own parsing: default IDs, the IDs of names
// added afterwards, the bucket of every entry, and a map loaded from the
// streams that equals the one committed.
#include <gtest/gtest.h>

#include <map>

#include "common/errors.h"
#include "file_roundtrip_support.h"
#include "ltp/name_to_id_map.h"
#include "ltp/pc_reader.h"

namespace vendrel::test {
namespace {

pst_guid guid(const char* text) { return *parse_guid(text); }

// CRC-32 bit by bit: reflected polynomial 0xEDB88320, started at 0, not inverted.
uint32_t reference_crc32(const std::vector<uint8_t>& bytes) {
  uint32_t crc = 0;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
  }
  return crc;
}

// The string stream: 32-bit byte length, UTF-16 characters, padding to 4 bytes.
std::map<uint32_t, std::u16string> names_by_offset(const std::vector<uint8_t>& stream) {
  std::map<uint32_t, std::u16string> out;
  size_t pos = 0;
  while (pos + 4 <= stream.size()) {
    const uint32_t length = get_le<uint32_t>(stream.data() + pos);
    EXPECT_LE(pos + 4 + length, stream.size()) << "name at " << pos;
    if (pos + 4 + length > stream.size()) break;
    std::u16string name;
    for (size_t i = 0; i + 1 < length; i += 2)
      name += static_cast<char16_t>(stream[pos + 4 + i] | (stream[pos + 5 + i] << 8));
    out[static_cast<uint32_t>(pos)] = name;
    pos += 4 + ((length + 3) & ~3u);
  }
  EXPECT_GE(pos, stream.size());
  return out;
}

// The GUIDs of the default set, in list order (wGuid 3 + index).
const char* const default_guids[] = {
    "29F3AB56-554D-11D0-A97C-00A0C911F50A", "00062008-0000-0000-C000-000000000046",
    "00062014-0000-0000-C000-000000000046", "00062003-0000-0000-C000-000000000046",
    "00062004-0000-0000-C000-000000000046", "C1843281-0585-11D0-B290-00AA003CF676",
    "0006200E-0000-0000-C000-000000000046", "0006200B-0000-0000-C000-000000000046",
    "00062002-0000-0000-C000-000000000046", "6ED8DA90-450B-101B-98DA-00AA003F1305",
    "0006200A-0000-0000-C000-000000000046", "29F3AB55-554D-11D0-A97C-00A0C911F50A",
    "29F3AB60-554D-11D0-A97C-00A0C911F50A", "00020386-0000-0000-C000-000000000046",
};

// Default entries: the first and last of every run of the default set (and
// a few from inside the long runs), as (ID, GUID list index or -1 for
// PS_PUBLIC_STRINGS, numeric name or -1 for a string name).
struct default_entry {
  uint16_t id;
  int guid;
  int64_t name;
};
const default_entry default_entries[] = {
    {0x8000, 0, 0xA000},  {0x8001, 1, 0x8510},  {0x8002, 1, 0x8514},  {0x8003, 2, 0x8F07},
    {0x8004, 3, 0x8101},  {0x8009, 3, 0x8123},  {0x800A, 1, 0x8550},  {0x800D, 1, 0x8554},
    {0x803B, 1, 0x8584},  {0x803C, -1, -1},     {0x803D, 4, 0x8056},  {0x8040, 4, 0x8059},
    {0x8041, 5, 0x8001},  {0x804A, 5, 0x800A},  {0x804B, 4, 0x802C},  {0x804E, 4, 0x8022},
    {0x807A, 4, 0x8026},  {0x807B, 6, 0x8B00},  {0x807F, 6, 0x8B05},  {0x8080, 3, 0x810F},
    {0x808E, 3, 0x8126},  {0x808F, 7, 0x8808},  {0x8090, 7, 0x8809},  {0x8091, 4, 0x8027},
    {0x80A0, 4, 0x8054},  {0x80A1, 8, 0x8217},  {0x80A2, 8, 0x8229},  {0x80BD, 8, 0x8201},
    {0x80BE, 9, 0x0021},  {0x80BF, 8, 0x8228},  {0x80C0, 9, 0x0023},  {0x80C1, 9, 0x0003},
    {0x80C2, 8, 0x822B},  {0x80CB, 8, 0x823A},  {0x80CC, 9, 0x0001},  {0x80CE, 9, 0x0024},
    {0x80E7, 9, 0x001D},  {0x80E8, 3, 0x8107},  {0x80F6, 3, 0x811E},  {0x80F7, 10, 0x8708},
    {0x80FC, 10, 0x870C}, {0x80FD, 11, 0xA070}, {0x80FE, 12, 0xA100}, {0x80FF, -1, -1},
    {0x8102, -1, -1},     {0x8103, 13, -1},     {0x8104, -1, -1},     {0x8111, -1, -1},
    {0x8112, 2, 0x8F05},  {0x8113, 8, 0x8214},  {0x8114, 4, 0x8062},  {0x8115, 4, 0x8023},
    {0x8129, 4, 0x8015},  {0x812A, 8, 0x825E},  {0x812B, 8, 0x825F},
};

template <typename bidtype>
class NameMapFileRoundTrip : public ::testing::Test {
 protected:
  using map_t = pst_name_to_id_map<bidtype, file_chartype<bidtype>>;
  ndb_file<bidtype> file;
};
TYPED_TEST_SUITE(NameMapFileRoundTrip, ltp_variants, ltp_variant_name);

TYPED_TEST(NameMapFileRoundTrip, FreshMapStreamsAndBuckets) {
  using map_t = typename TestFixture::map_t;
  const pst_guid other = guid("11111111-2222-3333-4444-555555555555");
  const pst_guid second_default = guid(default_guids[1]);
  auto map = make_ref<map_t>(this->file.get());

  // Names a caller adds to a fresh map, with the IDs they get.
  struct added {
    pst_named_property input;
    uint16_t id;
  } additions[] = {
      {{ps_public_strings.data(), 1, 0, u"X-First"}, 0x812C},
      {{other.data(), 0, 0x8510, nullptr}, 0x812D},    // a default number under another GUID
      {{ps_mapi.data(), 0, 0x0037, nullptr}, 0x812E},  // PS_MAPI goes into the list
      {{other.data(), 1, 0, u"abc"}, 0x812F},          // odd length: padded
      {{nullptr, 1, 0, nullptr}, 0x8130},               // zero GUID, name " "
      {{other.data(), 1, 0, u"Gr\u00FC\u00DFe \U0001F600"}, 0x8131},
      {{ps_public_strings.data(), 1, 0, u"X-First"}, 0x812C},  // known: same ID
      {{ps_public_strings.data(), 1, 0, u"Keywords"}, 0x803C},
      {{second_default.data(), 0, 0x8510, nullptr}, 0x8001},
  };
  for (const auto& a : additions) EXPECT_EQ(map->lookup_or_add(a.input), a.id) << std::hex << a.id;
  // An empty name would have no bucket record: it is refused and takes no ID.
  EXPECT_THROW(map->lookup_or_add({ps_public_strings.data(), 1, 0, u""}), qm_invalid_arg);
  map->commit();
  this->file.add(name_map_nid, map->data_bid(), map->sub_bid());

  auto& reader = this->file.reopen();
  decoded_pc pc = read_property_context(reader, node_id(name_map_nid));
  ASSERT_NE(pc.find(0x0001), nullptr);
  EXPECT_EQ(pc.find(0x0001)->type, prop_type::i4);
  EXPECT_EQ(pc.find(0x0001)->hnid, 251u);
  for (uint16_t id : {0x0002, 0x0003, 0x0004}) {
    ASSERT_NE(pc.find(id), nullptr) << id;
    EXPECT_EQ(pc.find(id)->type, prop_type::binary);
  }
  const std::vector<uint8_t>& guids = pc.find(0x0002)->bytes;
  const std::vector<uint8_t>& entries = pc.find(0x0003)->bytes;
  const std::vector<uint8_t>& strings = pc.find(0x0004)->bytes;

  // GUIDs: the defaults in order, then those first used by the additions.
  const std::vector<pst_guid> expected_guids = [&] {
    std::vector<pst_guid> g;
    for (const char* text : default_guids) g.push_back(guid(text));
    g.push_back(other);
    g.push_back(ps_mapi);
    g.push_back(pst_guid{});
    return g;
  }();
  ASSERT_EQ(guids.size(), 16 * expected_guids.size());
  for (size_t i = 0; i < expected_guids.size(); ++i)
    EXPECT_TRUE(std::equal(expected_guids[i].begin(), expected_guids[i].end(), guids.begin() + 16 * i)) << i;

  // Entries: entry k is ID 0x8000 + k with wPropIdx k.
  const std::map<uint32_t, std::u16string> names = names_by_offset(strings);
  ASSERT_EQ(entries.size(), 8u * (300 + 6));
  struct entry {
    uint32_t property_id;
    uint16_t guid_n;
  };
  std::vector<entry> parsed;
  for (size_t k = 0; k < entries.size() / 8; ++k) {
    const uint8_t* e = entries.data() + 8 * k;
    parsed.push_back({get_le<uint32_t>(e), get_le<uint16_t>(e + 4)});
    EXPECT_EQ(get_le<uint16_t>(e + 6), k);
    if (parsed.back().guid_n & 1) {
      EXPECT_TRUE(names.count(parsed.back().property_id)) << "entry " << k;
    }
  }
  auto guid_of = [&](uint16_t guid_n) -> pst_guid {
    const uint16_t w = guid_n >> 1;
    if (w == 2) return ps_public_strings;
    EXPECT_GE(w, 3) << guid_n;
    return w >= 3 && size_t(w - 3) < expected_guids.size() ? expected_guids[w - 3] : pst_guid{};
  };
  for (const auto& d : default_entries) {
    SCOPED_TRACE(::testing::Message() << std::hex << d.id);
    const entry& e = parsed.at(d.id - 0x8000);
    EXPECT_EQ(e.guid_n >> 1, d.guid < 0 ? 2 : d.guid + 3);
    if (d.name >= 0) {
      EXPECT_EQ(e.guid_n & 1, 0);
      EXPECT_EQ(e.property_id, static_cast<uint32_t>(d.name));
    } else {
      EXPECT_EQ(e.guid_n & 1, 1);
    }
  }
  EXPECT_EQ(names.at(parsed[0x3C].property_id), u"Keywords");
  EXPECT_EQ(names.at(parsed[0x103].property_id), u"Content-Class");
  for (const auto& a : additions) {
    SCOPED_TRACE(::testing::Message() << std::hex << a.id);
    const entry& e = parsed.at(a.id - 0x8000);
    pst_guid g{};
    if (a.input.guid) std::copy(a.input.guid, a.input.guid + 16, g.begin());
    EXPECT_EQ(guid_of(e.guid_n), g);
    if (a.input.kind) {
      ASSERT_EQ(e.guid_n & 1, 1);
      EXPECT_EQ(names.at(e.property_id), a.input.name ? std::u16string(a.input.name) : u" ");
    } else {
      EXPECT_EQ(e.guid_n & 1, 0);
      EXPECT_EQ(e.property_id, a.input.id);
    }
  }
  // A name looked up twice is stored once.
  size_t first_count = 0;
  for (const auto& [offset, name] : names) first_count += name == u"X-First";
  EXPECT_EQ(first_count, 1u);

  // Buckets: every entry with a name hashed into one of 251 buckets.
  std::map<uint16_t, std::vector<uint8_t>> expected_buckets;
  for (size_t k = 0; k < parsed.size(); ++k) {
    uint32_t h = parsed[k].property_id;
    if (parsed[k].guid_n & 1) {
      const std::u16string& name = names.at(parsed[k].property_id);
      if (name.empty()) continue;
      h = reference_crc32(utf16le(name));
    }
    const uint16_t bucket = static_cast<uint16_t>(((parsed[k].guid_n ^ h) % 251) + 0x1000);
    for (const auto& b : {le_bytes<uint32_t>(h), le_bytes<uint16_t>(parsed[k].guid_n), le_bytes<uint16_t>(k)})
      expected_buckets[bucket].insert(expected_buckets[bucket].end(), b.begin(), b.end());
  }
  const uint16_t example = static_cast<uint16_t>(((8u ^ 0x8510u) % 251) + 0x1000);
  ASSERT_TRUE(expected_buckets.count(example));
  std::map<uint16_t, std::vector<uint8_t>> stored_buckets;
  for (const auto& p : pc.properties) {
    if (p.id < 0x1000 || p.id >= 0x1000 + 251) continue;
    EXPECT_EQ(p.type, prop_type::binary) << std::hex << p.id;
    stored_buckets[p.id] = p.bytes;
  }
  EXPECT_EQ(stored_buckets.size(), expected_buckets.size());
  for (const auto& [id, bytes] : expected_buckets) {
    ASSERT_TRUE(stored_buckets.count(id)) << std::hex << id;
    EXPECT_EQ(stored_buckets.at(id), bytes) << std::hex << id;
  }
  // Nothing else is stored in the map's context.
  EXPECT_EQ(pc.properties.size(), 4 + expected_buckets.size());

  // The streams parse back into the same map.
  auto loaded = make_ref<map_t>(static_cast<pst_node_writer<TypeParam>*>(nullptr), false);
  ASSERT_TRUE(loaded->load_streams({guids, entries, strings}));
  const name_map_streams again = loaded->streams();
  EXPECT_EQ(again.guids, guids);
  EXPECT_EQ(again.entries, entries);
  EXPECT_EQ(again.names, strings);
  EXPECT_EQ(loaded->guids(), map->guids());
  EXPECT_EQ(loaded->entries(), map->entries());
  EXPECT_EQ(loaded->names(), map->names());
  for (uint16_t id = 0x8000; id < 0x8000 + map->entries().size(); ++id)
    EXPECT_EQ(loaded->descriptor(id), map->descriptor(id)) << std::hex << id;
  for (const auto& a : additions) EXPECT_EQ(loaded->lookup_or_add(a.input), a.id) << std::hex << a.id;
  EXPECT_EQ(loaded->lookup_or_add({other.data(), 1, 0, u"after reload"}), 0x8132);
}

}  // namespace
}  // namespace vendrel::test
