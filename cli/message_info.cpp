#include "message_info.h"

#include <cstdlib>
#include <vector>

#include "text.h"

namespace vendrel::cli {

namespace {

// The line at `pos` without its line end; `pos` moves past it.
std::string_view next_line(std::string_view text, size_t& pos) {
  const size_t start = pos;
  size_t stop = text.find('\n', pos);
  if (stop == std::string_view::npos) {
    pos = text.size();
    stop = text.size();
  } else {
    pos = stop + 1;
  }
  std::string_view line = text.substr(start, stop - start);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool is_field_name_char(char c) { return c > 32 && c < 127 && c != ':'; }

struct Part {
  std::string type;  // "text/plain" when none is given
  std::string content_type;
  std::string disposition;
  size_t body = 0;  // offset of the body in the text
};

// The fields of a header block that starts at `pos`, unfolded.
std::vector<std::pair<std::string, std::string>> fields_at(std::string_view text, size_t& pos) {
  std::vector<std::pair<std::string, std::string>> fields;
  while (pos < text.size()) {
    const std::string_view line = next_line(text, pos);
    if (line.empty()) break;
    if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
      fields.back().second += " ";
      fields.back().second += line;
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    fields.emplace_back(lower_ascii(line.substr(0, colon)), std::string(line.substr(colon + 1)));
  }
  return fields;
}

std::string main_value(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == ';') break;
    if (c != ' ' && c != '\t' && c != '"') out.push_back(c);
  }
  return lower_ascii(out);
}

// The boundary parameter, quotes removed.
std::string boundary_of(std::string_view content_type) {
  const std::string lower = lower_ascii(content_type);
  size_t at = 0;
  while ((at = lower.find("boundary", at)) != std::string::npos) {
    size_t k = at + 8;
    while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t')) ++k;
    if (k < lower.size() && lower[k] == '=' && (at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t')) {
      ++k;
      while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t')) ++k;
      std::string value;
      if (k < content_type.size() && content_type[k] == '"') {
        const size_t close = content_type.find('"', k + 1);
        value = std::string(content_type.substr(k + 1, (close == std::string_view::npos ? content_type.size() : close) - k - 1));
      } else {
        while (k < content_type.size() && content_type[k] != ';' && content_type[k] != ' ' && content_type[k] != '\t')
          value.push_back(content_type[k++]);
      }
      return value;
    }
    at += 8;
  }
  return {};
}

// A name or filename parameter (plain, RFC 2231 or encoded words alike).
bool has_name(std::string_view value) {
  const std::string lower = lower_ascii(value);
  size_t at = 0;
  while ((at = lower.find("name", at)) != std::string::npos) {
    size_t k = at + 4;
    while (k < lower.size() && (lower[k] == '*' || (lower[k] >= '0' && lower[k] <= '9'))) ++k;
    while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t')) ++k;
    size_t before = at;
    if (before >= 4 && lower.compare(before - 4, 4, "file") == 0) before -= 4;
    const bool starts = before == 0 || lower[before - 1] == ';' || lower[before - 1] == ' ' || lower[before - 1] == '\t';
    if (starts && k < lower.size() && lower[k] == '=') {
      ++k;
      while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t' || lower[k] == '"')) ++k;
      if (k < lower.size() && lower[k] != ';') return true;
    }
    at += 4;
  }
  return false;
}

size_t count_part(std::string_view text, size_t pos, size_t end, int depth);

// The parts of a multipart body between `pos` and `end`.
size_t count_children(std::string_view text, size_t pos, size_t end, const std::string& boundary, int depth) {
  if (boundary.empty()) return 0;
  const std::string delimiter = "--" + boundary;
  std::vector<std::pair<size_t, size_t>> parts;  // [start, end)
  std::optional<size_t> start;
  size_t p = pos;
  while (p < end) {
    const size_t line_start = p;
    std::string_view line = next_line(text.substr(0, end), p);
    if (line.size() >= delimiter.size() && line.substr(0, delimiter.size()) == delimiter) {
      std::string_view rest = line.substr(delimiter.size());
      while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
      const bool closing = rest == "--";
      if (rest.empty() || closing) {
        if (start) parts.emplace_back(*start, line_start);
        start.reset();
        if (closing) break;
        start = p;
      }
    }
  }
  if (start) parts.emplace_back(*start, end);
  size_t count = 0;
  for (const auto& [s, e] : parts) count += count_part(text, s, e, depth + 1);
  return count;
}

size_t count_part(std::string_view text, size_t pos, size_t end, int depth) {
  if (depth > 40 || pos >= end) return 0;
  const std::string_view scope = text.substr(0, end);
  size_t body = pos;
  const auto fields = fields_at(scope, body);
  std::string type, content_type, disposition;
  for (const auto& [name, value] : fields) {
    if (name == "content-type" && content_type.empty()) content_type = value;
    if (name == "content-disposition" && disposition.empty()) disposition = value;
  }
  type = main_value(content_type);
  if (type.find('/') == std::string::npos) type = "text/plain";
  if (type.rfind("multipart/", 0) == 0) return count_children(text, body, end, boundary_of(content_type), depth);
  if (type == "message/rfc822" || type == "message/global") return 1 + count_part(text, body, end, depth + 1);
  const bool named = has_name(content_type) || has_name(disposition);
  if (named || main_value(disposition) == "attachment" || type.rfind("text/", 0) != 0) return 1;
  return 0;
}

}  // namespace

bool starts_with_header(std::string_view text) {
  size_t pos = 0;
  const std::string_view line = next_line(text, pos);
  size_t k = 0;
  while (k < line.size() && is_field_name_char(line[k])) ++k;
  size_t colon = k;
  while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t')) ++colon;  // "Name : value" (obsolete)
  return k > 0 && colon < line.size() && line[colon] == ':';
}

std::string header_block(std::string_view text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const std::string_view line = next_line(text, pos);
    if (line.empty()) break;
    out += line;
    out += "\r\n";
  }
  return out;
}

std::optional<std::string> header_value(std::string_view headers, std::string_view name) {
  size_t pos = 0;
  for (const auto& [field, value] : fields_at(headers, pos))
    if (field == lower_ascii(name)) return value;
  return std::nullopt;
}

std::optional<MessageState> state_from_headers(std::string_view headers) {
  std::optional<MessageState> state;
  size_t pos = 0;
  for (const auto& [field, value] : fields_at(headers, pos)) {
    if (field == "x-mozilla-status") {
      const unsigned long bits = std::strtoul(value.c_str(), nullptr, 16);
      if (!state) state = MessageState{};
      state->read = state->read || (bits & 0x0001);
      state->replied = state->replied || (bits & 0x0002);
      state->flagged = state->flagged || (bits & 0x0004);
      state->deleted = state->deleted || (bits & 0x0008);
      state->forwarded = state->forwarded || (bits & 0x1000);
    } else if (field == "status") {
      if (!state) state = MessageState{};
      if (value.find('R') != std::string::npos) state->read = true;
    } else if (field == "x-status") {
      if (!state) state = MessageState{};
      if (value.find('A') != std::string::npos) state->replied = true;
      if (value.find('F') != std::string::npos) state->flagged = true;
      if (value.find('D') != std::string::npos) state->deleted = true;
      if (value.find('T') != std::string::npos) state->draft = true;
    }
  }
  return state;
}

size_t count_attachments(std::string_view text) { return count_part(text, 0, text.size(), 0); }

}  // namespace vendrel::cli
