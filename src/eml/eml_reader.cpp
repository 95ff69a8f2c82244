#include "eml/eml_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "eml/charsets.h"
#include "mime/address_list.h"
#include "mime/ascii.h"
#include "mime/encoded_word.h"
#include "mime/mime_message.h"

namespace vendrel {

using namespace mime;

namespace {

constexpr uint32_t utf8_code_page = 65001;

bool is_valid_utf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2, minimum = 0x80, value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, minimum = 0x800, value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, minimum = 0x10000, value = c & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

bool has_8bit(std::string_view text) {
  for (char c : text)
    if (is_8bit(c)) return true;
  return false;
}

// Unlabelled 8-bit text: UTF-8 when it is that, else the fallback.
std::u16string decode_unlabelled(std::string_view bytes, uint32_t fallback_code_page) {
  if (!has_8bit(bytes)) return platform::multibyte_to_wide(20127, bytes);
  return platform::multibyte_to_wide(is_valid_utf8(bytes) ? utf8_code_page : fallback_code_page, bytes);
}

std::u16string decode_labelled(std::string_view bytes, std::string_view charset, uint32_t fallback_code_page) {
  if (charset.empty()) return decode_unlabelled(bytes, fallback_code_page);
  const uint32_t code_page = charset_code_page(charset);
  if (code_page == 0) return decode_unlabelled(bytes, fallback_code_page);
  return platform::multibyte_to_wide(code_page, bytes);
}

std::u16string trimmed(std::u16string text) {
  size_t begin = 0, end = text.size();
  auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::vector<ImportedAddress> addresses_of(const CMimeHeader& header, std::string_view field, uint32_t code_page) {
  std::vector<ImportedAddress> out;
  for (const CMimeField& f : header.fields()) {
    if (!iequals(f.name(), field)) continue;
    for (const CMimeAddress& a : parse_address_list(f.value())) {
      ImportedAddress address;
      address.display_name = trimmed(decode_labelled(a.name, a.charset, code_page));
      address.email = trimmed(decode_unlabelled(a.address, code_page));
      if (address.display_name.empty() && address.email.empty()) continue;
      // Two addresses run together without a comma, or a group written
      // inside angle brackets, name no mailbox.
      if (std::count(address.email.begin(), address.email.end(), u'@') > 1) continue;
      if (address.display_name.empty() && address.email.find_first_of(u":;<>") != std::u16string::npos) continue;
      out.push_back(std::move(address));
    }
  }
  return out;
}

bool is_attachment_disposition(const CMimeBody& body) {
  const CMimeField* field = body.find_field("Content-Disposition");
  return field && iequals(trim(field->main_value()), "attachment");
}

// The file name of a part: the filename parameter of Content-Disposition,
// else the name parameter of Content-Type, decoded, in the ANSI code page.
std::optional<std::string> file_name_of(const CMimeBody& body, uint32_t code_page) {
  std::string charset;
  std::optional<std::string> raw = body.parameter("Content-Disposition", "filename", &charset);
  if (!raw || trim(*raw).empty()) raw = body.parameter("Content-Type", "name", &charset);
  if (!raw) return std::nullopt;
  std::u16string name = trimmed(decode_labelled(*raw, charset, code_page));
  // Double quotes left inside the value carry nothing.
  std::erase(name, u'"');
  if (name.empty()) return std::nullopt;
  return platform::wide_to_multibyte(0, name);
}

std::optional<std::string> content_id_of(const CMimeBody& body) {
  const std::string field = body.field_value("Content-ID");
  std::string_view id = trim(field);
  if (id.empty()) return std::nullopt;
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
  return std::string(id);
}

class Reader {
 public:
  explicit Reader(ImportedMessage& out, uint32_t code_page) : out_(out), code_page_(code_page) {}

  void walk(const CMimeBody& body) {
    if (!body.children().empty()) {
      for (const auto& child : body.children()) walk(*child);
      return;
    }
    if (body.message()) {
      out_.embedded.push_back(read_eml(*body.message()));
      return;
    }
    if (body.is_multipart()) {  // nested too deep, or a multipart without parts
      if (!body.nesting_limited()) return;
      add_attachment(body, std::nullopt);
      return;
    }
    const std::optional<std::string> name = file_name_of(body, code_page_);
    const bool text = body.media_type() == CMimeMediaType::text;
    if (name || is_attachment_disposition(body) || !text) {
      add_attachment(body, name);
      return;
    }
    const std::string charset = body.content_charset();
    if (body.subtype() == "html") {
      if (body.content().empty()) return;  // an empty HTML part carries nothing
      if (out_.html_body) {  // one HTML body per message; a second one is kept as a file
        add_attachment(body, name);
        return;
      }
      out_.html_body = body.content();
      out_.html_code_page = charset_code_page(charset);
      if (out_.html_code_page == 0) out_.html_code_page = is_valid_utf8(body.content()) ? utf8_code_page : 0;
      return;
    }
    std::u16string text_body = decode_labelled(body.content(), charset, code_page_);
    if (out_.plain_body) {
      if (!out_.plain_body->empty() && !text_body.empty()) *out_.plain_body += u"\r\n";
      *out_.plain_body += text_body;
    } else {
      out_.plain_body = std::move(text_body);
    }
  }

 private:
  void add_attachment(const CMimeBody& body, const std::optional<std::string>& name) {
    ImportedAttachment attachment;
    attachment.data = body.content();
    attachment.name = name ? *name : unnamed_attachment_name(out_.attachments.size() + 1, body.subtype());
    attachment.content_id = content_id_of(body);
    const std::string type = body.type_name();
    const std::string subtype = body.subtype();
    attachment.mime_type = subtype.empty() ? type : type + "/" + subtype;
    out_.attachments.push_back(std::move(attachment));
  }

  ImportedMessage& out_;
  uint32_t code_page_;
};

// The code page unlabelled header text falls back to: the charset of the
// message's Content-Type, else of its first text part.
uint32_t message_code_page(const CMimeBody& body, int depth = 0) {
  if (const uint32_t code_page = charset_code_page(body.content_charset()); code_page) return code_page;
  if (depth > 8) return 0;
  for (const auto& child : body.children())
    if (const uint32_t code_page = message_code_page(*child, depth + 1); code_page) return code_page;
  return 0;
}

int month_number(std::string_view name) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name.size() < 3) return 0;
  for (int i = 0; i < 12; ++i)
    if (iequals(name.substr(0, 3), kMonths[i])) return i + 1;
  return 0;
}

// Minutes east of UTC of a zone text; nullopt when it is not one.
std::optional<int> zone_offset(std::string_view zone) {
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
    for (size_t i = 1; i < 5; ++i)
      if (zone[i] < '0' || zone[i] > '9') return std::nullopt;
    const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
    const int minutes = (zone[3] - '0') * 10 + (zone[4] - '0');
    const int offset = hours * 60 + minutes;
    return zone[0] == '-' ? -offset : offset;
  }
  struct Named {
    std::string_view name;
    int offset;
  };
  static constexpr Named kZones[] = {{"ut", 0},         {"utc", 0},        {"gmt", 0},        {"z", 0},
                                     {"est", -5 * 60},  {"edt", -4 * 60},  {"cst", -6 * 60},  {"cdt", -5 * 60},
                                     {"mst", -7 * 60},  {"mdt", -6 * 60},  {"pst", -8 * 60},  {"pdt", -7 * 60}};
  for (const Named& z : kZones)
    if (iequals(zone, z.name)) return z.offset;
  return std::nullopt;
}

}  // namespace

