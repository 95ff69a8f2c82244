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

uint8_t* pst_append_buffer::place(IFile& file, uint64_t offset, size_t size) {
  if (size >= capacity_) {
    if (overlaps(offset, size)) flush(file);
    return nullptr;
  }
  if (used_ == 0 || offset != end() || used_ + size > capacity_) {
    flush(file);
    if (!bytes_) bytes_ = std::make_unique_for_overwrite<uint8_t[]>(capacity_);
    start_ = offset;
  }
  uint8_t* room = bytes_.get() + used_;
  used_ += size;
  return room;
}

void pst_append_buffer::write(IFile& file, uint64_t offset, const void* data, size_t size) {
  if (inside(offset, size)) {
    std::memcpy(bytes_.get() + (offset - start_), data, size);
    return;
  }
  if (overlaps(offset, size)) flush(file);
  write_through(file, offset, data, size);
}

void pst_append_buffer::read(IFile& file, uint64_t offset, void* data, size_t size) {
  if (inside(offset, size)) {
    std::memcpy(data, bytes_.get() + (offset - start_), size);
    return;
  }
  if (overlaps(offset, size)) flush(file);
  if (size > std::numeric_limits<uint32_t>::max()) throw qm_invalid_arg("read_file: size too large");
  file.read_at(offset, data, static_cast<uint32_t>(size));
}

void pst_append_buffer::set_capacity(size_t capacity) {
  if (used_ != 0) throw qm_invalid_call("append buffer: capacity changed while it holds a run");
  capacity_ = capacity;
  bytes_.reset();
}

void pst_append_buffer::flush(IFile& file) {
  if (used_ == 0) return;
  write_through(file, start_, bytes_.get(), used_);
  used_ = 0;
}

}  // namespace vendrel
