// A sender or recipient address as the item layer stores it: the one-off
// entry ID of [MS-OXCDATA] (OneOffEntryId) with the three strings inside it,
// and the search key "TYPE:address". The entry ID is built by the item
// layer's pst_one_off_entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "items/one_off_entry.h"

namespace vendrel {

// Used when an address is built without an e-mail address.
inline constexpr std::string_view placeholder_email = one_off_placeholder_email;
inline constexpr std::string_view default_address_type = one_off_default_address_type;

template <typename CharT>
class OneOffAddress {
 public:
  using string = std::basic_string<CharT>;
  using view = std::basic_string_view<CharT>;

  // Builds the entry ID and search key, replacing any earlier ones. A null
  // e-mail address becomes the placeholder, a null display name the e-mail
  // address, a null address type "SMTP".
  void build(const CharT* email, const CharT* display_name, const CharT* address_type);
  void clear();
  bool empty() const { return entry_id_.empty(); }

  // Bytes for the 8-bit form, 16-bit units for the UTF-16 form.
  uint32_t entry_id_length() const;
  const std::vector<uint8_t>& entry_id() const { return entry_id_; }
  const string& email() const { return email_; }
  const string& display_name() const { return display_name_; }
  const string& address_type() const { return address_type_; }
  const string& search_key() const { return search_key_; }

 private:
  std::vector<uint8_t> entry_id_;
  string email_;
  string display_name_;
  string address_type_;
  string search_key_;
};

extern template class OneOffAddress<char>;
extern template class OneOffAddress<char16_t>;

}  // namespace vendrel
