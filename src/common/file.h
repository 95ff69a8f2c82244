// The file access layer. The node database reads and writes its file through
// IFile; CMyFile implements it over an IReadProxy, which performs the actual
// calls on one byte source: the operating system (WinApiReadProxy), a
// library-wide table of stream callbacks (StreamReadProxy, file name
// ":stream:") or a caller's table of callbacks (ExternalReadProxy, also how
// the tests make reads and writes fail at a chosen point).
//
// CMyFile turns failures into qm_cwf_error (cannot write, -5) and
// qm_crf_error (cannot read, -4).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vendrel {

using platform::file_handle;

// Operating-system calls of one byte source, in the Win32 shape.
class IReadProxy {
 public:
  virtual ~IReadProxy() = default;
  virtual file_handle open(std::u16string_view name, uint32_t desired_access, uint32_t share_mode,
                           void* security_attributes, uint32_t creation_disposition, uint32_t flags,
                           void* template_file) = 0;
  virtual bool close(file_handle handle) = 0;
  // FlushFileBuffers: the written data through to stable storage.
  virtual bool flush(file_handle handle) = 0;
  virtual bool read(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred,
                    void* overlapped) = 0;
  virtual bool write(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred,
                     void* overlapped) = 0;
  // SetFilePointer: returns the low half of the new position; *high in/out.
  // 0xFFFFFFFF with last_error() != 0 is a failure.
  virtual uint32_t seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) = 0;
  // GetFileSize: returns the low half; *high receives the high half.
  virtual uint32_t size(file_handle handle, uint32_t* high) = 0;
  // SetEndOfFile at the current position.
  virtual bool set_end(file_handle handle) = 0;
  // ReadFile / WriteFile at an explicit offset, in one call where the source
  // has one (an OVERLAPPED offset); by default a seek, then read or write.
  // The position afterwards is unspecified.
  virtual bool read_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count,
                       uint32_t* transferred);
  virtual bool write_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                        uint32_t* transferred);
  // GetFileTime; false when the source has no times.
  virtual bool times(file_handle handle, platform::file_times* times) = 0;
};

// A caller-supplied byte source. Every callback gets `context` first.
// Callbacks that report failure should set platform::set_last_error().
struct external_file_callbacks {
  void* context = nullptr;
  file_handle (*open)(void* context, const char16_t* name, uint32_t desired_access,
                      uint32_t creation_disposition) = nullptr;
  bool (*read)(void* context, file_handle handle, void* buffer, uint32_t count,
               uint32_t* transferred) = nullptr;
  bool (*write)(void* context, file_handle handle, const void* buffer, uint32_t count,
                uint32_t* transferred) = nullptr;
  uint32_t (*seek)(void* context, file_handle handle, int32_t low, int32_t* high,
                   uint32_t method) = nullptr;
  uint32_t (*size)(void* context, file_handle handle, uint32_t* high) = nullptr;
  bool (*close)(void* context, file_handle handle) = nullptr;
  // Optional: a source without it has nothing to flush.
  bool (*flush)(void* context, file_handle handle) = nullptr;
};

// The library-wide stream source read by StreamReadProxy. No exported call
// installs one; the library's own readers (and tests) do.
struct stream_callbacks {
  void* context = nullptr;
  uint64_t (*size)(void* context) = nullptr;
  bool (*read_at)(void* context, uint64_t offset, void* buffer, uint32_t count,
                  uint32_t* transferred) = nullptr;
};
void install_stream_callbacks(const stream_callbacks* callbacks);  // nullptr removes them

inline constexpr std::u16string_view stream_file_name = u":stream:";

class IFile {
 public:
  virtual ~IFile() = default;

  const std::u16string& name() const { return name_; }
  bool is_open() const { return handle_ != platform::invalid_file; }

  // 64-bit size; 0 when the handle is invalid.
  virtual uint64_t size() = 0;
  // mode 0: from the beginning, 1: from the current position.
  virtual void seek(uint64_t position, uint32_t mode = 0) = 0;
  // Reads up to count bytes at the position; returns the bytes read (fewer
  // only at the end of the file). qm_crf_error on failure.
  virtual uint32_t read(void* buffer, uint32_t count) = 0;
  // Writes all count bytes at the position. qm_cwf_error on failure.
  virtual void write(const void* buffer, uint32_t count) = 0;
  // Writes, then sets the end of the file after the written bytes.
  virtual void write_and_set_end(const void* buffer, uint32_t count) = 0;
  // Creation, last-access and last-write times as local FILETIMEs; 0 each when unavailable.
  virtual platform::file_times times() = 0;

  // Flushes a file opened for writing to stable storage, then closes it.
  // Either failing is qm_cwf_error: a file system may report a failed
  // write-back only there. The file is closed afterwards either way.
  void flush_and_close();

  // Positioned forms. read_at raises qm_crf_error unless all count bytes are
  // read. They leave the position unspecified: seek before read or write.
  virtual void read_at(uint64_t offset, void* buffer, uint32_t count);
  virtual void write_at(uint64_t offset, const void* buffer, uint32_t count);

 protected:
  std::u16string name_;
  uint32_t access_ = 0;
  uint32_t flags_ = 0;
  std::unique_ptr<IReadProxy> proxy_;
  const external_file_callbacks* external_ = nullptr;
  file_handle handle_ = platform::invalid_file;
};

class CMyFile final : public IFile {
 public:
  // Creates (or truncates) a file for writing: share mode 0, CREATE_ALWAYS,
  // random access. qm_cwf_error when it cannot be created.
  static std::unique_ptr<CMyFile> create_for_writing(
      std::u16string_view name, uint32_t desired_access = platform::access::read | platform::access::write,
      const external_file_callbacks* external = nullptr);
  // Opens an existing file for reading, retrying once after 10 ms. A file that
  // still cannot be opened leaves the handle invalid: the first read fails.
  static std::unique_ptr<CMyFile> open_for_reading(std::u16string_view name,
                                                   const external_file_callbacks* external = nullptr);
  ~CMyFile() override;

  uint64_t size() override;
  void seek(uint64_t position, uint32_t mode = 0) override;
  uint32_t read(void* buffer, uint32_t count) override;
  void write(const void* buffer, uint32_t count) override;
  // One positioned call to the source each.
  void read_at(uint64_t offset, void* buffer, uint32_t count) override;
  void write_at(uint64_t offset, const void* buffer, uint32_t count) override;
  void write_and_set_end(const void* buffer, uint32_t count) override;
  platform::file_times times() override;

 private:
  CMyFile() = default;
  uint64_t position_ = 0;
  uint32_t seek_mode_ = 0;
};

}  // namespace vendrel
