#include "mime/mime_header.h"

#include <cstring>

#include "common/errors.h"
#include "mime/ascii.h"

namespace vendrel {

using namespace mime;

void CMimeHeader::clear() {
  fields_.clear();
  charset_.clear();
}

size_t CMimeHeader::stored_length() const { return to_string().size(); }

size_t CMimeHeader::store(char* buffer, size_t capacity) const {
  const std::string text = to_string();
  if (!buffer || capacity < text.size()) throw qm_invalid_arg("MIME store: buffer too small");
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  return text.size();
}

size_t CMimeHeader::load(const char* data, size_t size) {
  clear();
  if (!data && size) throw qm_invalid_arg("MIME load: null buffer");
  return load_header(data, data ? size : 0);
}

std::string CMimeHeader::to_string() const {
  std::string out;
  append_to(out);
  return out;
}

const CMimeField* CMimeHeader::find_field(std::string_view name) const {
  for (const CMimeField& field : fields_)
    if (iequals(field.name(), name)) return &field;
  return nullptr;
}

CMimeField* CMimeHeader::find_field(std::string_view name) {
  for (CMimeField& field : fields_)
    if (iequals(field.name(), name)) return &field;
  return nullptr;
}

std::string CMimeHeader::field_value(std::string_view name) const {
  const CMimeField* field = find_field(name);
  return field ? field->value() : std::string();
}

std::string CMimeHeader::decoded_field_value(std::string_view name, std::string* charset) const {
  const CMimeField* field = find_field(name);
  if (!field) {
    if (charset) charset->clear();
    return {};
  }
  return field->decoded_value(charset);
}

CMimeField& CMimeHeader::set_field_value(std::string_view name, std::string value, std::string charset) {
  if (CMimeField* field = find_field(name)) {
    field->set_value(std::move(value), std::move(charset));
    return *field;
  }
  return add_field(name, std::move(value), std::move(charset));
}

CMimeField& CMimeHeader::add_field(std::string_view name, std::string value, std::string charset) {
  fields_.emplace_back(std::string(name), std::move(value), std::move(charset));
  return fields_.back();
}

size_t CMimeHeader::remove_field(std::string_view name) {
  const size_t before = fields_.size();
  std::erase_if(fields_, [&](const CMimeField& field) { return iequals(field.name(), name); });
  return before - fields_.size();
}

std::optional<std::string> CMimeHeader::parameter(std::string_view field, std::string_view attribute,
                                                  std::string* charset) const {
  const CMimeField* f = find_field(field);
  if (!f) return std::nullopt;
  return f->parameter(attribute, charset);
}

void CMimeHeader::set_parameter(std::string_view field, std::string_view attribute, std::string_view value) {
  CMimeField* f = find_field(field);
  if (!f) f = &add_field(field, std::string());
  f->set_parameter(attribute, value);
}

CMimeMediaType CMimeHeader::media_type() const {
  const CMimeField* field = find_field("Content-Type");
  if (!field) return CMimeMediaType::text;
  const std::string main = field->main_value();
  if (trim(main).empty()) return CMimeMediaType::text;
  return media_type_from_name(std::string_view(main).substr(0, main.find('/')));
}

std::string CMimeHeader::type_name() const {
  const CMimeField* field = find_field("Content-Type");
  if (!field) return "text";
  const std::string main = field->main_value();
  return to_lower(trim(std::string_view(main).substr(0, main.find('/'))));
}

std::string CMimeHeader::subtype() const {
  const CMimeField* field = find_field("Content-Type");
  if (!field) return "plain";
  const std::string main = field->main_value();
  const size_t slash = main.find('/');
  if (slash == std::string::npos) return {};
  return to_lower(trim(std::string_view(main).substr(slash + 1)));
}

std::string CMimeHeader::content_charset() const {
  return parameter("Content-Type", "charset").value_or(std::string());
}

std::string CMimeHeader::boundary() const {
  const CMimeField* field = find_field("Content-Type");
  if (!field) return {};
  return field->raw_parameter("boundary").value_or(std::string());
}

std::string CMimeHeader::transfer_encoding() const {
  return to_lower(trim(field_value("Content-Transfer-Encoding")));
}

void CMimeHeader::append_header(std::string& out) const { append_header(out, nullptr); }

void CMimeHeader::append_header(std::string& out, const std::string* content_type) const {
  bool replaced = false;
  for (const CMimeField& field : fields_) {
    if (content_type && !replaced && iequals(field.name(), "Content-Type")) {
      CMimeField(field.name(), *content_type, field.charset()).store(out, charset_);
      replaced = true;
      continue;
    }
    field.store(out, charset_);
  }
  if (content_type && !replaced) CMimeField("Content-Type", *content_type).store(out, charset_);
  out += "\r\n";
}

size_t CMimeHeader::load_header(const char* data, size_t size) {
  const std::string_view text(data ? data : "", size);
  size_t pos = 0;
  auto line_at = [&](size_t at, size_t& next) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) {
      next = text.size();
      end = text.size();
    } else {
      next = end + 1;
    }
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  };

  if (text.substr(0, 5) == "From ") {  // mailbox separator line
    size_t next;
    line_at(0, next);
    pos = next;
  }
  size_t content = text.size();
  while (pos < text.size()) {
    size_t next;
    const std::string_view line = line_at(pos, next);
    if (line.empty()) {  // the empty line ends the header
      content = next;
      break;
    }
    if (is_blank(line.front())) {
      if (fields_.empty()) {  // no field to continue: content
        content = pos;
        break;
      }
      fields_.back().append_value(line);
    } else {
      const size_t colon = line.find(':');
      std::string_view name = colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
      while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
      if (!CMimeField::valid_name(name)) {  // not a field: content starts here
        content = pos;
        break;
      }
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && is_blank(value.front())) value.remove_prefix(1);
      fields_.emplace_back(std::string(name), std::string(value));
    }
    pos = next;
  }
  // Blanks around the unfolded values carry nothing.
  for (CMimeField& field : fields_) field.set_value(std::string(trim(field.value())));
  return content;
}

}  // namespace vendrel
