#include "ndb/append_buffer.h"

#include <cstring>
#include <limits>

#include "common/errors.h"

namespace vendrel {

namespace {

void write_through(IFile& file, uint64_t offset, const void* data, size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) throw qm_invalid_arg("write_file: size too large");
  file.write_at(offset, data, static_cast<uint32_t>(size));
}

}  // namespace

void pst_append_buffer::append(IFile& file, uint64_t offset, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (!bytes_.empty() && offset == end() && bytes_.size() + size <= capacity_) {
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return;
  }
  if (inside(offset, size)) {
    std::memcpy(bytes_.data() + (offset - start_), bytes, size);
    return;
  }
  if (!bytes_.empty()) flush(file);
  if (size >= capacity_) {
    write_through(file, offset, data, size);
    return;
  }
  if (bytes_.capacity() < capacity_) bytes_.reserve(capacity_);
  start_ = offset;
  bytes_.assign(bytes, bytes + size);
}

void pst_append_buffer::write(IFile& file, uint64_t offset, const void* data, size_t size) {
  if (inside(offset, size)) {
    std::memcpy(bytes_.data() + (offset - start_), data, size);
    return;
  }
  if (overlaps(offset, size)) flush(file);
  write_through(file, offset, data, size);
}

void pst_append_buffer::read(IFile& file, uint64_t offset, void* data, size_t size) {
  if (inside(offset, size)) {
    std::memcpy(data, bytes_.data() + (offset - start_), size);
    return;
  }
  if (overlaps(offset, size)) flush(file);
  if (size > std::numeric_limits<uint32_t>::max()) throw qm_invalid_arg("read_file: size too large");
  file.read_at(offset, data, static_cast<uint32_t>(size));
}

void pst_append_buffer::set_capacity(size_t capacity) {
  if (!bytes_.empty()) throw qm_invalid_call("append buffer: capacity changed while it holds a run");
  capacity_ = capacity;
  if (capacity == 0) bytes_.shrink_to_fit();
}

void pst_append_buffer::flush(IFile& file) {
  if (bytes_.empty()) return;
  write_through(file, start_, bytes_.data(), bytes_.size());
  bytes_.clear();
}

}  // namespace vendrel
