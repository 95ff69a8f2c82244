// A body part: a header plus either content or, for multipart bodies, child
// parts; a message part (message/rfc822) holds one child message.
//
// Content is kept decoded: loading removes the transfer encoding named by
// Content-Transfer-Encoding, storing applies it again. The content of a
// multipart body is its preamble.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/mime_header.h"

namespace vendrel {

class CMimeMessage;

class CMimeBody : public CMimeHeader {
 public:
  // Multipart and message parts nested deeper than this are not parsed:
  // such a part keeps its text as content and reports nesting_limited().
  static constexpr int kMaxDepth = 32;

  CMimeBody();
  ~CMimeBody() override;
  CMimeBody(const CMimeBody&) = delete;
  CMimeBody& operator=(const CMimeBody&) = delete;
  CMimeBody(CMimeBody&&) noexcept;
  CMimeBody& operator=(CMimeBody&&) noexcept;

  void clear() override;
  // Reads a whole part: header, then content or child parts. Never fails on
  // malformed text (see load_part); returns `size`.
  size_t load(const char* data, size_t size) override;
  size_t load(std::string_view text) { return load(text.data(), text.size()); }

  // The decoded content (the preamble of a multipart body).
  const std::string& content() const { return content_; }
  void set_content(std::string data) { content_ = std::move(data); }
  // Text content: Content-Type "text/plain" unless one is set, and its
  // charset parameter when a charset is given.
  void set_text(std::string text, std::string_view charset = {});
  // A file's content: Content-Type from the file name's extension with the
  // name as its `name` parameter; Content-Transfer-Encoding base64 and
  // Content-Disposition attachment (with `filename`) unless already set.
  void set_attachment(std::string data, std::string_view file_name);

  bool is_multipart() const { return media_type() == CMimeMediaType::multipart; }

  // Child parts, in order.
  const std::vector<std::unique_ptr<CMimeBody>>& children() const { return children_; }
  size_t child_count() const { return children_.size(); }
  CMimeBody* child(size_t index) const { return index < children_.size() ? children_[index].get() : nullptr; }
  // Appends a child. A body that is not multipart yet becomes
  // multipart/mixed; a boundary is added when it has none.
  CMimeBody& add_child();
  CMimeBody& add_child(std::unique_ptr<CMimeBody> child);
  // Appends a child of type message/rfc822 and returns its message.
  CMimeMessage& add_message_part();

  // The message of a message/rfc822 (or message/global) part, else null.
  CMimeMessage* message() const { return message_.get(); }
  void set_message(std::unique_ptr<CMimeMessage> message);

  // True when parts below this one were nested too deep to be parsed.
  bool nesting_limited() const { return nesting_limited_; }

 protected:
  // Multipart content is split at the delimiter lines of the boundary:
  // "--boundary" at the start of a line, then optional blanks and the line
  // end; "--boundary--" closes. The line end before a delimiter belongs to
  // it. Text before the first delimiter is the preamble, text after the
  // closing one is dropped. Without a boundary, or when no delimiter line is
  // found, the whole content becomes one child part; without a closing
  // delimiter the last part runs to the end.
  void load_part(const char* data, size_t size, int depth);
  void append_to(std::string& out) const override;
  void append_part(std::string& out, int depth) const;

 private:
  void load_multipart(std::string_view content, int depth);
  void ensure_multipart();

  std::string content_;
  std::vector<std::unique_ptr<CMimeBody>> children_;
  std::unique_ptr<CMimeMessage> message_;
  bool nesting_limited_ = false;
};

}  // namespace vendrel