std::string unnamed_attachment_name(size_t number, std::string_view subtype) {
  std::string extension;
  for (char c : subtype) {
    const char lower = ascii_lower(c);
    if (!((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '-')) {
      extension.clear();
      break;
    }
    extension.push_back(lower);
  }
  if (extension.empty() || extension.size() > 20) extension = "bin";
  return "attachment_" + std::to_string(number) + "." + extension;
}

std::u16string decode_header_text(std::string_view value, uint32_t fallback_code_page) {
  std::u16string out;
  for (const CMimeEncodedWord::Segment& segment : CMimeEncodedWord::decode_segments(value)) {
    if (segment.encoded)
      out += decode_labelled(segment.bytes, segment.charset, fallback_code_page);
    else
      out += decode_unlabelled(segment.bytes, fallback_code_page);
  }
  return out;
}

std::optional<platform::system_time> parse_eml_date(std::string_view text) {
  // Words of the date, comments dropped.
  std::vector<std::string_view> words;
  size_t i = 0;
  int comment = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '(') ++comment;
    if (comment || is_space(c) || c == ',') {
      if (c == ')' && comment) --comment;
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && !is_space(text[j]) && text[j] != ',' && text[j] != '(') ++j;
    words.push_back(text.substr(i, j - i));
    i = j;
  }
  size_t w = 0;
  if (w < words.size() && !words[w].empty() && std::isalpha(static_cast<unsigned char>(words[w][0])) &&
      month_number(words[w]) == 0)
    ++w;  // the weekday
  auto number = [](std::string_view word, int& value) {
    if (word.empty() || word.size() > 4) return false;
    value = 0;
    for (char c : word) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    return true;
  };
  if (words.size() < w + 4) return std::nullopt;
  int day = 0, month = 0, year = 0;
  if (number(words[w], day)) {
    month = month_number(words[w + 1]);
  } else {  // "Mon d yyyy": month first
    month = month_number(words[w]);
    if (!number(words[w + 1], day)) return std::nullopt;
  }
  if (!month || !number(words[w + 2], year)) return std::nullopt;
  if (words[w + 2].size() <= 2) year += year < 50 ? 2000 : 1900;
  else if (words[w + 2].size() == 3) year += 1900;
  int hour = 0, minute = 0, second = 0;
  {
    const std::string_view time = words[w + 3];
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t k = 0; k <= time.size(); ++k)
      if (k == time.size() || time[k] == ':') {
        pieces.push_back(time.substr(start, k - start));
        start = k + 1;
      }
    if (pieces.size() < 2 || pieces.size() > 3 || !number(pieces[0], hour) || !number(pieces[1], minute) ||
        (pieces.size() == 3 && !number(pieces[2], second)))
      return std::nullopt;
  }
  int offset = 0;
  if (words.size() > w + 4)
    if (auto zone = zone_offset(words[w + 4])) offset = *zone;
  if (second == 60) second = 59;  // a leap second
  platform::system_time local;
  local.year = static_cast<uint16_t>(year);
  local.month = static_cast<uint16_t>(month);
  local.day = static_cast<uint16_t>(day);
  local.hour = static_cast<uint16_t>(hour);
  local.minute = static_cast<uint16_t>(minute);
  local.second = static_cast<uint16_t>(second);
  uint64_t filetime = 0;
  if (year < 1601 || year > 30827 || !platform::system_time_to_filetime(local, &filetime)) return std::nullopt;
  const int64_t shift = static_cast<int64_t>(offset) * 60 * 10000000;
  if (shift > 0 && filetime < static_cast<uint64_t>(shift)) return std::nullopt;
  filetime = static_cast<uint64_t>(static_cast<int64_t>(filetime) - shift);
  platform::system_time utc;
  if (!platform::filetime_to_system_time(filetime, &utc)) return std::nullopt;
  return utc;
}

