// The default set of the named property map: the names every new store
// knows from the start, so that well-known names always get the same IDs
// (0x8000 .. 0x812B in table order). Built here into the three streams the
// parser reads.
#include <cstdlib>
#include <string>
#include <vector>

#include "ltp/name_to_id_map.h"
#include "ndb/disk.h"

namespace vendrel {

namespace {

const char* const default_guids[] = {
    "29F3AB56-554D-11D0-A97C-00A0C911F50A", "00062008-0000-0000-C000-000000000046",
    "00062014-0000-0000-C000-000000000046", "00062003-0000-0000-C000-000000000046",
    "00062004-0000-0000-C000-000000000046", "C1843281-0585-11D0-B290-00AA003CF676",
    "0006200E-0000-0000-C000-000000000046", "0006200B-0000-0000-C000-000000000046",
    "00062002-0000-0000-C000-000000000046", "6ED8DA90-450B-101B-98DA-00AA003F1305",
    "0006200A-0000-0000-C000-000000000046", "29F3AB55-554D-11D0-A97C-00A0C911F50A",
    "29F3AB60-554D-11D0-A97C-00A0C911F50A", "00020386-0000-0000-C000-000000000046",
};

// The string names in order of first use. Besides "Keywords" and
// "Content-Class" these are schema-style names of the public-strings set
// that mark folders and forms: a hidden marker, form lookup, the folder
// kinds, reply and forward display flags, a run-at marker, a template
// description and a no-duplicate-documents flag.
const char16_t* const default_names[] = {
    u"Keywords",
    u"urn:schemas:vendrel:item#hidden",
    u"urn:schemas:vendrel:forms#lookup",
    u"urn:schemas:vendrel:item#run-at",
    u"urn:schemas:vendrel:forms#template-description",
    u"Content-Class",
    u"http://schemas.vendrel.invalid/folder-kind/inbox",
    u"http://schemas.vendrel.invalid/folder-kind/calendar",
    u"http://schemas.vendrel.invalid/folder-kind/tasks",
    u"http://schemas.vendrel.invalid/folder-kind/journal",
    u"http://schemas.vendrel.invalid/folder-kind/contacts",
    u"http://schemas.vendrel.invalid/folder-kind/notes",
    u"http://schemas.vendrel.invalid/folder-kind/drafts",
    u"http://schemas.vendrel.invalid/folder-kind/outbox",
    u"urn:schemas:vendrel:display#reply",
    u"urn:schemas:vendrel:display#reply-all",
    u"urn:schemas:vendrel:display#forward",
    u"urn:schemas:vendrel:display#preview",
    u"urn:schemas:vendrel:item#no-duplicate-documents",
    u"urn:schemas:vendrel:forms#custom",
};

// Runs in ID order: GUID index (-1 for PS_PUBLIC_STRINGS), then the names:
// hexadecimal numbers and ranges, or "$n" for string name n.
struct run {
  int guid;
  const char* names;
};
const run default_runs[] = {
    {0, "A000"},
    {1, "8510 8514"},
    {2, "8F07"},
    {3, "8101 8113 8108 8105 811C 8123"},
    {1, "8550-8552 8554 8506 8501-8502 8560 8516-8517 8503 851C-851F 850E 8511 8515 8518-8519 8542 850F 851B "
        "8513 8520 8540-8541 8524 8534-8535 8539-853A 8530 851A 8536-8538 8543-8545 8549 8570 8580-8582 8578 8583 "
        "8586 8585 8584"},
    {-1, "$0"},
    {4, "8056-8059"},
    {5, "8001-800A"},
    {4, "802C-802E 8022 8046 8049-804A 8048 8047 8045 802B 8055 8061 8082-8085 8092-8095 80A2-80A5 8029 8028 "
        "805B-805C 8006 8005 801A-801C 80B2-80B5 80C2-80C5 80D2-80D5 8025-8026"},
    {6, "8B00 8B02-8B05"},
    {3, "810F 8104 8102 8110-8111 8124 812C 8129-812A 8127 8112 8121 811F 8103 8126"},
    {7, "8808-8809"},
    {4, "8027 804F-8052 800E 8010 80D8 8007 800B 802A 8016 8053 804C 804B 8054"},
    {8, "8217 8229 8233 8208 8216 8215 8205 8223 820E 820D 8241 8243 8242 8244 8247-8248 8213 8224 8218 "
        "8231-8232 8234-8236 8245-8246 8249 8200-8201"},
    {9, "0021"},
    {8, "8228"},
    {9, "0023 0003"},
    {8, "822B 8226 8220 8206 8230 8237-8238 8240 8202 823A"},
    {9, "0001-0002 0024 0004-0005 000A 0006-0009 000B-000C 001C 000D-001A 001D"},
    {3, "8107 8120 811B 8119 8109 811A 8115 8122 8125 812B 812F 8117 8116 811D-811E"},
    {10, "8708 8706 8712 8700 8707 870C"},
    {11, "A070"},
    {12, "A100"},
    {-1, "$1 $2 $3 $4"},
    {13, "$5"},
    {-1, "$6 $7 $8 $9 $10 $11 $12 $13 $14 $15 $16 $17 $18 $19"},
    {2, "8F05"},
    {8, "8214"},
    {4, "8062 8023 8080-8081 8086 8090-8091 8096 80A0-80A1 80A6 80B0-80B1 80B6 80C0-80C1 80C6 80D0-80D1 80D6 80D9 "
        "8015"},
    {8, "825E-825F"},
};

void put_name(std::vector<uint8_t>& out, const std::u16string& name) {
  uint8_t len[4];
  put_le<uint32_t>(len, static_cast<uint32_t>(2 * name.size()));
  out.insert(out.end(), len, len + 4);
  for (char16_t c : name) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (name.size() % 2) out.insert(out.end(), 2, 0);
}

name_map_streams build_default_streams() {
  name_map_streams s;
  for (const char* text : default_guids) {
    pst_guid g = *parse_guid(text);
    s.guids.insert(s.guids.end(), g.begin(), g.end());
  }
  std::vector<uint32_t> offsets;
  for (const char16_t* name : default_names) {
    offsets.push_back(static_cast<uint32_t>(s.names.size()));
    put_name(s.names, name);
  }
  // The last name carries no padding.
  if (std::u16string(default_names[std::size(default_names) - 1]).size() % 2) s.names.resize(s.names.size() - 2);

  uint16_t index = 0;
  auto add = [&](uint32_t property_id, uint16_t guid_n) {
    uint8_t r[8];
    put_le<uint32_t>(r, property_id);
    put_le<uint16_t>(r + 4, guid_n);
    put_le<uint16_t>(r + 6, index++);
    s.entries.insert(s.entries.end(), r, r + 8);
  };
  for (const run& r : default_runs) {
    const uint16_t wguid = r.guid < 0 ? name_map_guid_public_strings : static_cast<uint16_t>(r.guid + 3);
    std::string names = r.names;
    size_t pos = 0;
    while (pos < names.size()) {
      size_t end = names.find(' ', pos);
      if (end == std::string::npos) end = names.size();
      std::string token = names.substr(pos, end - pos);
      pos = end + 1;
      if (token.empty()) continue;
      if (token[0] == '$') {
        add(offsets[std::stoul(token.substr(1))], static_cast<uint16_t>(wguid * 2 + 1));
        continue;
      }
      size_t dash = token.find('-');
      uint32_t first = static_cast<uint32_t>(std::stoul(token.substr(0, dash), nullptr, 16));
      uint32_t last = dash == std::string::npos ? first : static_cast<uint32_t>(std::stoul(token.substr(dash + 1), nullptr, 16));
      for (uint32_t n = first; n <= last; ++n) add(n, static_cast<uint16_t>(wguid * 2));
    }
  }
  return s;
}

}  // namespace

const name_map_streams& default_name_map_streams() {
  static const name_map_streams streams = build_default_streams();
  return streams;
}

}  // namespace vendrel
