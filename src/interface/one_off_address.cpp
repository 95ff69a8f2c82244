#include "interface/one_off_address.h"

namespace vendrel {
namespace {

template <typename CharT>
std::basic_string<CharT> widen_ascii(std::string_view text) {
  return std::basic_string<CharT>(text.begin(), text.end());
}

// Appends the string and its terminator, little-endian code units.
template <typename CharT>
void append_terminated(std::vector<uint8_t>& out, const std::basic_string<CharT>& text) {
  for (CharT unit : text) {
    auto value = static_cast<uint16_t>(static_cast<std::make_unsigned_t<CharT>>(unit));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    if constexpr (sizeof(CharT) == 2) out.push_back(static_cast<uint8_t>(value >> 8));
  }
  for (size_t i = 0; i < sizeof(CharT); ++i) out.push_back(0);
}

}  // namespace

template <typename CharT>
void OneOffAddress<CharT>::build(const CharT* email, const CharT* display_name, const CharT* address_type) {
  clear();
  email_ = email ? string(email) : widen_ascii<CharT>(placeholder_email);
  display_name_ = display_name ? string(display_name) : email_;
  address_type_ = address_type ? string(address_type) : widen_ascii<CharT>(default_address_type);

  // Offset 0: flags; 4: provider UID; 20: version; 22: flags (bit 0x8000 marks UTF-16 strings).
  entry_id_.assign(24, 0);
  for (size_t i = 0; i < 16; ++i) entry_id_[4 + i] = one_off_provider_uid[i];
  const uint16_t flags = sizeof(CharT) == 2 ? 0x8001 : 0x1001;
  entry_id_[22] = static_cast<uint8_t>(flags & 0xFF);
  entry_id_[23] = static_cast<uint8_t>(flags >> 8);
  append_terminated(entry_id_, display_name_);
  append_terminated(entry_id_, address_type_);
  append_terminated(entry_id_, email_);

  search_key_ = address_type_;
  search_key_.push_back(CharT(':'));
  search_key_ += email_;
}

template <typename CharT>
void OneOffAddress<CharT>::clear() {
  entry_id_.clear();
  email_.clear();
  display_name_.clear();
  address_type_.clear();
  search_key_.clear();
}

template <typename CharT>
uint32_t OneOffAddress<CharT>::entry_id_length() const {
  return static_cast<uint32_t>(entry_id_.size() / sizeof(CharT));
}

template class OneOffAddress<char>;
template class OneOffAddress<char16_t>;

}  // namespace vendrel
