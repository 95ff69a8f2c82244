#include "eml/eml_record.h"

#include <cstdio>

#include "eml/charsets.h"
#include "mime/base64.h"
#include "mime/code_base.h"
#include "mime/mime_message.h"
#include "platform/platform.h"

namespace vendrel {

namespace {

std::string to_bytes(uint32_t code_page, std::u16string_view text) {
  return platform::wide_to_multibyte(code_page, text);
}

// The text body of a message or of the first part: plain, else RTF, else
// HTML; a record without any gets an empty plain text.
void set_text_body(CMimeBody& body, const EmlMessageRecord& record, const EmlEncoding& encoding) {
  if (record.plain_body || (!record.rtf_body && !record.html_body)) {
    body.set_text(to_bytes(encoding.code_page, record.plain_body.value_or(std::u16string())), encoding.charset);
  } else if (record.rtf_body) {
    body.set_field_value("Content-Type", "text/richtext");
    body.set_content(*record.rtf_body);
  } else {
    body.set_field_value("Content-Type", "text/html");
    body.set_parameter("Content-Type", "charset", encoding.charset);
    body.set_content(to_bytes(encoding.code_page, *record.html_body));
  }
  body.set_field_value("Content-Transfer-Encoding", "quoted-printable");
}

bool is_quoting_needed(std::u16string_view name) {
  for (char16_t c : name)
    if (std::u16string_view(u"()<>@,;:\\\".[]").find(c) != std::u16string_view::npos) return true;
  return false;
}

}  // namespace

std::optional<std::string> eml_priority_text(uint32_t importance) {
  switch (importance) {
    case 0: return "4 (low)";
    case 1: return "3 (normal)";
    case 2: return "2 (high)";
    default: return std::nullopt;
  }
}

std::string eml_date_text(uint64_t filetime) {
  uint64_t local = 0;
  platform::system_time time;
  if (!platform::filetime_to_local_filetime(filetime, &local) || !platform::filetime_to_system_time(local, &time))
    platform::filetime_to_system_time(0, &time);
  char text[64];
  std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", unsigned{time.day}, unsigned{time.month},
                unsigned{time.year}, unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second});
  return text;
}

std::u16string eml_address_text(std::u16string_view name, std::u16string_view address) {
  std::u16string out;
  if (is_quoting_needed(name)) {
    out += u'"';
    for (char16_t c : name) {
      if (c == u'"' || c == u'\\') out += u'\\';
      out += c;
    }
    out += u'"';
  } else {
    out += name;
  }
  out += u" <";
  out += address;
  out += u'>';
  return out;
}

std::string eml_boundary(int depth) {
  // RFC 2046 allows only 7-bit characters in a boundary, and parsers that
  // decode header bytes differently from body bytes miss an 8-bit one: the
  // letter stands where an 0xF1 (n with tilde in Latin-1) would break it.
  std::string boundary = "----------1A2bb3CnC4DdDd5eEeEeFfF_";
  boundary += static_cast<char>('0' + depth % 10);
  return boundary;
}

std::string compose_eml(const EmlMessageRecord& record, int depth) {
  const EmlEncoding encoding = eml_encoding(record.code_page);
  CMimeMessage message;
  message.set_charset(encoding.charset);

  int day = 1, month = 1, year = 1601, hour = 0, minute = 0, second = 0;
  std::sscanf(record.date_text.c_str(), "%d.%d.%d %d:%d:%d", &day, &month, &year, &hour, &minute, &second);
  if (year == 1601) year = 1971;
  message.set_date(year, month, day, hour, minute, second);

  if (record.from) message.set_field_value("From", to_bytes(encoding.code_page, *record.from));
  if (!record.to.empty()) message.set_field_value("To", to_bytes(encoding.code_page, record.to));
  if (!record.cc.empty()) message.set_field_value("Cc", to_bytes(encoding.code_page, record.cc));
  if (!record.bcc.empty()) message.set_field_value("Bcc", to_bytes(encoding.code_page, record.bcc));
  message.set_field_value("Subject", to_bytes(encoding.code_page, record.subject));
  if (record.priority) message.set_field_value("X-Priority", *record.priority);
  message.set_field_value("MIME-Version", "1.0");

  if (record.attachments.empty() && record.parts.empty()) {
    set_text_body(message, record, encoding);
    return message.to_string();
  }

  message.set_field_value("Content-Type", "multipart/mixed;\n boundary=\"" + eml_boundary(depth) + "\"");
  set_text_body(message.add_child(), record, encoding);
  for (const EmlMessageRecord& part : record.parts) {
    CMimeBody& child = message.add_child();
    child.set_field_value("Content-Type", "message/rfc822");
    child.set_content(compose_eml(part, depth + 1));
  }
  for (const EmlAttachment& attachment : record.attachments) {
    const std::string name = to_bytes(encoding.code_page, platform::multibyte_to_wide(0, attachment.name));
    CMimeBody& child = message.add_child();
    child.set_attachment(attachment.data, name);
    child.set_field_value("Content-Type", "application/octet-stream");
    child.set_parameter("Content-Type", "name", name);
  }
  return message.to_string();
}

}  // namespace vendrel
