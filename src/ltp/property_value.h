// One property value: a 32-bit tag (ID in the high half, type in the low
// half), a byte size, and the value held inline (fixed-size types), as an
// owned copy of the bytes followed by two zero bytes (every other type), or
// as a stream that is written straight into a subnode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/base_object.h"
#include "ndb/xstream.h"

namespace vendrel {

namespace prop_type {
inline constexpr uint16_t unspecified = 0x0000;
inline constexpr uint16_t i2 = 0x0002;
inline constexpr uint16_t i4 = 0x0003;
inline constexpr uint16_t r4 = 0x0004;
inline constexpr uint16_t r8 = 0x0005;
inline constexpr uint16_t currency = 0x0006;
inline constexpr uint16_t apptime = 0x0007;
inline constexpr uint16_t error = 0x000A;
inline constexpr uint16_t boolean = 0x000B;
inline constexpr uint16_t object = 0x000D;
inline constexpr uint16_t i8 = 0x0014;
inline constexpr uint16_t string8 = 0x001E;
inline constexpr uint16_t unicode = 0x001F;
inline constexpr uint16_t systime = 0x0040;
inline constexpr uint16_t clsid = 0x0048;
inline constexpr uint16_t binary = 0x0102;
inline constexpr uint16_t multi = 0x1000;
}  // namespace prop_type

constexpr uint32_t make_tag(uint16_t id, uint16_t type) { return (uint32_t{id} << 16) | type; }
constexpr uint16_t tag_id(uint32_t tag) { return static_cast<uint16_t>(tag >> 16); }
constexpr uint16_t tag_type(uint32_t tag) { return static_cast<uint16_t>(tag & 0xFFFF); }

// Types whose value sits in an 8-byte inline field.
constexpr bool is_inline_type(uint16_t type) {
  switch (type) {
    case prop_type::unspecified:
    case prop_type::i2:
    case prop_type::i4:
    case prop_type::r4:
    case prop_type::r8:
    case prop_type::boolean:
    case prop_type::i8:
    case prop_type::systime:
      return true;
    default:
      return false;
  }
}
// The natural width of an inline type.
constexpr size_t natural_size(uint16_t type) {
  switch (type) {
    case prop_type::i2:
      return 2;
    case prop_type::i4:
    case prop_type::r4:
      return 4;
    case prop_type::boolean:
      return 1;
    default:
      return 8;
  }
}

// Why `size` bytes cannot be a value of the type as it is stored in a
// property context ([MS-PST] 2.3.3.4): a fixed-size type of another width, a
// UTF-16 string of odd length, a fixed-size multi-valued value that is not
// a whole number of elements, a variable-size multi-valued value whose count
// or offsets do not fit its bytes, or a type no bound value may have
// (PT_UNSPECIFIED, PT_NULL, types outside [MS-OXCDATA]). nullptr when the
// bytes are a valid value. PT_BOOLEAN takes 1, 2 or 4 bytes (the property
// context widens them); PT_STRING8, PT_BINARY and PT_OBJECT any number.
const char* value_size_fault(uint16_t type, const uint8_t* data, size_t size);

class pst_property_value {
 public:
  pst_property_value() = default;
  // Copies `size` bytes (inline types: cut to the natural size above 8).
  // Data that is null for a non-zero size is qm_invalid_arg.
  pst_property_value(uint32_t tag, const void* data, size_t size);
  // A stream value: its bytes are written into a subnode when committed.
  pst_property_value(uint32_t tag, ref<pst_const_stream> stream);

  static pst_property_value of_u32(uint32_t tag, uint32_t value);
  static pst_property_value of_u64(uint32_t tag, uint64_t value);
  static pst_property_value of_bool(uint32_t tag, bool value);
  static pst_property_value of_string(uint32_t tag, std::string_view text);
  static pst_property_value of_string(uint32_t tag, std::u16string_view text);
  static pst_property_value of_bytes(uint32_t tag, const std::vector<uint8_t>& bytes);

  uint32_t tag() const { return tag_; }
  uint16_t id() const { return tag_id(tag_); }
  uint16_t type() const { return tag_type(tag_); }
  size_t size() const { return size_; }
  bool is_stream() const { return static_cast<bool>(stream_); }
  pst_const_stream* stream() const { return stream_.get(); }

  // The value's bytes (inline field or owned copy); null for a stream value
  // or an empty value.
  const uint8_t* data() const;
  // The inline field's bytes as a little-endian number (0 for other kinds).
  uint64_t as_u64() const;
  // The bytes as text of either width (the owned copy, without the
  // terminating zero bytes).
  std::string as_string8() const;
  std::u16string as_unicode() const;

  // The same value under another tag.
  pst_property_value retagged(uint32_t tag) const;

 private:
  uint32_t tag_ = 0;
  size_t size_ = 0;
  std::array<uint8_t, 8> inline_{};
  std::vector<uint8_t> bytes_;  // size_ bytes and two zero bytes
  ref<pst_const_stream> stream_;
};

}  // namespace vendrel
