// The EML message record: one item as the EML writer sees it, built from the
// wide bound state, and its composition into RFC 822 / MIME text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vendrel {

struct EmlAttachment {
  std::string data;
  std::string name;  // 8-bit, in the ANSI code page like every attachment name
};

struct EmlMessageRecord {
  std::optional<std::u16string> from;  // "name <address>"
  std::u16string to;                   // "name <address>, " for each recipient
  std::u16string cc;                   // the same for the Cc and Bcc recipients
  std::u16string bcc;
  std::u16string subject;              // without the two prefix code units
  std::optional<std::u16string> plain_body;
  std::optional<std::string> rtf_body;  // RTF text
  std::optional<std::u16string> html_body;
  std::optional<std::string> priority;  // the X-Priority text
  std::string date_text;                // local "day.month.year hour:minute:second"
  uint32_t code_page = 0;
  std::vector<EmlAttachment> attachments;
  std::vector<EmlMessageRecord> parts;  // embedded messages
};

// The X-Priority text of an importance: 0 "4 (low)", 1 "3 (normal)",
// 2 "2 (high)", none for other values.
std::optional<std::string> eml_priority_text(uint32_t importance);

// A FILETIME as local "dd.mm.yyyy hh:mm:ss". A time that has no local form
// (the zero time west of UTC) is taken as the zero time itself.
std::string eml_date_text(uint64_t filetime);

// "name <address>" for a From or To entry; a name that holds specials or
// quotes is written as a quoted string, so that the list still splits at
// its commas.
std::u16string eml_address_text(std::u16string_view name, std::u16string_view address);

// The boundary of a multipart message at nesting depth d:
// "----------1A2bb3CnC4DdDd5eEeEeFfF_" and the digit of d.
std::string eml_boundary(int depth);

// The whole message as 8-bit MIME text; `depth` is the nesting depth of
// embedded messages (0 for a file).
std::string compose_eml(const EmlMessageRecord& record, int depth = 0);

}  // namespace vendrel
