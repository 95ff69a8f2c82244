// Win32 platform layer: files, straight onto the Win32 file calls. Share
// modes are Windows' own. Paths too long for the plain calls take the
// extended-length form (win32::extended_path); narrow paths are widened in
// the code page of the file calls first, so that they may be long too.
#if defined(_WIN32)

#include "platform/windows_headers.h"

#include <string>

#include "platform/platform.h"
#include "platform/win32_internal.h"

namespace vendrel::platform {

namespace {

using win32::fail;
using win32::fail_with_last_error;

static_assert(sizeof(file_handle) == sizeof(HANDLE), "a file handle holds a HANDLE");
static_assert(invalid_file == -1, "invalid_file is INVALID_HANDLE_VALUE");
static_assert(access::read == GENERIC_READ && access::write == GENERIC_WRITE);
static_assert(share::read == FILE_SHARE_READ && share::write == FILE_SHARE_WRITE);
static_assert(creation::create_new == CREATE_NEW && creation::create_always == CREATE_ALWAYS &&
              creation::open_existing == OPEN_EXISTING && creation::open_always == OPEN_ALWAYS &&
              creation::truncate_existing == TRUNCATE_EXISTING);
static_assert(file_flag::normal == FILE_ATTRIBUTE_NORMAL && file_flag::random_access == FILE_FLAG_RANDOM_ACCESS);
static_assert(static_cast<uint32_t>(seek_origin::begin) == FILE_BEGIN &&
              static_cast<uint32_t>(seek_origin::current) == FILE_CURRENT &&
              static_cast<uint32_t>(seek_origin::end) == FILE_END);
static_assert(invalid_file_attributes == INVALID_FILE_ATTRIBUTES &&
              attribute_directory == FILE_ATTRIBUTE_DIRECTORY && attribute_normal == FILE_ATTRIBUTE_NORMAL);

// INVALID_HANDLE_VALUE is also the pseudo-handle of the current process, on
// which some calls succeed (CloseHandle does); null is no handle either.
bool usable(file_handle handle) { return handle != invalid_file && handle != 0; }

HANDLE native(file_handle handle) { return reinterpret_cast<HANDLE>(handle); }

uint64_t filetime_value(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

file_handle open_wide(const std::wstring& path, uint32_t desired_access, uint32_t share_mode,
                      uint32_t disposition, uint32_t flags) {
  if (disposition < creation::create_new || disposition > creation::truncate_existing) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return invalid_file;
  }
  if (disposition == creation::truncate_existing &&
      (desired_access & (access::write | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) == 0) {
    // Truncation needs write access. Windows refuses it; not every
    // implementation of the calls does (wine empties the file).
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return invalid_file;
  }
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return invalid_file;
  }
  const std::wstring target = win32::extended_path(path, win32::file_path_limit);
  HANDLE handle = ::CreateFileW(target.c_str(), desired_access, share_mode, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    fail_with_last_error();
    return invalid_file;
  }
  // CreateFileW tells an existing file for OPEN_ALWAYS and CREATE_ALWAYS; every
  // other success reads as success whatever the call left behind.
  const bool may_report_existing = disposition == creation::open_always || disposition == creation::create_always;
  if (!(may_report_existing && ::GetLastError() == ERROR_ALREADY_EXISTS)) ::SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<file_handle>(handle);
}

bool delete_wide(const std::wstring& path) {
  if (path.empty()) return fail(ERROR_PATH_NOT_FOUND);
  const std::wstring target = win32::extended_path(path, win32::file_path_limit);
  if (!::DeleteFileW(target.c_str())) return fail_with_last_error();
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

}  // namespace

file_handle open_file(std::u16string_view path, uint32_t desired_access, uint32_t share_mode,
                      uint32_t creation_disposition, uint32_t flags) {
  return open_wide(win32::to_wchar(path), desired_access, share_mode, creation_disposition, flags);
}

file_handle open_file_narrow(std::string_view path, uint32_t desired_access, uint32_t share_mode,
                             uint32_t creation_disposition, uint32_t flags) {
  return open_wide(win32::narrow_path_to_wchar(path), desired_access, share_mode, creation_disposition, flags);
}

bool close_file(file_handle handle) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (!::CloseHandle(native(handle))) return fail_with_last_error();
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool flush_file(file_handle handle) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (!::FlushFileBuffers(native(handle))) return fail_with_last_error();
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool read_file(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
  if (transferred) *transferred = 0;
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && count != 0) return fail(ERROR_INVALID_PARAMETER);
  auto* bytes = static_cast<char*>(buffer);
  uint32_t done = 0;
  // A disk file gives everything up to the end of the file in one call; a
  // pipe or device may give less, so read on until the count or the end.
  while (done < count) {
    DWORD n = 0;
    if (!::ReadFile(native(handle), bytes + done, count - done, &n, nullptr)) {
      if (transferred) *transferred = done;
      if (::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE) break;
      return fail_with_last_error();
    }
    if (n == 0) break;  // end of file: a short read that succeeds
    done += n;
  }
  if (transferred) *transferred = done;
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool write_file(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
  if (transferred) *transferred = 0;
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && count != 0) return fail(ERROR_INVALID_PARAMETER);
  const auto* bytes = static_cast<const char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!::WriteFile(native(handle), bytes + done, count - done, &n, nullptr)) {
      if (transferred) *transferred = done;
      return fail_with_last_error();
    }
    if (n == 0) {
      if (transferred) *transferred = done;
      return fail(ERROR_DISK_FULL);
    }
    done += n;
  }
  if (transferred) *transferred = done;
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

