// External file callbacks over a real file (stdio) that fail the write
// numbered `fail_at` (counting writes of at least one byte from 0), so that
// tests can make any write of the node database fail, or every write of at
// least `fail_from_bytes` bytes (the append buffer's runs); and, when asked, the
// flush to stable storage or the close (as a file system reporting a failed
// write-back there would).
#pragma once

#include <cstdio>
#include <string>

#include "common/file.h"
#include "platform/platform.h"

namespace vendrel::test {

struct failing_file {
  std::FILE* file = nullptr;
  int writes = 0;
  int fail_at = -1;
  uint32_t fail_from_bytes = 0;  // 0: no write fails by its size
  bool fail_flush = false, fail_close = false;
  int flushes = 0, closes = 0;
  std::string path;
};

inline file_handle ext_open(void* context, const char16_t*, uint32_t, uint32_t disposition) {
  auto* f = static_cast<failing_file*>(context);
  f->file = std::fopen(f->path.c_str(), disposition == platform::creation::create_always ? "w+b" : "r+b");
  return f->file ? 1 : platform::invalid_file;
}
inline bool ext_read(void* context, file_handle, void* buffer, uint32_t count, uint32_t* transferred) {
  auto* f = static_cast<failing_file*>(context);
  *transferred = static_cast<uint32_t>(std::fread(buffer, 1, count, f->file));
  return true;
}
inline bool ext_write(void* context, file_handle, const void* buffer, uint32_t count, uint32_t* transferred) {
  auto* f = static_cast<failing_file*>(context);
  const bool large = f->fail_from_bytes != 0 && count >= f->fail_from_bytes;
  if ((count > 0 && f->writes++ == f->fail_at) || large) {
    platform::set_last_error(platform::error::disk_full);
    *transferred = 0;
    return false;
  }
  *transferred = static_cast<uint32_t>(std::fwrite(buffer, 1, count, f->file));
  return true;
}
inline uint32_t ext_seek(void* context, file_handle, int32_t low, int32_t* high, uint32_t method) {
  auto* f = static_cast<failing_file*>(context);
  int64_t distance = (static_cast<int64_t>(high ? *high : 0) << 32) | static_cast<uint32_t>(low);
  std::fseek(f->file, static_cast<long>(distance), method == 1 ? SEEK_CUR : SEEK_SET);
  int64_t position = std::ftell(f->file);
  if (high) *high = static_cast<int32_t>(position >> 32);
  return static_cast<uint32_t>(position);
}
inline uint32_t ext_size(void* context, file_handle, uint32_t* high) {
  auto* f = static_cast<failing_file*>(context);
  long here = std::ftell(f->file);
  std::fseek(f->file, 0, SEEK_END);
  long size = std::ftell(f->file);
  std::fseek(f->file, here, SEEK_SET);
  if (high) *high = 0;
  return static_cast<uint32_t>(size);
}
inline bool ext_close(void* context, file_handle) {
  auto* f = static_cast<failing_file*>(context);
  ++f->closes;
  std::fclose(f->file);
  f->file = nullptr;
  if (f->fail_close) {
    platform::set_last_error(platform::error::write_fault);
    return false;
  }
  return true;
}
inline bool ext_flush(void* context, file_handle) {
  auto* f = static_cast<failing_file*>(context);
  ++f->flushes;
  if (f->fail_flush || std::fflush(f->file) != 0) {
    platform::set_last_error(platform::error::write_fault);
    return false;
  }
  return true;
}

inline external_file_callbacks failing_callbacks(failing_file& state) {
  return {&state, ext_open, ext_read, ext_write, ext_seek, ext_size, ext_close, ext_flush};
}

}  // namespace vendrel::test
