// The output buffer of the text converters: zero-filled bytes that start at a
// given capacity and double whenever the next addition would not fit. One
// byte always stays free behind the text, so the buffer is NUL-terminated at
// every moment; nothing is ever written past its end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vendrel {

class text_buffer {
 public:
  // A failed allocation throws qm_enomem_error.
  explicit text_buffer(size_t initial_capacity);

  void append(std::string_view bytes);
  void append(char c) { append(std::string_view(&c, 1)); }

  size_t size() const { return size_; }
  size_t capacity() const { return bytes_.size(); }
  std::string_view view() const { return std::string_view(bytes_.data(), size_); }
  const char* c_str() const { return bytes_.data(); }

  // Hands the text over (without the spare zero bytes); the buffer is empty afterwards.
  std::string take();

 private:
  void grow_for(size_t extra);

  std::string bytes_;  // all of the capacity, zero beyond size_
  size_t size_ = 0;
};

}  // namespace vendrel