namespace {

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

}  // namespace

bool read_file_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count, uint32_t* transferred) {
  if (transferred) *transferred = 0;
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && count != 0) return fail(ERROR_INVALID_PARAMETER);
  auto* bytes = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    DWORD n = 0;
    OVERLAPPED overlapped = at_offset(offset + done);
    if (!::ReadFile(native(handle), bytes + done, count - done, &n, &overlapped)) {
      if (transferred) *transferred = done;
      if (::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE) break;
      return fail_with_last_error();
    }
    if (n == 0) break;  // end of file: a short read that succeeds
    done += n;
  }
  if (transferred) *transferred = done;
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool write_file_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                   uint32_t* transferred) {
  if (transferred) *transferred = 0;
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && count != 0) return fail(ERROR_INVALID_PARAMETER);
  const auto* bytes = static_cast<const char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    DWORD n = 0;
    OVERLAPPED overlapped = at_offset(offset + done);
    if (!::WriteFile(native(handle), bytes + done, count - done, &n, &overlapped)) {
      if (transferred) *transferred = done;
      return fail_with_last_error();
    }
    if (n == 0) {
      if (transferred) *transferred = done;
      return fail(ERROR_DISK_FULL);
    }
    done += n;
  }
  if (transferred) *transferred = done;
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool seek_file(file_handle handle, int64_t distance, seek_origin origin, uint64_t* new_position) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (origin != seek_origin::begin && origin != seek_origin::current && origin != seek_origin::end)
    return fail(ERROR_INVALID_PARAMETER);
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!::SetFilePointerEx(native(handle), move, &position, static_cast<DWORD>(origin))) return fail_with_last_error();
  if (new_position) *new_position = static_cast<uint64_t>(position.QuadPart);
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool file_size(file_handle handle, uint64_t* size) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (size == nullptr) return fail(ERROR_INVALID_PARAMETER);
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(native(handle), &value)) return fail_with_last_error();
  *size = static_cast<uint64_t>(value.QuadPart);
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool set_end_of_file(file_handle handle) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (!::SetEndOfFile(native(handle))) {
    // A handle without write access is access denied, as Windows says; wine
    // says invalid parameter, which the file layer would take as harmless.
    // An empty write tells the two apart without touching the file.
    if (::GetLastError() == ERROR_INVALID_PARAMETER) {
      DWORD none = 0;
      if (!::WriteFile(native(handle), "", 0, &none, nullptr) && ::GetLastError() == ERROR_ACCESS_DENIED)
        return fail(ERROR_ACCESS_DENIED);
      return fail(ERROR_INVALID_PARAMETER);
    }
    return fail_with_last_error();
  }
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool get_file_times(file_handle handle, file_times* times) {
  if (!usable(handle)) return fail(ERROR_INVALID_HANDLE);
  if (times == nullptr) return fail(ERROR_INVALID_PARAMETER);
  FILETIME creation{}, last_access{}, last_write{};
  if (!::GetFileTime(native(handle), &creation, &last_access, &last_write)) return fail_with_last_error();
  times->creation = filetime_value(creation);
  times->last_access = filetime_value(last_access);
  times->last_write = filetime_value(last_write);
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool delete_file(std::u16string_view path) { return delete_wide(win32::to_wchar(path)); }

bool delete_file_narrow(std::string_view path) { return delete_wide(win32::narrow_path_to_wchar(path)); }

bool create_directory(std::u16string_view path) {
  const std::wstring plain = win32::to_wchar(path);
  if (plain.empty()) return fail(ERROR_PATH_NOT_FOUND);
  const std::wstring target = win32::extended_path(plain, win32::directory_path_limit);
  if (!::CreateDirectoryW(target.c_str(), nullptr)) return fail_with_last_error();
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

uint32_t file_attributes(std::u16string_view path) {
  const std::wstring plain = win32::to_wchar(path);
  if (plain.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return invalid_file_attributes;
  }
  const std::wstring target = win32::extended_path(plain, win32::file_path_limit);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    fail_with_last_error();
    return invalid_file_attributes;
  }
  ::SetLastError(ERROR_SUCCESS);
  return attributes;
}

void sleep_ms(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace vendrel::platform

#endif  // _WIN32
