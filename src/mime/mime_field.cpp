#include "mime/mime_field.h"

#include "common/errors.h"
#include "mime/ascii.h"
#include "mime/parameters.h"
#include "mime/registry.h"

namespace vendrel {

using namespace mime;

CMimeField::CMimeField(std::string name, std::string value, std::string charset)
    : name_(std::move(name)), value_(std::move(value)), charset_(std::move(charset)) {
  if (!valid_name(name_)) throw qm_invalid_arg("MIME field name is not a header field name");
}

bool CMimeField::valid_name(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 33 || u > 126 || c == ':') return false;
  }
  return true;
}

std::string CMimeField::main_value() const { return std::string(split_parameters(value_).main_value); }

std::optional<std::string> CMimeField::parameter(std::string_view attribute, std::string* charset) const {
  return find_parameter(value_, attribute, charset, true);
}

std::optional<std::string> CMimeField::raw_parameter(std::string_view attribute) const {
  return find_parameter(value_, attribute, nullptr, false);
}

void CMimeField::set_parameter(std::string_view attribute, std::string_view value) {
  value_ = replace_parameter(value_, attribute, value);
}

std::string CMimeField::decoded_value(std::string* charset) const {
  const auto codec = CMimeEnvironment::create_field_codec(name_);
  codec->set_input(value_, false);
  std::string decoded = codec->output();
  if (charset) *charset = codec->decoded_charset();
  return decoded;
}

void CMimeField::store(std::string& out, std::string_view header_charset) const {
  const auto codec = CMimeEnvironment::create_field_codec(name_);
  codec->set_charset(std::string(charset_.empty() ? header_charset : std::string_view(charset_)));
  codec->set_input(value_, true);
  std::string line = name_ + ": " + normalise_line_ends(codec->output());
  if (CMimeEnvironment::auto_folding())
    out += fold_line(line, name_.size() + 2);
  else
    out += line;
  out += "\r\n";
}

namespace mime {

std::string normalise_line_ends(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (!is_line_end(c)) {
      out.push_back(c);
      continue;
    }
    if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    if (i + 1 == value.size()) break;  // a line end at the end would leave an empty continuation
    out += "\r\n";
    if (!is_blank(value[i + 1]) && !is_line_end(value[i + 1])) out.push_back(' ');
    if (is_line_end(value[i + 1])) out.push_back(' ');  // an empty line would end the header
  }
  return out;
}

std::string fold_line(std::string_view line, size_t keep, size_t limit) {
  std::string out;
  out.reserve(line.size() + line.size() / limit * 2);
  std::string current;  // the physical line being built
  size_t candidate = std::string::npos;  // the last blank that may start a continuation
  size_t earlier = std::string::npos;    // the one before it
  size_t protect = keep;                 // characters of `current` that may not be broken before
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\r' && i + 1 < line.size() && line[i + 1] == '\n') {  // an existing fold resets the count
      out += current;
      out += "\r\n";
      ++i;
      current.clear();
      candidate = earlier = std::string::npos;
      protect = 1;
      continue;
    }
    if (is_blank(c) && current.size() >= protect) {
      earlier = candidate;
      candidate = current.size();
    }
    current.push_back(c);
    if (current.size() < limit || candidate == std::string::npos) continue;
    // Breaking before a blank that ends the text so far could leave a
    // continuation of blanks only: use the blank before it, or wait.
    size_t at = candidate;
    if (at + 1 == current.size()) at = earlier;
    if (at == std::string::npos) continue;
    out.append(current, 0, at);
    out += "\r\n";
    current.erase(0, at);
    candidate = at == candidate ? std::string::npos : candidate - at;
    earlier = std::string::npos;
    protect = 1;
  }
  out += current;
  return out;
}

}  // namespace mime

}  // namespace vendrel
