#include "mime/mime_body.h"

#include <atomic>

#include "common/errors.h"
#include "mime/ascii.h"
#include "mime/media_type.h"
#include "mime/mime_message.h"
#include "mime/parameters.h"
#include "mime/registry.h"

namespace vendrel {

using namespace mime;

namespace {

enum class Delimiter { none, part, close };

// Whether the line at `at` is a delimiter line of `boundary`; `next` gets
// the start of the following line.
Delimiter match_delimiter(std::string_view s, size_t at, std::string_view boundary, size_t& next) {
  if (s.size() - at < boundary.size() + 2 || s[at] != '-' || s[at + 1] != '-' ||
      s.compare(at + 2, boundary.size(), boundary) != 0)
    return Delimiter::none;
  size_t i = at + 2 + boundary.size();
  if (i + 1 < s.size() && s[i] == '-' && s[i + 1] == '-') {
    const size_t end = s.find('\n', i);
    next = end == std::string_view::npos ? s.size() : end + 1;
    return Delimiter::close;
  }
  while (i < s.size() && is_blank(s[i])) ++i;
  if (i < s.size() && s[i] == '\r') ++i;
  if (i == s.size()) {
    next = i;
    return Delimiter::part;
  }
  if (s[i] == '\n') {
    next = i + 1;
    return Delimiter::part;
  }
  return Delimiter::none;
}

// A boundary for bodies stored without one; "=_" cannot occur in
// quoted-printable or Base64 text.
std::string level_boundary(int depth) { return "=_vendrel_level_" + std::to_string(depth); }

std::string new_boundary() {
  static std::atomic<unsigned> counter{0};
  return "=_vendrel_part_" + std::to_string(++counter);
}

bool holds_message(const CMimeHeader& header) {
  if (header.media_type() != CMimeMediaType::message) return false;
  const std::string sub = header.subtype();
  return sub == "rfc822" || sub == "global";
}

}  // namespace

CMimeBody::CMimeBody() = default;
CMimeBody::~CMimeBody() = default;
CMimeBody::CMimeBody(CMimeBody&&) noexcept = default;
CMimeBody& CMimeBody::operator=(CMimeBody&&) noexcept = default;

void CMimeBody::clear() {
  CMimeHeader::clear();
  content_.clear();
  children_.clear();
  message_.reset();
  nesting_limited_ = false;
}

size_t CMimeBody::load(const char* data, size_t size) {
  if (!data && size) throw qm_invalid_arg("MIME load: null buffer");
  clear();
  load_part(data, data ? size : 0, 0);
  return data ? size : 0;
}

void CMimeBody::load_part(const char* data, size_t size, int depth) {
  const size_t start = load_header(data, size);
  const std::string_view body = size ? std::string_view(data + start, size - start) : std::string_view();
  if (media_type() == CMimeMediaType::multipart) {
    if (depth >= kMaxDepth) {
      content_ = std::string(body);
      nesting_limited_ = true;
      return;
    }
    load_multipart(body, depth);
    return;
  }
  content_ = decode_transfer(transfer_encoding(), body);
  if (holds_message(*this)) {
    if (depth >= kMaxDepth) {
      nesting_limited_ = true;
      return;
    }
    message_ = std::make_unique<CMimeMessage>();
    static_cast<CMimeBody&>(*message_).load_part(content_.data(), content_.size(), depth + 1);
  }
}

void CMimeBody::load_multipart(std::string_view s, int depth) {
  const std::string boundary = this->boundary();
  bool found = false;
  bool closed = false;
  size_t part_begin = 0;
  std::vector<std::pair<size_t, size_t>> parts;
  if (!boundary.empty()) {
    size_t line = 0;
    while (line < s.size()) {
      size_t next = 0;
      const Delimiter kind = match_delimiter(s, line, boundary, next);
      if (kind != Delimiter::none) {
        size_t end = line;  // the line end before the delimiter belongs to it
        if (end > 0 && s[end - 1] == '\n') --end;
        if (end > 0 && s[end - 1] == '\r') --end;
        if (!found) {
          content_ = std::string(s.substr(0, end));
          found = true;
        } else {
          if (end < part_begin) end = part_begin;
          parts.emplace_back(part_begin, end);
        }
        if (kind == Delimiter::close) {
          closed = true;
          break;
        }
        part_begin = next;
        line = next;
        continue;
      }
      const size_t newline = s.find('\n', line);
      if (newline == std::string_view::npos) break;
      line = newline + 1;
    }
  }
  if (!found) {  // no usable boundary: the content is one part
    parts.emplace_back(0, s.size());
  } else if (!closed && part_begin < s.size()) {
    parts.emplace_back(part_begin, s.size());
  }
  for (const auto& [begin, end] : parts) {
    auto child = std::make_unique<CMimeBody>();
    child->load_part(s.data() + begin, end - begin, depth + 1);
    children_.push_back(std::move(child));
  }
}

void CMimeBody::set_text(std::string text, std::string_view charset) {
  content_ = std::move(text);
  if (!find_field("Content-Type")) set_field_value("Content-Type", "text/plain");
  if (!charset.empty()) set_parameter("Content-Type", "charset", charset);
}

void CMimeBody::set_attachment(std::string data, std::string_view file_name) {
  content_ = std::move(data);
  set_field_value("Content-Type", content_type_for_file_name(file_name));
  set_parameter("Content-Type", "name", file_name);
  if (!find_field("Content-Transfer-Encoding")) set_field_value("Content-Transfer-Encoding", "base64");
  if (!find_field("Content-Disposition")) {
    set_field_value("Content-Disposition", "attachment");
    set_parameter("Content-Disposition", "filename", file_name);
  }
}

void CMimeBody::ensure_multipart() {
  if (!is_multipart()) {
    set_field_value("Content-Type", "multipart/mixed");
  }
  if (boundary().empty()) set_parameter("Content-Type", "boundary", new_boundary());
}

CMimeBody& CMimeBody::add_child() { return add_child(std::make_unique<CMimeBody>()); }

CMimeBody& CMimeBody::add_child(std::unique_ptr<CMimeBody> child) {
  if (!child) throw qm_invalid_arg("MIME body: null child part");
  ensure_multipart();
  children_.push_back(std::move(child));
  return *children_.back();
}

CMimeMessage& CMimeBody::add_message_part() {
  CMimeBody& part = add_child();
  part.set_field_value("Content-Type", "message/rfc822");
  part.message_ = std::make_unique<CMimeMessage>();
  return *part.message_;
}

void CMimeBody::set_message(std::unique_ptr<CMimeMessage> message) { message_ = std::move(message); }

void CMimeBody::append_to(std::string& out) const { append_part(out, 0); }

void CMimeBody::append_part(std::string& out, int depth) const {
  if (!children_.empty()) {
    std::string boundary = is_multipart() ? this->boundary() : std::string();
    if (boundary.empty()) {
      boundary = level_boundary(depth);
      const std::string type = is_multipart() ? field_value("Content-Type") : std::string("multipart/mixed");
      const std::string content_type = replace_parameter(type, "boundary", boundary);
      append_header(out, &content_type);
    } else {
      append_header(out);
    }
    out += content_;
    for (const auto& child : children_) {
      out += "\r\n--";
      out += boundary;
      out += "\r\n";
      child->append_part(out, depth + 1);
    }
    out += "\r\n--";
    out += boundary;
    out += "--\r\n";
    return;
  }
  append_header(out);
  if (message_) {
    std::string inner;
    static_cast<const CMimeBody&>(*message_).append_part(inner, depth + 1);
    // The embedded message has its own line lengths; 7bit folding would change it.
    out += is_identity_transfer(transfer_encoding()) ? inner : encode_transfer(transfer_encoding(), inner);
  } else {
    out += encode_transfer(transfer_encoding(), content_);
  }
}

}  // namespace vendrel
