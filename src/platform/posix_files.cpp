// POSIX platform layer: files. Handles are file descriptors; share modes are
// advisory flock() locks, so that exclusive use holds among handles of this
// layer (in this or another process) the way a Win32 share mode of 0 does.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <limits>
#include <string>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace vendrel::platform {

namespace {

using posix::error_from_errno;
using posix::fail_with_errno;
using posix::missing_path_error;

constexpr int64_t ticks_per_second = 10'000'000;
constexpr int64_t unix_epoch_ticks = 116'444'736'000'000'000;  // 1970-01-01 as a FILETIME

// Win32 access bits beyond GENERIC_READ / GENERIC_WRITE that also ask for data access.
constexpr uint32_t generic_all = 0x10000000u;
constexpr uint32_t file_read_data = 0x1;
constexpr uint32_t file_write_data = 0x2;
constexpr uint32_t file_append_data = 0x4;

// Win32 path -> Linux path: the string ends at the first NUL as a C string
// would, backslashes are separators, and the extended-length prefix "\\?\"
// has no meaning here.
std::string native_path(std::string path) {
  if (auto nul = path.find('\0'); nul != std::string::npos) path.resize(nul);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.rfind("//?/", 0) == 0) path.erase(0, 4);
  return path;
}

std::string native_path(std::u16string_view path) {
  // Unpaired surrogates cannot be spelled in UTF-8; U+FFFD keeps such a name usable.
  return native_path(utf16_to_utf8(path, "\xEF\xBF\xBD"));
}

int descriptor(file_handle handle) {
  if (handle < 0 || handle > INT_MAX) return -1;
  return static_cast<int>(handle);
}

bool fail(uint32_t code) {
  set_last_error(code);
  return false;
}

// An I/O errno on a descriptor. EBADF on a descriptor that is open means the
// handle lacks the access for this direction, which Win32 reports as
// access denied; EIO is a read or write fault.
uint32_t io_error(int fd, int err, uint32_t fault) {
  if (err == EBADF && ::fcntl(fd, F_GETFD) != -1) return error::access_denied;
  if (err == EIO) return fault;
  return error_from_errno(err);
}

