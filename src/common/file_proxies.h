// The three byte sources under CMyFile. Each proxy serves one file object,
// so the handle it returns from open is only ever passed back to itself.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "common/file.h"

namespace vendrel {

// The file layer's one library-wide lock; it guards the stream callback table.
std::mutex& file_layer_mutex();

// The operating-system file, through the platform layer.
class WinApiReadProxy final : public IReadProxy {
 public:
  file_handle open(std::u16string_view name, uint32_t desired_access, uint32_t share_mode,
                   void* security_attributes, uint32_t creation_disposition, uint32_t flags,
                   void* template_file) override;
  bool close(file_handle handle) override;
  bool flush(file_handle handle) override;
  bool read(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred,
            void* overlapped) override;
  bool write(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred,
             void* overlapped) override;
  uint32_t seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) override;
  uint32_t size(file_handle handle, uint32_t* high) override;
  bool set_end(file_handle handle) override;
  bool times(file_handle handle, platform::file_times* times) override;
  // pread / pwrite (an OVERLAPPED offset on Win32): one call, no seek.
  bool read_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count,
               uint32_t* transferred) override;
  bool write_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                uint32_t* transferred) override;
};

// The library-wide stream callbacks (install_stream_callbacks). Read-only;
// the proxy keeps the position and, once asked for, the length itself.
class StreamReadProxy final : public IReadProxy {
 public:
  static constexpr uint64_t unknown_length = ~uint64_t{0};

  file_handle open(std::u16string_view name, uint32_t desired_access, uint32_t share_mode,
                   void* security_attributes, uint32_t creation_disposition, uint32_t flags,
                   void* template_file) override;
  bool close(file_handle handle) override;
  bool flush(file_handle handle) override;
  bool read(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred,
            void* overlapped) override;
  bool write(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred,
             void* overlapped) override;
  uint32_t seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) override;
  uint32_t size(file_handle handle, uint32_t* high) override;
  bool set_end(file_handle handle) override;
  bool times(file_handle handle, platform::file_times* times) override;

 private:
  bool known_length();

  uint64_t position_ = 0;
  uint64_t length_ = unknown_length;
};

// A caller's table of callbacks. Reads and writes count as done only when
// the callback reports success and the full count.
class ExternalReadProxy final : public IReadProxy {
 public:
  explicit ExternalReadProxy(const external_file_callbacks* callbacks) : callbacks_(callbacks) {}

  file_handle open(std::u16string_view name, uint32_t desired_access, uint32_t share_mode,
                   void* security_attributes, uint32_t creation_disposition, uint32_t flags,
                   void* template_file) override;
  bool close(file_handle handle) override;
  bool flush(file_handle handle) override;
  bool read(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred,
            void* overlapped) override;
  bool write(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred,
             void* overlapped) override;
  uint32_t seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) override;
  uint32_t size(file_handle handle, uint32_t* high) override;
  // The table has no such call: the source grows by its writes.
  bool set_end(file_handle handle) override;
  bool times(file_handle handle, platform::file_times* times) override;

 private:
  const external_file_callbacks* callbacks_;
};

// External callbacks given -> ExternalReadProxy; the name ":stream:" ->
// StreamReadProxy; anything else -> WinApiReadProxy.
std::unique_ptr<IReadProxy> make_read_proxy(std::u16string_view name,
                                            const external_file_callbacks* external);

}  // namespace vendrel
