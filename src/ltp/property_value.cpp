#include "ltp/property_value.h"

#include <cstring>

#include "common/errors.h"

namespace vendrel {

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
