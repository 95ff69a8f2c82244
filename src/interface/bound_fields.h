// The fields bound for the next item, one record per string family (UTF-16
// for the wide calls, 8-bit for the narrow ones), and the list records that
// the binding calls append to. The item creation calls hand the record to the
// message object, which maps each field onto its property.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interface/one_off_address.h"

namespace vendrel {

template <typename CharT>
struct BoundFields {
  using string = std::basic_string<CharT>;

  uint32_t code_page = 0;               // internet code page of the bodies
  std::optional<string> subject;        // prefix-coded: 1, prefix length + 1, text
  std::optional<string> plain_body;
  std::optional<string> html_body;
  std::optional<std::string> rtf_body;  // Base64 text in both families
  uint8_t rtf_is_base64 = 0;
  uint32_t importance = 1;
  uint32_t message_flags = 8;
  std::optional<string> transport_headers;
  uint64_t creation_time = 0;  // FILETIMEs; 0 lets the item choose
  uint64_t last_modification_time = 0;
  uint64_t client_submit_time = 0;
  uint64_t delivery_time = 0;
  int32_t priority = 0;
  uint32_t sensitivity = 0;
  std::optional<string> billing_information;
  std::optional<string> mileage;
  OneOffAddress<CharT> sender;
};

// A property given by tag, shared by both families.
struct TaggedPropBinding {
  uint16_t property_id = 0;
  uint16_t property_type = 0;
  std::vector<uint8_t> data;
  uint32_t size() const { return static_cast<uint32_t>(data.size()); }
};

// An attachment, shared by both families; its strings are 8-bit.
struct AttachBinding {
  std::vector<uint8_t> data;
  int32_t size = 0;
  std::string name;
  std::optional<std::string> content_id;
  std::optional<std::string> mime_type;
  std::optional<std::string> content_location;
  uint8_t by_value = 0;     // non-zero: a file attachment; zero: an OLE object
  uint8_t second_flag = 0;  // carried for EML output
};

template <typename CharT>
struct RecipientBinding {
  std::optional<std::basic_string<CharT>> email;
  std::optional<std::basic_string<CharT>> display_name;
  std::optional<std::basic_string<CharT>> address_type;
  uint32_t recipient_type = 0;  // 1 To, 2 Cc, 3 Bcc
  uint32_t recipient_flags = 0;
};

}  // namespace vendrel