uint64_t filetime_from(int64_t seconds, int64_t nanoseconds) {
  const int64_t ticks = seconds * ticks_per_second + nanoseconds / 100 + unix_epoch_ticks;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

int open_retrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int flock_retrying(int fd, int operation) {
  int result;
  do result = ::flock(fd, operation);
  while (result != 0 && errno == EINTR);
  return result;
}

int ftruncate_retrying(int fd, off_t length) {
  int result;
  do result = ::ftruncate(fd, length);
  while (result != 0 && errno == EINTR);
  return result;
}

file_handle open_native(const std::string& path, uint32_t desired_access, uint32_t share_mode,
                        uint32_t disposition, uint32_t flags) {
  if (disposition < creation::create_new || disposition > creation::truncate_existing) {
    set_last_error(error::invalid_parameter);
    return invalid_file;
  }
  const bool want_read = (desired_access & (access::read | generic_all | file_read_data)) != 0;
  const bool want_write =
      (desired_access & (access::write | generic_all | file_write_data | file_append_data)) != 0;
  if (disposition == creation::truncate_existing && !want_write) {
    set_last_error(error::invalid_parameter);  // truncation needs write access
    return invalid_file;
  }
  if (path.empty()) {
    set_last_error(error::path_not_found);
    return invalid_file;
  }

  // O_NONBLOCK only so that opening a FIFO by mistake cannot hang; it is
  // cleared again below. Truncation waits until the lock is held, so that
  // creating over a file someone holds exclusively leaves it intact.
  int mode = (want_write ? (want_read ? O_RDWR : O_WRONLY) : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = -1;
  bool existed = false;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    if (disposition != creation::create_new) {
      fd = open_retrying(path.c_str(), mode);
      if (fd >= 0) {
        existed = true;
        break;
      }
      if (errno != ENOENT) {
        set_last_error(error_from_errno(errno));
        return invalid_file;
      }
      if (disposition == creation::open_existing || disposition == creation::truncate_existing) {
        set_last_error(missing_path_error(path));
        return invalid_file;
      }
    }
    fd = open_retrying(path.c_str(), mode | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) break;
    if (errno == EEXIST && disposition != creation::create_new) continue;  // appeared meanwhile
    set_last_error(errno == ENOENT ? missing_path_error(path) : error_from_errno(errno));
    return invalid_file;
  }
  if (fd < 0) {
    set_last_error(error::gen_failure);
    return invalid_file;
  }
  auto give_up = [fd](uint32_t code) {
    ::close(fd);
    set_last_error(code);
    return invalid_file;
  };

  struct stat info {};
  if (::fstat(fd, &info) != 0) return give_up(error_from_errno(errno));
  if (S_ISDIR(info.st_mode)) return give_up(error::access_denied);  // as CreateFileW on a directory
  int status = ::fcntl(fd, F_GETFL);
  if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);

  if (flock_retrying(fd, (share_mode == share::none ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 &&
      errno == EWOULDBLOCK)
    return give_up(error::sharing_violation);
  // Any other flock failure (a file system without locks) leaves the file unlocked.

  if (existed && (disposition == creation::create_always || disposition == creation::truncate_existing)) {
    if (want_write) {
      if (ftruncate_retrying(fd, 0) != 0) return give_up(error_from_errno(errno));
    } else {
      // CREATE_ALWAYS with read access only still empties the file.
      int writer = open_retrying(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
      if (writer < 0) return give_up(error_from_errno(errno));
      int result = ftruncate_retrying(writer, 0);
      int err = errno;
      ::close(writer);
      if (result != 0) return give_up(error_from_errno(err));
    }
  }
  if (flags & file_flag::random_access) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);

  const bool report_existing =
      existed && (disposition == creation::open_always || disposition == creation::create_always);
  set_last_error(report_existing ? error::already_exists : error::success);
  return fd;
}

bool delete_native(const std::string& path) {
  if (path.empty()) return fail(error::path_not_found);
  // No handle of this layer shares deletion, so a file any of them holds
  // cannot be deleted. Every handle holds at least a shared lock; probing for
  // an exclusive one tells whether one is open.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    int probe = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (probe >= 0) {
      bool held = flock_retrying(probe, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
      ::close(probe);
      if (held) return fail(error::sharing_violation);
    }
  }
  if (::unlink(path.c_str()) != 0) {
    if (errno == ENOENT) return fail(missing_path_error(path));
    return fail_with_errno(errno);
  }
  set_last_error(error::success);
  return true;
}

bool create_directory_native(const std::string& path) {
  if (path.empty()) return fail(error::path_not_found);
  if (::mkdir(path.c_str(), 0777) != 0) {
    if (errno == EEXIST) return fail(error::already_exists);
    if (errno == ENOENT) return fail(error::path_not_found);
    return fail_with_errno(errno);
  }
  set_last_error(error::success);
  return true;
}

}  // namespace

file_handle open_file(std::u16string_view path, uint32_t desired_access, uint32_t share_mode,
                      uint32_t creation_disposition, uint32_t flags) {
  return open_native(native_path(path), desired_access, share_mode, creation_disposition, flags);
}

file_handle open_file_narrow(std::string_view path, uint32_t desired_access, uint32_t share_mode,
                             uint32_t creation_disposition, uint32_t flags) {
  return open_native(native_path(std::string(path)), desired_access, share_mode, creation_disposition,
                     flags);
}

bool close_file(file_handle handle) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  // Linux releases the descriptor even when close reports EINTR; never retry.
  if (::close(fd) != 0 && errno != EINTR) return fail_with_errno(errno);
  set_last_error(error::success);
  return true;
}

bool flush_file(file_handle handle) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return fail_with_errno(errno);
  set_last_error(error::success);
  return true;
}

namespace {

enum class direction { read, write };

// The loop shared by the four transfer calls: `step(done)` moves the bytes
// after the first `done` (read, write, pread or pwrite) and returns what the
// system call returned. An interrupted call is repeated; the end of the file
// ends a read early, with success; a write that moves nothing is a full disk.
template <typename Step>
bool transfer(int fd, direction way, uint32_t count, uint32_t* transferred, Step step) {
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = step(done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
    } else if (n == 0 && way == direction::read) {
      break;
    } else if (n == 0 || errno != EINTR) {
      if (transferred) *transferred = done;
      if (way == direction::read) return fail(io_error(fd, errno, error::read_fault));
      return fail(io_error(fd, n == 0 ? ENOSPC : errno, error::write_fault));
    }
  }
  if (transferred) *transferred = done;
  set_last_error(error::success);
  return true;
}

// The checks shared by the four calls; the descriptor, or -1 after fail().
int transfer_descriptor(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
  if (transferred) *transferred = 0;
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle), -1;
  if (buffer == nullptr && count != 0) return fail(error::invalid_parameter), -1;
  return fd;
}

bool offset_fits(uint64_t offset, uint32_t count) {
  return offset <= static_cast<uint64_t>(std::numeric_limits<off_t>::max() - count) || fail(error::invalid_parameter);
}

}  // namespace

