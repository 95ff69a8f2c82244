#include "mime/code_base.h"

#include <cstring>

#include "common/errors.h"

namespace vendrel {

void CMimeOutput::put(std::string_view text) {
  if (target_) {
    target_->append(text);
  } else if (count_ < capacity_) {
    const size_t room = capacity_ - count_;
    std::memcpy(buffer_ + count_, text.data(), text.size() < room ? text.size() : room);
  }
  count_ += text.size();
}

void CMimeCodeBase::set_input(const char* data, size_t size, bool encoding) {
  if (!data && size != 0) throw qm_invalid_arg("MIME codec: null input of non-zero size");
  input_ = std::string_view(data ? data : "", data ? size : 0);
  encoding_ = encoding;
}

size_t CMimeCodeBase::output_length() const {
  CMimeOutput counter;
  if (encoding_)
    encode_into(counter);
  else
    decode_into(counter);
  return counter.count();
}

size_t CMimeCodeBase::encode(char* output, size_t capacity) const {
  CMimeOutput out(output, capacity);
  encode_into(out);
  return out.written();
}

size_t CMimeCodeBase::decode(char* output, size_t capacity) const {
  CMimeOutput out(output, capacity);
  decode_into(out);
  return out.written();
}

size_t CMimeCodeBase::get_output(char* output, size_t capacity) const {
  return encoding_ ? encode(output, capacity) : decode(output, capacity);
}

std::string CMimeCodeBase::output() const {
  std::string result;
  CMimeOutput out(result);
  if (encoding_)
    encode_into(out);
  else
    decode_into(out);
  return result;
}

void CMimeCodeBase::encode_into(CMimeOutput& out) const { out.put(input_); }
void CMimeCodeBase::decode_into(CMimeOutput& out) const { out.put(input_); }

std::string mime_encode(CMimeCodeBase& codec, std::string_view input) {
  codec.set_input(input, true);
  return codec.output();
}

std::string mime_decode(CMimeCodeBase& codec, std::string_view input) {
  codec.set_input(input, false);
  return codec.output();
}

}  // namespace vendrel
