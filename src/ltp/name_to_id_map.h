// The named property map ([MS-PST] 2.4.7): property IDs from 0x8000 for
// (GUID, numeric or string name) pairs, stored as the property context of
// NID 0x61 with a GUID stream, an entry stream, a string stream and hash
// buckets. Every new map starts with a fixed default set of 300 names.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ltp/property_set.h"

namespace vendrel {

using pst_guid = std::array<uint8_t, 16>;

inline constexpr uint32_t name_map_nid = 0x61;
inline constexpr uint32_t name_map_bucket_count = 251;
inline constexpr uint16_t name_map_first_id = 0x8000;
inline constexpr size_t name_map_max_entries = 0x8000;
inline constexpr uint16_t name_map_guid_public_strings = 2;

namespace name_map_tag {
inline constexpr uint32_t bucket_count = 0x00010003;
inline constexpr uint32_t guid_stream = 0x00020102;
inline constexpr uint32_t entry_stream = 0x00030102;
inline constexpr uint32_t string_stream = 0x00040102;
inline constexpr uint16_t first_bucket = 0x1000;
}  // namespace name_map_tag

// {00020329-0000-0000-C000-000000000046}
extern const pst_guid ps_public_strings;
// {00020328-0000-0000-C000-000000000046}
extern const pst_guid ps_mapi;

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (Data1..Data3 little-endian on disk).
std::optional<pst_guid> parse_guid(std::string_view text);
std::string guid_text(const pst_guid& guid);

// Input of a lookup: a GUID (null stands for the all-zero GUID), a kind
// (0 numeric, otherwise string) and the numeric name or a UTF-16 name (null
// stands for a single space).
struct pst_named_property {
  const uint8_t* guid = nullptr;
  uint32_t kind = 0;
  uint32_t id = 0;
  const char16_t* name = nullptr;
};

// A named property as the map knows it.
struct pst_named_property_desc {
  pst_guid guid{};
  bool is_string = false;
  uint32_t id = 0;
  std::u16string name;
  pst_named_property as_input() const { return {guid.data(), is_string ? 1u : 0u, id, is_string ? name.c_str() : nullptr}; }
  friend bool operator==(const pst_named_property_desc&, const pst_named_property_desc&) = default;
};

// [MS-PST] 2.4.7.1 NAMEID.
struct pst_nameid {
  uint32_t property_id = 0;  // numeric name, or the name's string-stream offset
  uint16_t guid_n = 0;       // wGuid x 2 + N
  uint16_t index = 0;        // wPropIdx
  bool is_string() const { return guid_n & 1; }
  uint16_t guid_index() const { return guid_n >> 1; }
  friend bool operator==(const pst_nameid&, const pst_nameid&) = default;
};

// The three streams of a map, as stored.
struct name_map_streams {
  std::vector<uint8_t> guids;
  std::vector<uint8_t> entries;
  std::vector<uint8_t> names;
};
// The built-in streams of the default set (14 GUIDs, 300 entries, 20 names).
const name_map_streams& default_name_map_streams();

// Reads the three streams of a map.
class pst_name_to_id_parser {
 public:
  // Each returns false when the stream is malformed; what was read is kept.
  bool add_guids(const uint8_t* data, size_t size);
  bool add_records(const uint8_t* data, size_t size);
  bool add_names(const uint8_t* data, size_t size);
  void set_verbose(bool verbose) { verbose_ = verbose; }

  const std::vector<pst_guid>& parsed_guids() const { return parsed_guids_; }
  const std::vector<pst_nameid>& parsed_entries() const { return parsed_entries_; }
  const std::vector<std::u16string>& parsed_names() const { return parsed_names_; }
  // The descriptor of a parsed entry; none below 0x8000, beyond the list or
  // for an all-zero entry or a name offset the string stream lacks.
  std::optional<pst_named_property_desc> parsed_descriptor(uint16_t id) const;

 protected:
  std::vector<pst_guid> parsed_guids_;
  std::vector<pst_nameid> parsed_entries_;  // by wPropIdx
  std::vector<std::u16string> parsed_names_;
  std::map<uint32_t, size_t> parsed_name_offsets_;  // string-stream offset -> name
  bool verbose_ = false;
};

template <ndb_bidtype bidtype, ltp_chartype chartype>
class pst_name_to_id_map : public pst_property_set_impl<bidtype, chartype>, public pst_name_to_id_parser {
 public:
  // A map for node 0x61; with `load_defaults` it starts with the default set.
  explicit pst_name_to_id_map(pst_node_writer<bidtype>* writer, bool load_defaults = true);
  explicit pst_name_to_id_map(pst_ndb<bidtype>* ndb, bool load_defaults = true);

  // The property ID of a name, added when new; qm_invalid_arg when the map
  // already holds 0x8000 entries.
  uint16_t lookup_or_add(const pst_named_property& property);
  std::optional<pst_named_property_desc> descriptor(uint16_t id) const;
  // Looks every entry of this map up in the other, in ID order.
  void copy_into(pst_name_to_id_map& other) const;
  // Replaces the map's lists by those of stored streams; false when a
  // stream is malformed.
  bool load_streams(const name_map_streams& streams);

  // Sets the stream and bucket properties, then commits the property context.
  void commit() override;
  // The streams and buckets as commit stores them.
  name_map_streams streams() const;
  std::map<uint16_t, std::vector<uint8_t>> buckets() const;

  const std::vector<pst_guid>& guids() const { return guids_; }
  const std::vector<pst_nameid>& entries() const { return entries_; }
  const std::vector<std::u16string>& names() const { return names_; }
  size_t name_offset(size_t name_index) const { return name_offsets_[name_index]; }

 protected:
  ~pst_name_to_id_map() override = default;

 private:
  uint16_t guid_field(const pst_guid& guid);
  uint32_t name_field(const std::u16string& name);
  void rebuild_indexes();
  void load_defaults();

  std::vector<pst_guid> guids_;
  std::vector<pst_nameid> entries_;
  std::vector<std::u16string> names_;
  std::vector<uint32_t> name_offsets_;
  uint32_t next_name_offset_ = 0;
  std::map<std::u16string, size_t> name_lookup_;
  std::map<uint32_t, size_t> offset_lookup_;
  std::unordered_map<uint64_t, uint16_t> entry_lookup_;  // (property_id, guid_n) -> index
};

}  // namespace vendrel