bool read_file(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred) {
  int fd = transfer_descriptor(handle, buffer, count, transferred);
  if (fd < 0) return false;
  auto* bytes = static_cast<char*>(buffer);
  return transfer(fd, direction::read, count, transferred,
                  [&](uint32_t done) { return ::read(fd, bytes + done, count - done); });
}

bool write_file(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred) {
  int fd = transfer_descriptor(handle, buffer, count, transferred);
  if (fd < 0) return false;
  const auto* bytes = static_cast<const char*>(buffer);
  return transfer(fd, direction::write, count, transferred,
                  [&](uint32_t done) { return ::write(fd, bytes + done, count - done); });
}

bool read_file_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count, uint32_t* transferred) {
  int fd = transfer_descriptor(handle, buffer, count, transferred);
  if (fd < 0 || !offset_fits(offset, count)) return false;
  auto* bytes = static_cast<char*>(buffer);
  return transfer(fd, direction::read, count, transferred, [&](uint32_t done) {
    return ::pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool write_file_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                   uint32_t* transferred) {
  int fd = transfer_descriptor(handle, buffer, count, transferred);
  if (fd < 0 || !offset_fits(offset, count)) return false;
  const auto* bytes = static_cast<const char*>(buffer);
  return transfer(fd, direction::write, count, transferred, [&](uint32_t done) {
    return ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool seek_file(file_handle handle, int64_t distance, seek_origin origin, uint64_t* new_position) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  int whence;
  switch (origin) {
    case seek_origin::begin: whence = SEEK_SET; break;
    case seek_origin::current: whence = SEEK_CUR; break;
    case seek_origin::end: whence = SEEK_END; break;
    default: return fail(error::invalid_parameter);
  }
  off_t position = ::lseek(fd, static_cast<off_t>(distance), whence);
  if (position < 0) return fail(errno == EINVAL ? error::negative_seek : error_from_errno(errno));
  if (new_position) *new_position = static_cast<uint64_t>(position);
  set_last_error(error::success);
  return true;
}

bool file_size(file_handle handle, uint64_t* size) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  if (size == nullptr) return fail(error::invalid_parameter);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail_with_errno(errno);
  *size = static_cast<uint64_t>(info.st_size);
  set_last_error(error::success);
  return true;
}

bool set_end_of_file(file_handle handle) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  int status = ::fcntl(fd, F_GETFL);
  if (status == -1) return fail_with_errno(errno);
  if ((status & O_ACCMODE) == O_RDONLY) return fail(error::access_denied);
  off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position < 0) return fail_with_errno(errno);
  if (ftruncate_retrying(fd, position) != 0) return fail(io_error(fd, errno, error::write_fault));
  set_last_error(error::success);
  return true;
}

bool get_file_times(file_handle handle, file_times* times) {
  int fd = descriptor(handle);
  if (fd < 0) return fail(error::invalid_handle);
  if (times == nullptr) return fail(error::invalid_parameter);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail_with_errno(errno);
  // The birth time where the file system records one; the status-change time
  // is the closest older Linux file systems have.
  int64_t created_seconds = info.st_ctim.tv_sec, created_nanoseconds = info.st_ctim.tv_nsec;
#if defined(STATX_BTIME)
  struct statx extended {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME)) {
    created_seconds = extended.stx_btime.tv_sec;
    created_nanoseconds = extended.stx_btime.tv_nsec;
  }
#endif
  times->creation = filetime_from(created_seconds, created_nanoseconds);
  times->last_access = filetime_from(info.st_atim.tv_sec, info.st_atim.tv_nsec);
  times->last_write = filetime_from(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
  set_last_error(error::success);
  return true;
}

bool delete_file(std::u16string_view path) { return delete_native(native_path(path)); }

bool delete_file_narrow(std::string_view path) { return delete_native(native_path(std::string(path))); }

bool create_directory(std::u16string_view path) { return create_directory_native(native_path(path)); }

uint32_t file_attributes(std::u16string_view path) {
  const std::string native = native_path(path);
  if (native.empty()) {
    set_last_error(error::path_not_found);
    return invalid_file_attributes;
  }
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) {
    set_last_error(errno == ENOENT ? missing_path_error(native) : error_from_errno(errno));
    return invalid_file_attributes;
  }
  set_last_error(error::success);
  return S_ISDIR(info.st_mode) ? attribute_directory : attribute_normal;
}

}  // namespace vendrel::platform

#endif  // !_WIN32
