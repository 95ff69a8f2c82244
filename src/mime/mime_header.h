// A header: the ordered fields of a message or body part, and the charset
// in which values with non-ASCII bytes are encoded.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/media_type.h"
#include "mime/mime_field.h"

namespace vendrel {

class CMimeHeader {
 public:
  CMimeHeader() = default;
  CMimeHeader(const CMimeHeader&) = default;
  CMimeHeader& operator=(const CMimeHeader&) = default;
  CMimeHeader(CMimeHeader&&) = default;
  CMimeHeader& operator=(CMimeHeader&&) = default;
  virtual ~CMimeHeader() = default;

  virtual void clear();
  // Length of the stored form.
  virtual size_t stored_length() const;
  // Writes the stored form; the buffer must hold stored_length() bytes
  // (qm_invalid_arg otherwise, and nothing is written). Returns the length.
  virtual size_t store(char* buffer, size_t capacity) const;
  // Reads fields up to the first empty line; returns the bytes taken, the
  // empty line included (where a body's content starts). Never reads past
  // `size` and never fails: see load_header.
  virtual size_t load(const char* data, size_t size);

  // The stored form as a string.
  std::string to_string() const;
  size_t load(std::string_view text) { return load(text.data(), text.size()); }

  // Charset for encoding values that have no charset of their own.
  const std::string& charset() const { return charset_; }
  void set_charset(std::string charset) { charset_ = std::move(charset); }

  // Fields. Names compare without case; the first field of a name counts.
  const std::vector<CMimeField>& fields() const { return fields_; }
  const CMimeField* find_field(std::string_view name) const;
  CMimeField* find_field(std::string_view name);
  // The value as stored (unfolded, encoded words as they are); "" if none.
  std::string field_value(std::string_view name) const;
  // The value with encoded words decoded; `charset` gets the first word's charset.
  std::string decoded_field_value(std::string_view name, std::string* charset = nullptr) const;
  // Replaces the value of the first field of the name, or appends a field.
  CMimeField& set_field_value(std::string_view name, std::string value, std::string charset = {});
  // Appends a field even when one of the name exists (Received, ...).
  CMimeField& add_field(std::string_view name, std::string value, std::string charset = {});
  // Removes every field of the name; returns how many there were.
  size_t remove_field(std::string_view name);

  // A parameter of a field, decoded (see CMimeField::parameter).
  std::optional<std::string> parameter(std::string_view field, std::string_view attribute,
                                       std::string* charset = nullptr) const;
  // Sets a parameter, creating the field with an empty value if needed.
  void set_parameter(std::string_view field, std::string_view attribute, std::string_view value);

  // Content-Type: the media type (text without the field), the subtype
  // (lower case; "plain" without the field), the charset parameter and the
  // boundary parameter (as written, quotes removed).
  CMimeMediaType media_type() const;
  std::string type_name() const;  // the "type" text as written, lower case
  std::string subtype() const;
  std::string content_charset() const;
  std::string boundary() const;
  // Content-Transfer-Encoding, lower case and trimmed ("" when absent).
  std::string transfer_encoding() const;

 protected:
  // The stored form; bodies add their content.
  virtual void append_to(std::string& out) const { append_header(out); }
  void append_header(std::string& out) const;
  // The fields as stored, with a Content-Type value to use in place of the
  // field's own when `content_type` is given.
  void append_header(std::string& out, const std::string* content_type) const;
  // Fields up to the first empty line. Continuation lines (starting with a
  // blank or tab) are joined to their field without the line end. Lines may
  // end in CR LF or a bare LF. A first line "From ..." (mailbox separator) is
  // skipped. A line that is neither a field nor a continuation ends the
  // header, and the content starts with it: so a part without headers reads
  // as content. Returns where the content starts.
  size_t load_header(const char* data, size_t size);

 private:
  std::vector<CMimeField> fields_;
  std::string charset_;
};

}  // namespace vendrel
