// Blocks are placed one after another in the file's block regions, so most
// block writes continue where the previous one ended. The append buffer
// gathers such a run in memory and hands it to the file in one positioned
// write when the run breaks, the buffer is full, or the node database needs
// the file's own bytes (a commit before its header, a change of the file's
// length, the close): a few calls a megabyte instead of one per block.
//
// Reads see the buffered bytes, and a write that lands inside the buffered
// run changes them there. A flush that fails keeps every buffered byte, so
// the next flush tries again: nothing the B-trees point at is dropped, and a
// commit whose flush fails writes no header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/file.h"

namespace vendrel {

class pst_append_buffer {
 public:
  static constexpr size_t default_capacity = size_t{4} << 20;

  // capacity 0 sends every write straight to the file.
  explicit pst_append_buffer(size_t capacity = default_capacity) : capacity_(capacity) {}
  pst_append_buffer(const pst_append_buffer&) = delete;
  pst_append_buffer& operator=(const pst_append_buffer&) = delete;

  // Room for a block of `size` bytes at `offset`, for the caller to fill in
  // place: in the run when the block continues it, else in a new run that
  // starts at `offset` once the old one is flushed. nullptr when the block
  // is not buffered (capacity 0, or a block as large as the buffer): the
  // caller writes it with write().
  uint8_t* place(IFile& file, uint64_t offset, size_t size);
  // Any other write (pages, the header): into the run when it lies inside
  // it, straight to the file when it lies outside; a write across the run's
  // edge flushes the run first.
  void write(IFile& file, uint64_t offset, const void* data, size_t size);
  // Reads through the run: bytes inside it come from memory.
  void read(IFile& file, uint64_t offset, void* data, size_t size);
  // Writes the run to the file; qm_cwf_error keeps it for the next try.
  void flush(IFile& file);

  bool empty() const { return used_ == 0; }
  uint64_t start() const { return start_; }
  uint64_t end() const { return start_ + used_; }
  size_t capacity() const { return capacity_; }
  // Drops the run without writing it: what follows the last commit, which
  // no header refers to, when the file is closed.
  void discard() { used_ = 0; }
  // For an empty buffer (flush first); 0 writes every block through.
  void set_capacity(size_t capacity);

 private:
  bool overlaps(uint64_t offset, size_t size) const { return used_ != 0 && offset < end() && offset + size > start_; }
  bool inside(uint64_t offset, size_t size) const { return used_ != 0 && offset >= start_ && offset + size <= end(); }

  size_t capacity_;
  uint64_t start_ = 0;
  size_t used_ = 0;
  // capacity_ bytes once the first block is placed; blocks are built in it.
  std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace vendrel
