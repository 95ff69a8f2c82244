// Reading an .eml file: the MIME text parsed and turned into what the
// binding calls take: wide header texts, the plain body, the HTML body as
// bytes with its code page, attachments by value and nested messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vendrel {

class CMimeMessage;

struct ImportedAddress {
  std::u16string display_name;  // empty when the header gives none
  std::u16string email;
};

struct ImportedAttachment {
  std::string data;
  std::string name;  // in the ANSI code page, as Bind_attach takes it
  std::optional<std::string> content_id;
  std::string mime_type;
};

struct ImportedMessage {
  std::optional<std::u16string> subject;
  std::optional<ImportedAddress> sender;
  std::vector<ImportedAddress> to;
  std::vector<ImportedAddress> cc;
  std::vector<ImportedAddress> bcc;  // kept by mail clients in sent mail
  std::optional<platform::system_time> date;  // UTC
  std::optional<uint32_t> importance;          // from X-Priority
  std::optional<std::u16string> plain_body;
  std::optional<std::string> html_body;  // the part's bytes, in html_code_page
  uint32_t html_code_page = 0;
  std::vector<ImportedAttachment> attachments;
  std::vector<ImportedMessage> embedded;  // message/rfc822 parts, in order
};

// Parses a whole .eml file. Never fails: malformed text gives what can be
// read from it.
ImportedMessage read_eml(std::string_view text);
ImportedMessage read_eml(const CMimeMessage& message);

// A Date header as UTC: "[Www,] d Mmm yyyy hh:mm[:ss] [zone]", the zone
// numeric or one of UT, GMT, Z and the US zone names. nullopt when it
// cannot be read.
std::optional<platform::system_time> parse_eml_date(std::string_view text);

// Header text as UTF-16: encoded words in their own charsets, other 8-bit
// text as UTF-8 when it is valid UTF-8, else in `fallback_code_page`.
std::u16string decode_header_text(std::string_view value, uint32_t fallback_code_page);

// The name given to an attachment part that has none: "attachment_<n>." and
// the subtype (letters, digits and "-" only, at most 20), or "bin".
std::string unnamed_attachment_name(size_t number, std::string_view subtype);

}  // namespace vendrel
