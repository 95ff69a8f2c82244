#include "ltp/property_value.h"

#include <cstring>

#include "common/errors.h"

namespace vendrel {

namespace {

// The element width of a fixed-size multi-valued type; 0 for the others.
size_t multi_element_size(uint16_t type) {
  switch (type) {
    case prop_type::multi | prop_type::i2: return 2;
    case prop_type::multi | prop_type::i4:
    case prop_type::multi | prop_type::r4: return 4;
    case prop_type::multi | prop_type::r8:
    case prop_type::multi | prop_type::currency:
    case prop_type::multi | prop_type::apptime:
    case prop_type::multi | prop_type::i8:
    case prop_type::multi | prop_type::systime: return 8;
    case prop_type::multi | prop_type::clsid: return 16;
    default: return 0;
  }
}

uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// A variable-size multi-valued value: ulCount, ulCount offsets from the
// value's start, then the elements, each running to the next offset.
const char* multi_variable_fault(uint16_t type, const uint8_t* data, size_t size) {
  if (size < 4) return "a multi-valued value shorter than its count";
  const uint32_t count = le32(data);
  if (count > (size - 4) / 4) return "a multi-valued value whose count runs past its size";
  const size_t first = 4 + size_t{count} * 4;
  size_t previous = first;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t offset = le32(data + 4 + size_t{i} * 4);
    if (offset < previous || offset > size) return "a multi-valued value whose offsets run outside its data";
    if (i > 0 && type == (prop_type::multi | prop_type::unicode) && (offset - previous) % 2)
      return "a multi-valued UTF-16 string of odd length";
    previous = offset;
  }
  if (count > 0 && type == (prop_type::multi | prop_type::unicode) && (size - previous) % 2)
    return "a multi-valued UTF-16 string of odd length";
  return nullptr;
}

}  // namespace

const char* value_size_fault(uint16_t type, const uint8_t* data, size_t size) {
  switch (type) {
    case prop_type::i2: return size == 2 ? nullptr : "a PT_SHORT value not of 2 bytes";
    case prop_type::i4: return size == 4 ? nullptr : "a PT_LONG value not of 4 bytes";
    case prop_type::r4: return size == 4 ? nullptr : "a PT_FLOAT value not of 4 bytes";
    case prop_type::error: return size == 4 ? nullptr : "a PT_ERROR value not of 4 bytes";
    case prop_type::boolean:
      return size == 1 || size == 2 || size == 4 ? nullptr : "a PT_BOOLEAN value not of 1, 2 or 4 bytes";
    case prop_type::i8: return size == 8 ? nullptr : "a PT_I8 value not of 8 bytes";
    case prop_type::r8: return size == 8 ? nullptr : "a PT_DOUBLE value not of 8 bytes";
    case prop_type::currency: return size == 8 ? nullptr : "a PT_CURRENCY value not of 8 bytes";
    case prop_type::apptime: return size == 8 ? nullptr : "a PT_APPTIME value not of 8 bytes";
    case prop_type::systime: return size == 8 ? nullptr : "a PT_SYSTIME value not of 8 bytes";
    case prop_type::clsid: return size == 16 ? nullptr : "a PT_CLSID value not of 16 bytes";
    case prop_type::string8:
    case prop_type::binary:
    case prop_type::object: return nullptr;
    case prop_type::unicode: return size % 2 == 0 ? nullptr : "a UTF-16 string value of odd length";
    case prop_type::multi | prop_type::string8:
    case prop_type::multi | prop_type::unicode:
    case prop_type::multi | prop_type::binary: return multi_variable_fault(type, data, size);
    default: break;
  }
  if (const size_t element = multi_element_size(type))
    return size % element == 0 ? nullptr : "a multi-valued value that is not a whole number of elements";
  return "a property type no value can be bound with";
}

pst_property_value::pst_property_value(uint32_t tag, const void* data, size_t size) : tag_(tag) {
  if (size > 0 && !data) throw qm_invalid_arg("property value data is not readable");
  const uint16_t type = tag_type(tag);
  if (is_inline_type(type)) {
    if (size > 8) size = natural_size(type);
    size_ = size;
    if (size) std::memcpy(inline_.data(), data, size);
    return;
  }
  size_ = size;
  if (size == 0 && !data) return;
  bytes_.resize(size + 2, 0);
  if (size) std::memcpy(bytes_.data(), data, size);
}

pst_property_value::pst_property_value(uint32_t tag, ref<pst_const_stream> stream)
    : tag_(tag), stream_(std::move(stream)) {
  if (!stream_) throw qm_invalid_arg("property stream is missing");
  size_ = static_cast<size_t>(stream_->size());
}

pst_property_value pst_property_value::of_u32(uint32_t tag, uint32_t value) {
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(value >> (8 * i));
  size_t n = natural_size(tag_type(tag));
  return pst_property_value(tag, b, n < 4 ? n : 4);
}

pst_property_value pst_property_value::of_u64(uint32_t tag, uint64_t value) {
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(value >> (8 * i));
  return pst_property_value(tag, b, 8);
}

pst_property_value pst_property_value::of_bool(uint32_t tag, bool value) {
  uint8_t b = value ? 1 : 0;
  return pst_property_value(tag, &b, 1);
}

pst_property_value pst_property_value::of_string(uint32_t tag, std::string_view text) {
  return pst_property_value(tag, text.empty() ? "" : text.data(), text.size());
}

pst_property_value pst_property_value::of_string(uint32_t tag, std::u16string_view text) {
  std::vector<uint8_t> bytes(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(text[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
  return pst_property_value(tag, bytes.empty() ? "" : reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

pst_property_value pst_property_value::of_bytes(uint32_t tag, const std::vector<uint8_t>& bytes) {
  return pst_property_value(tag, bytes.empty() ? "" : reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

const uint8_t* pst_property_value::data() const {
  if (stream_) return nullptr;
  if (is_inline_type(type())) return inline_.data();
  return bytes_.empty() ? nullptr : bytes_.data();
}

uint64_t pst_property_value::as_u64() const {
  if (!is_inline_type(type())) return 0;
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t{inline_[i]} << (8 * i);
  return v;
}

std::string pst_property_value::as_string8() const {
  const uint8_t* p = data();
  if (!p || stream_) return {};
  return std::string(reinterpret_cast<const char*>(p), size_);
}

std::u16string pst_property_value::as_unicode() const {
  const uint8_t* p = data();
  if (!p || stream_) return {};
  std::u16string out(size_ / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return out;
}

pst_property_value pst_property_value::retagged(uint32_t tag) const {
  pst_property_value copy = *this;
  copy.tag_ = tag;
  return copy;
}

}  // namespace vendrel
