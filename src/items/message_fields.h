// What a message takes from its caller: an address (a sender or a
// recipient, with its one-off entry ID and search key) and the record of
// bound fields that apply_fields maps onto properties. Both are views: the
// caller keeps the strings and bytes alive while the message reads them, and
// the message copies what it keeps. CharT is char for the narrow record
// (8-bit strings) and char16_t for the wide one (UTF-16).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vendrel {

template <typename CharT>
struct pst_address {
  using view = std::basic_string_view<CharT>;

  // The one-off entry ID bytes; empty for an address that was never built.
  std::span<const uint8_t> entry_id;
  view email;
  view display_name;
  view address_type;
  // "TYPE:address", without its terminator.
  view search_key;

  bool empty() const { return entry_id.empty(); }
};

template <typename CharT>
struct pst_message_fields {
  using view = std::basic_string_view<CharT>;

  uint32_t code_page = 0;      // narrow record only: PidTagInternetCodepage
  std::optional<view> subject;  // prefix-coded: 1, prefix length + 1, text
  std::optional<view> plain_body;
  std::optional<view> html_body;
  std::optional<std::string_view> rtf_body;  // 8-bit in both records
  bool rtf_is_base64 = false;
  uint32_t importance = 1;
  uint32_t message_flags = 8;
  std::optional<view> transport_headers;
  uint64_t creation_time = 0;  // FILETIMEs; 0 leaves the commit default
  uint64_t last_modification_time = 0;
  uint64_t client_submit_time = 0;
  uint64_t delivery_time = 0;
  int32_t priority = 0;
  uint32_t sensitivity = 0;
  std::optional<view> billing_information;
  std::optional<view> mileage;
  pst_address<CharT> sender;
};

}  // namespace vendrel
