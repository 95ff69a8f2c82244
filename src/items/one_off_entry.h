// A one-off address built inside the item layer ([MS-OXCDATA] OneOffEntryId:
// flags, the one-off provider UID, version, string flags, then display name,
// address type and e-mail address, each NUL-terminated), for the contact's
// e-mail slots. The defaults are those of the library interface's addresses:
// no e-mail address gives a placeholder, no display name the e-mail address,
// no address type "SMTP".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "items/message_fields.h"

namespace vendrel {

// The address used when none is given, and the type used when none is given.
inline constexpr std::string_view one_off_placeholder_email = "unknown@address.invalid";
inline constexpr std::string_view one_off_default_address_type = "SMTP";

// The provider UID that marks a one-off entry ID.
inline constexpr uint8_t one_off_provider_uid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                                     0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};

template <typename CharT>
class pst_one_off_entry {
 public:
  using view = std::basic_string_view<CharT>;
  using string = std::basic_string<CharT>;

  pst_one_off_entry(std::optional<view> email, std::optional<view> display_name, std::optional<view> address_type);

  const std::vector<uint8_t>& entry_id() const { return entry_id_; }
  const string& email() const { return email_; }
  const string& display_name() const { return display_name_; }
  const string& address_type() const { return address_type_; }
  const string& search_key() const { return search_key_; }
  // A view for the message operations; valid while this object lives.
  pst_address<CharT> address() const;

 private:
  std::vector<uint8_t> entry_id_;
  string email_;
  string display_name_;
  string address_type_;
  string search_key_;
};

extern template class pst_one_off_entry<char>;
extern template class pst_one_off_entry<char16_t>;

}  // namespace vendrel