ImportedMessage read_eml(std::string_view text) {
  CMimeMessage message;
  message.load(text);
  return read_eml(message);
}

ImportedMessage read_eml(const CMimeMessage& message) {
  ImportedMessage out;
  const uint32_t code_page = message_code_page(message);
  if (const CMimeField* subject = message.find_field("Subject")) {
    // Folding leaves tabs in an unfolded value; controls carry nothing in a subject.
    std::u16string text = trimmed(decode_header_text(subject->value(), code_page));
    for (char16_t& c : text)
      if (c < 0x20) c = u' ';
    out.subject = std::move(text);
  }
  std::vector<ImportedAddress> from = addresses_of(message, "From", code_page);
  if (!from.empty()) out.sender = std::move(from.front());
  out.to = addresses_of(message, "To", code_page);
  out.cc = addresses_of(message, "Cc", code_page);
  out.bcc = addresses_of(message, "Bcc", code_page);
  if (const CMimeField* date = message.find_field("Date")) out.date = parse_eml_date(date->value());
  const std::string priority_field = message.field_value("X-Priority");
  const std::string_view priority = trim(priority_field);
  if (!priority.empty()) {
    switch (priority.front()) {
      case '2': out.importance = 2; break;
      case '3': out.importance = 1; break;
      case '4': out.importance = 0; break;
      default: break;
    }
  }
  Reader(out, code_page).walk(message);
  return out;
}

}  // namespace vendrel
