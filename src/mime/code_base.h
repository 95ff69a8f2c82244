// The codec interface of the MIME classes: a codec is given an input buffer
// and a direction, tells how long its output is, and writes that output into
// a caller's buffer. CMimeCodeBase itself copies input to output unchanged;
// it is the codec of transfer encodings that need no work (binary, unknown
// names).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vendrel {

// Where a codec writes. Bounded by the caller's capacity: bytes beyond it are
// counted but never written, so one pass can also measure an output. A third
// form appends to a string instead.
class CMimeOutput {
 public:
  CMimeOutput() = default;  // counts only
  CMimeOutput(char* buffer, size_t capacity) : buffer_(buffer), capacity_(buffer ? capacity : 0) {}
  explicit CMimeOutput(std::string& target) : target_(&target) {}

  void put(char c) {
    if (target_) {
      target_->push_back(c);
    } else if (count_ < capacity_) {
      buffer_[count_] = c;
    }
    ++count_;
  }
  void put(std::string_view text);

  // Bytes produced so far, whether or not they fitted.
  size_t count() const { return count_; }
  // Bytes actually placed in the caller's buffer (or string).
  size_t written() const { return target_ ? count_ : (count_ < capacity_ ? count_ : capacity_); }

 private:
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  std::string* target_ = nullptr;
  size_t count_ = 0;
};

class CMimeCodeBase {
 public:
  CMimeCodeBase() = default;
  CMimeCodeBase(const CMimeCodeBase&) = default;
  CMimeCodeBase& operator=(const CMimeCodeBase&) = default;
  virtual ~CMimeCodeBase() = default;

  // The input is borrowed: it must stay alive while the codec works on it.
  // A null pointer is only accepted with size 0 (qm_invalid_arg otherwise).
  void set_input(const char* data, size_t size, bool encoding);
  void set_input(std::string_view data, bool encoding) { set_input(data.data(), data.size(), encoding); }

  // Exact length of the output for the current input and direction.
  virtual size_t output_length() const;
  // Write the encoded / decoded input; never more than `capacity` bytes.
  // Return the number of bytes written.
  virtual size_t encode(char* output, size_t capacity) const;
  virtual size_t decode(char* output, size_t capacity) const;

  // encode() or decode(), as chosen by set_input.
  size_t get_output(char* output, size_t capacity) const;
  // The whole output as a string (one pass).
  std::string output() const;

  std::string_view input() const { return input_; }
  bool is_encoding() const { return encoding_; }

 protected:
  // The work of a codec; the public operations run these with a bounded,
  // counting or appending output.
  virtual void encode_into(CMimeOutput& out) const;
  virtual void decode_into(CMimeOutput& out) const;

 private:
  std::string_view input_;
  bool encoding_ = true;
};

// One-call forms: set the input, return the whole output.
std::string mime_encode(CMimeCodeBase& codec, std::string_view input);
std::string mime_decode(CMimeCodeBase& codec, std::string_view input);

}  // namespace vendrel
