#include "ltp/name_to_id_map.h"

#include <cstdio>
#include <cstring>

#include "common/crc32.h"
#include "common/errors.h"
#include "common/logger.h"
#include "common/strings.h"
#include "ndb/disk.h"

namespace vendrel {

const pst_guid ps_public_strings = *parse_guid("00020329-0000-0000-C000-000000000046");
const pst_guid ps_mapi = *parse_guid("00020328-0000-0000-C000-000000000046");

std::optional<pst_guid> parse_guid(std::string_view text) {
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
  std::string hex;
  for (char c : text)
    if (c != '-') hex += c;
  uint8_t raw[16];
  for (size_t i = 0; i < 16; ++i) {
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    raw[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  // Data1, Data2 and Data3 are stored little-endian.
  pst_guid g{};
  g[0] = raw[3], g[1] = raw[2], g[2] = raw[1], g[3] = raw[0];
  g[4] = raw[5], g[5] = raw[4];
  g[6] = raw[7], g[7] = raw[6];
  std::memcpy(g.data() + 8, raw + 8, 8);
  return g;
}

std::string guid_text(const pst_guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return buf;
}

namespace {

std::u16string read_utf16(const uint8_t* p, size_t bytes) {
  std::u16string s(bytes / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return s;
}

// Bytes a name takes in the string stream with its padding.
uint32_t name_stride(const std::u16string& name) {
  return static_cast<uint32_t>(4 + 2 * ((name.size() + 1) & ~size_t{1}));
}

std::optional<pst_guid> guid_of_field(uint16_t wguid, const std::vector<pst_guid>& guids) {
  if (wguid == 1) return ps_mapi;
  if (wguid == name_map_guid_public_strings) return ps_public_strings;
  if (wguid >= 3 && size_t(wguid - 3) < guids.size()) return guids[wguid - 3];
  return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------- parser

bool pst_name_to_id_parser::add_guids(const uint8_t* data, size_t size) {
  if (size % 16 || (size && !data)) return false;
  for (size_t i = 0; i < size / 16; ++i) {
    pst_guid g;
    std::memcpy(g.data(), data + 16 * i, 16);
    if (verbose_) logger().write_formatted("[PST] pst_name_to_parser: add new guid (%s)", guid_text(g).c_str());
    if (i < parsed_guids_.size()) {
      if (parsed_guids_[i] != g) {
        logger().write_line("[PST] m_guids[i]!=new_guid");
        parsed_guids_[i] = g;
      }
    } else {
      parsed_guids_.push_back(g);
    }
  }
  return true;
}

bool pst_name_to_id_parser::add_records(const uint8_t* data, size_t size) {
  if (size % 8 || (size && !data)) return false;
  for (size_t i = 0; i < size / 8; ++i) {
    const uint8_t* p = data + 8 * i;
    pst_nameid e{get_le<uint32_t>(p), get_le<uint16_t>(p + 4), get_le<uint16_t>(p + 6)};
    if (verbose_)
      logger().write_formatted("[PST] pst_name_to_parser : add new record (id = %8X  ref_guid = %3d mapi_id %04X)",
                               e.property_id, e.guid_n, e.index + 0x8000u);
    if (e.index >= parsed_entries_.size()) parsed_entries_.resize(size_t{e.index} + 1);
    parsed_entries_[e.index] = e;
  }
  return true;
}

bool pst_name_to_id_parser::add_names(const uint8_t* data, size_t size) {
  if (size && !data) return false;
  size_t pos = 0;
  size_t counter = 0;
  while (pos + 4 <= size) {
    const uint32_t length = get_le<uint32_t>(data + pos);
    if (length > size - pos - 4) {
      logger().write_line("[PST] corrupt stream of names");
      logger().hex_dump(data, size);
      return false;
    }
    std::u16string name = read_utf16(data + pos + 4, length);
    if (verbose_) logger().write_formatted("[PST] pst_name_to_parser: add new name (%s)", to_utf8(name).c_str());
    if (counter < parsed_names_.size()) {
      if (parsed_names_[counter] != name) {
        logger().write_formatted("[PST] m_names[name_counter]!=new_name, [%s]!=[%s]",
                                 to_utf8(parsed_names_[counter]).c_str(), to_utf8(name).c_str());
        parsed_names_[counter] = name;
      }
    } else {
      parsed_names_.push_back(name);
    }
    parsed_name_offsets_[static_cast<uint32_t>(pos)] = counter;
    ++counter;
    pos += 4 + ((size_t{length} + 3) & ~size_t{3});
  }
  if (pos < size) {
    // Fewer than four bytes left: not even a length.
    logger().write_line("[PST] corrupt stream of names");
    logger().hex_dump(data, size);
    return false;
  }
  return true;
}

std::optional<pst_named_property_desc> pst_name_to_id_parser::parsed_descriptor(uint16_t id) const {
  if (id < name_map_first_id) return std::nullopt;
  const size_t k = id - name_map_first_id;
  if (k >= parsed_entries_.size()) return std::nullopt;
  const pst_nameid& e = parsed_entries_[k];
  if (e == pst_nameid{}) return std::nullopt;
  pst_named_property_desc d;
  d.guid = guid_of_field(e.guid_index(), parsed_guids_).value_or(pst_guid{});
  d.is_string = e.is_string();
  if (d.is_string) {
    auto it = parsed_name_offsets_.find(e.property_id);
    if (it == parsed_name_offsets_.end()) return std::nullopt;
    d.name = parsed_names_[it->second];
  } else {
    d.id = e.property_id;
  }
  return d;
}

// ---------------------------------------------------------------- map

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_name_to_id_map<bidtype, chartype>::pst_name_to_id_map(pst_node_writer<bidtype>* writer, bool defaults)
    : pst_property_set_impl<bidtype, chartype>(writer, name_map_nid) {
  if (defaults) load_defaults();
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
pst_name_to_id_map<bidtype, chartype>::pst_name_to_id_map(pst_ndb<bidtype>* ndb, bool defaults)
    : pst_property_set_impl<bidtype, chartype>(ndb, name_map_nid) {
  if (defaults) load_defaults();
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_name_to_id_map<bidtype, chartype>::load_defaults() {
  const name_map_streams& s = default_name_map_streams();
  add_guids(s.guids.data(), s.guids.size());
  add_records(s.entries.data(), s.entries.size());
  add_names(s.names.data(), s.names.size());
  for (size_t k = 0; k < parsed_entries_.size(); ++k) {
    auto d = parsed_descriptor(static_cast<uint16_t>(name_map_first_id + k));
    if (d) lookup_or_add(d->as_input());
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint16_t pst_name_to_id_map<bidtype, chartype>::guid_field(const pst_guid& guid) {
  if (guid == ps_public_strings) return name_map_guid_public_strings;
  for (size_t i = 0; i < guids_.size(); ++i)
    if (guids_[i] == guid) return static_cast<uint16_t>(i + 3);
  if (guids_.size() + 3 > 0x7FFF) throw qm_invalid_arg("named property map holds no more GUIDs");
  guids_.push_back(guid);
  return static_cast<uint16_t>(guids_.size() + 2);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint32_t pst_name_to_id_map<bidtype, chartype>::name_field(const std::u16string& name) {
  if (auto it = name_lookup_.find(name); it != name_lookup_.end()) return name_offsets_[it->second];
  names_.push_back(name);
  name_offsets_.push_back(next_name_offset_);
  name_lookup_[name] = names_.size() - 1;
  offset_lookup_[next_name_offset_] = names_.size() - 1;
  next_name_offset_ += name_stride(name);
  return name_offsets_.back();
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
uint16_t pst_name_to_id_map<bidtype, chartype>::lookup_or_add(const pst_named_property& property) {
  pst_guid guid{};
  if (property.guid) std::memcpy(guid.data(), property.guid, 16);
  // Resolve everything before changing the lists, so that a full map stays as it was.
  const bool is_string = property.kind != 0;
  std::u16string name;
  if (is_string) {
    if (property.name) {
      auto length = bounded_length(property.name);
      if (!length) throw qm_invalid_arg("named property name is not readable");
      // An empty name has no place in the map: its hash bucket would not find it.
      if (*length == 0) throw qm_invalid_arg("named property name is empty");
      name.assign(property.name, *length);
    } else {
      name = u" ";
    }
  }
  if (entries_.size() >= name_map_max_entries) {
    // A full map answers known names and takes nothing new.
    std::optional<uint16_t> wguid;
    if (guid == ps_public_strings) wguid = name_map_guid_public_strings;
    for (size_t i = 0; !wguid && i < guids_.size(); ++i)
      if (guids_[i] == guid) wguid = static_cast<uint16_t>(i + 3);
    std::optional<uint32_t> property_id;
    if (!is_string) property_id = property.id;
    else if (auto it = name_lookup_.find(name); it != name_lookup_.end()) property_id = name_offsets_[it->second];
    if (wguid && property_id) {
      const uint16_t guid_n = static_cast<uint16_t>(*wguid * 2 + (is_string ? 1 : 0));
      auto it = entry_lookup_.find((uint64_t{*property_id} << 16) | guid_n);
      if (it != entry_lookup_.end()) return static_cast<uint16_t>(name_map_first_id + it->second);
    }
    throw qm_invalid_arg("named property map is full (0x8000 entries)");
  }
  const uint16_t wguid = guid_field(guid);
  const uint32_t property_id = is_string ? name_field(name) : property.id;
  const uint16_t guid_n = static_cast<uint16_t>(wguid * 2 + (is_string ? 1 : 0));
  const uint64_t key = (uint64_t{property_id} << 16) | guid_n;
  if (auto it = entry_lookup_.find(key); it != entry_lookup_.end()) return static_cast<uint16_t>(name_map_first_id + it->second);
  const uint16_t k = static_cast<uint16_t>(entries_.size());
  entries_.push_back({property_id, guid_n, k});
  entry_lookup_[key] = k;
  return static_cast<uint16_t>(name_map_first_id + k);
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::optional<pst_named_property_desc> pst_name_to_id_map<bidtype, chartype>::descriptor(uint16_t id) const {
  if (id < name_map_first_id) return std::nullopt;
  const size_t k = id - name_map_first_id;
  if (k >= entries_.size()) return std::nullopt;
  const pst_nameid& e = entries_[k];
  if (e == pst_nameid{}) return std::nullopt;
  pst_named_property_desc d;
  d.guid = guid_of_field(e.guid_index(), guids_).value_or(pst_guid{});
  d.is_string = e.is_string();
  if (d.is_string) {
    auto it = offset_lookup_.find(e.property_id);
    if (it == offset_lookup_.end()) return std::nullopt;
    d.name = names_[it->second];
  } else {
    d.id = e.property_id;
  }
  return d;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_name_to_id_map<bidtype, chartype>::copy_into(pst_name_to_id_map& other) const {
  for (size_t k = 0; k < entries_.size(); ++k) {
    auto d = descriptor(static_cast<uint16_t>(name_map_first_id + k));
    if (d) other.lookup_or_add(d->as_input());
  }
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_name_to_id_map<bidtype, chartype>::rebuild_indexes() {
  name_lookup_.clear();
  offset_lookup_.clear();
  entry_lookup_.clear();
  name_offsets_.clear();
  next_name_offset_ = 0;
  for (size_t i = 0; i < names_.size(); ++i) {
    name_offsets_.push_back(next_name_offset_);
    name_lookup_.emplace(names_[i], i);
    offset_lookup_[next_name_offset_] = i;
    next_name_offset_ += name_stride(names_[i]);
  }
  for (size_t k = 0; k < entries_.size(); ++k)
    entry_lookup_.emplace((uint64_t{entries_[k].property_id} << 16) | entries_[k].guid_n, static_cast<uint16_t>(k));
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
bool pst_name_to_id_map<bidtype, chartype>::load_streams(const name_map_streams& streams) {
  parsed_guids_.clear();
  parsed_entries_.clear();
  parsed_names_.clear();
  parsed_name_offsets_.clear();
  bool ok = add_guids(streams.guids.data(), streams.guids.size());
  ok = add_records(streams.entries.data(), streams.entries.size()) && ok;
  ok = add_names(streams.names.data(), streams.names.size()) && ok;
  guids_ = parsed_guids_;
  entries_ = parsed_entries_;
  for (size_t k = 0; k < entries_.size(); ++k) entries_[k].index = static_cast<uint16_t>(k);
  names_ = parsed_names_;
  rebuild_indexes();
  return ok;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
name_map_streams pst_name_to_id_map<bidtype, chartype>::streams() const {
  name_map_streams s;
  for (const auto& g : guids_) s.guids.insert(s.guids.end(), g.begin(), g.end());
  for (const auto& e : entries_) {
    uint8_t r[8];
    put_le<uint32_t>(r, e.property_id);
    put_le<uint16_t>(r + 4, e.guid_n);
    put_le<uint16_t>(r + 6, e.index);
    s.entries.insert(s.entries.end(), r, r + 8);
  }
  for (size_t i = 0; i < names_.size(); ++i) {
    const std::u16string& n = names_[i];
    uint8_t len[4];
    put_le<uint32_t>(len, static_cast<uint32_t>(2 * n.size()));
    s.names.insert(s.names.end(), len, len + 4);
    for (char16_t c : n) {
      s.names.push_back(static_cast<uint8_t>(c));
      s.names.push_back(static_cast<uint8_t>(c >> 8));
    }
    if ((n.size() % 2) && i + 1 < names_.size()) s.names.insert(s.names.end(), 2, 0);
  }
  return s;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
std::map<uint16_t, std::vector<uint8_t>> pst_name_to_id_map<bidtype, chartype>::buckets() const {
  std::map<uint16_t, std::vector<uint8_t>> out;
  for (const auto& e : entries_) {
    uint32_t h = e.property_id;
    if (e.is_string()) {
      auto it = offset_lookup_.find(e.property_id);
      if (it == offset_lookup_.end() || names_[it->second].empty()) continue;
      const std::u16string& n = names_[it->second];
      std::vector<uint8_t> bytes;
      for (char16_t c : n) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
      }
      h = crc32(bytes.data(), bytes.size(), 0);
    }
    const uint16_t id = static_cast<uint16_t>(((e.guid_n ^ h) % name_map_bucket_count) + name_map_tag::first_bucket);
    std::vector<uint8_t>& bucket = out[id];
    bool present = false;
    for (size_t i = 0; i + 8 <= bucket.size(); i += 8)
      if (get_le<uint16_t>(bucket.data() + i + 6) == e.index) present = true;
    if (present) continue;
    uint8_t r[8];
    put_le<uint32_t>(r, h);
    put_le<uint16_t>(r + 4, e.guid_n);
    put_le<uint16_t>(r + 6, e.index);
    bucket.insert(bucket.end(), r, r + 8);
  }
  return out;
}

template <ndb_bidtype bidtype, ltp_chartype chartype>
void pst_name_to_id_map<bidtype, chartype>::commit() {
  name_map_streams s = streams();
  this->set_property(pst_property_value::of_u32(name_map_tag::bucket_count, name_map_bucket_count));
  this->set_property(pst_property_value::of_bytes(name_map_tag::guid_stream, s.guids));
  this->set_property(pst_property_value::of_bytes(name_map_tag::entry_stream, s.entries));
  this->set_property(pst_property_value::of_bytes(name_map_tag::string_stream, s.names));
  for (uint32_t b = 0; b < name_map_bucket_count; ++b)
    this->remove_property(static_cast<uint16_t>(name_map_tag::first_bucket + b));
  for (const auto& [id, bytes] : buckets())
    this->set_property(pst_property_value::of_bytes(make_tag(id, prop_type::binary), bytes));
  pst_property_set_impl<bidtype, chartype>::commit();
}

template class pst_name_to_id_map<uint32_t, char>;
template class pst_name_to_id_map<uint64_t, char16_t>;

}  // namespace vendrel
