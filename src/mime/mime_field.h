// One header field: its name, its value as text (unfolded) and the charset
// its non-ASCII bytes are in, if the field has one of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vendrel {

class CMimeField {
 public:
  // The longest line automatic folding aims for.
  static constexpr size_t kFoldLength = 76;

  CMimeField() = default;
  // Names must be printable ASCII without ":" (qm_invalid_arg otherwise):
  // anything else would break the header apart.
  CMimeField(std::string name, std::string value, std::string charset = {});

  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }
  const std::string& charset() const { return charset_; }

  void set_value(std::string value) { value_ = std::move(value); }
  void set_value(std::string value, std::string charset) {
    value_ = std::move(value);
    charset_ = std::move(charset);
  }
  void set_charset(std::string charset) { charset_ = std::move(charset); }
  void append_value(std::string_view more) { value_.append(more); }

  // Parameter fields: the part before the first ";", and the parameters.
  std::string main_value() const;
  // Decoded value of a parameter (RFC 2231 forms and encoded words), see
  // mime::find_parameter.
  std::optional<std::string> parameter(std::string_view attribute, std::string* charset = nullptr) const;
  // The parameter without its quotes but otherwise as written.
  std::optional<std::string> raw_parameter(std::string_view attribute) const;
  void set_parameter(std::string_view attribute, std::string_view value);

  // The value with its encoded words decoded by the field's codec.
  std::string decoded_value(std::string* charset = nullptr) const;

  // Appends the field's lines: name, ": ", the value encoded by the field's
  // codec in its charset (or else `header_charset`), CR LF. Line ends inside
  // the value become CR LF followed by a blank, so the value stays in this
  // field; while automatic folding is on, lines are broken before a blank so
  // that they stay below 76 characters where the value allows.
  void store(std::string& out, std::string_view header_charset) const;

  static bool valid_name(std::string_view name);

 private:
  std::string name_;
  std::string value_;
  std::string charset_;
};

namespace mime {
// One encoded field line folded as described at CMimeField::store. Lines are
// only broken before a blank or tab that is not the first character of a
// line and not within the first `keep` characters.
std::string fold_line(std::string_view line, size_t keep, size_t limit = CMimeField::kFoldLength);
// Line ends in a value as CR LF, each followed by a blank or tab.
std::string normalise_line_ends(std::string_view value);
}  // namespace mime

}  // namespace vendrel
