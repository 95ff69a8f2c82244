#include "text/text_buffer.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>

#include "common/errors.h"

namespace vendrel {

namespace {

void resize_zero_filled(std::string& bytes, size_t size) {
  try {
    bytes.resize(size, '\0');
  } catch (const std::bad_alloc&) {
    throw qm_enomem_error("text buffer: out of memory");
  } catch (const std::length_error&) {
    throw qm_enomem_error("text buffer: out of memory");
  }
}

}  // namespace

text_buffer::text_buffer(size_t initial_capacity) { resize_zero_filled(bytes_, initial_capacity); }

void text_buffer::grow_for(size_t extra) {
  // The text, the addition and the terminating zero must fit.
  const size_t limit = std::numeric_limits<size_t>::max() / 2;
  if (extra >= limit - size_) throw qm_enomem_error("text buffer: out of memory");
  const size_t needed = size_ + extra + 1;
  size_t capacity = bytes_.empty() ? 1 : bytes_.size();
  while (capacity < needed) {
    if (capacity > limit) throw qm_enomem_error("text buffer: out of memory");
    capacity *= 2;
  }
  resize_zero_filled(bytes_, capacity);
}

void text_buffer::append(std::string_view bytes) {
  if (bytes.empty()) return;
  if (bytes.size() >= bytes_.size() - size_) grow_for(bytes.size());
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_));
  size_ += bytes.size();
}

std::string text_buffer::take() {
  bytes_.resize(size_);
  std::string result = std::move(bytes_);
  bytes_.clear();
  size_ = 0;
  return result;
}

}  // namespace vendrel
