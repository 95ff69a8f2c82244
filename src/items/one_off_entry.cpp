#include "items/one_off_entry.h"

#include "ltp/property_set.h"

namespace vendrel {
namespace {

template <typename CharT>
std::basic_string<CharT> ascii(std::string_view text) {
  return std::basic_string<CharT>(text.begin(), text.end());
}

// The entry ID's strings: UTF-16, or 8-bit in the code page of a file's
// 8-bit strings (a host's narrow text is converted to it, as when stored).
template <typename CharT>
void append_terminated(std::vector<uint8_t>& out, const std::basic_string<CharT>& given) {
  std::basic_string<CharT> text = given;
  if constexpr (sizeof(CharT) == 1) text = host_to_file_string(given);
  for (CharT unit : text) {
    const auto value = static_cast<uint16_t>(static_cast<std::make_unsigned_t<CharT>>(unit));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    if constexpr (sizeof(CharT) == 2) out.push_back(static_cast<uint8_t>(value >> 8));
  }
  for (size_t i = 0; i < sizeof(CharT); ++i) out.push_back(0);
}

}  // namespace

template <typename CharT>
pst_one_off_entry<CharT>::pst_one_off_entry(std::optional<view> email, std::optional<view> display_name,
                                            std::optional<view> address_type)
    : email_(email ? string(*email) : ascii<CharT>(one_off_placeholder_email)),
      display_name_(display_name ? string(*display_name) : email_),
      address_type_(address_type ? string(*address_type) : ascii<CharT>(one_off_default_address_type)) {
  // 0: flags; 4: provider UID; 20: version; 22: flags (0x8000: UTF-16 strings).
  entry_id_.assign(24, 0);
  for (size_t i = 0; i < 16; ++i) entry_id_[4 + i] = one_off_provider_uid[i];
  const uint16_t flags = sizeof(CharT) == 2 ? 0x8001 : 0x1001;
  entry_id_[22] = static_cast<uint8_t>(flags & 0xFF);
  entry_id_[23] = static_cast<uint8_t>(flags >> 8);
  append_terminated(entry_id_, display_name_);
  append_terminated(entry_id_, address_type_);
  append_terminated(entry_id_, email_);
  search_key_ = address_type_ + CharT(':') + email_;
}

template <typename CharT>
pst_address<CharT> pst_one_off_entry<CharT>::address() const {
  return {entry_id_, email_, display_name_, address_type_, search_key_};
}

template class pst_one_off_entry<char>;
template class pst_one_off_entry<char16_t>;

}  // namespace vendrel
