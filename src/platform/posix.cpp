// POSIX platform layer: the last-error slot and the errno translation that
// the other posix_*.cpp files share.
#if !defined(_WIN32)

#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace vendrel::platform {

namespace {
thread_local uint32_t t_last_error = error::success;
}

uint32_t last_error() { return t_last_error; }
void set_last_error(uint32_t code) { t_last_error = code; }

namespace posix {

uint32_t error_from_errno(int err) {
  switch (err) {
    case 0: return error::success;
    case ENOENT: return error::file_not_found;
    case ENOTDIR:
    case ELOOP: return error::path_not_found;
    case ENAMETOOLONG: return error::filename_too_long;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return error::access_denied;
    case EBADF: return error::invalid_handle;
    case EMFILE:
    case ENFILE: return error::too_many_open_files;
    case ENOMEM: return error::not_enough_memory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return error::disk_full;
    case EEXIST: return error::file_exists;
    case EINVAL:
    case EFAULT:
    case EOVERFLOW: return error::invalid_parameter;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY: return error::sharing_violation;
    case ENOSYS:
    case EOPNOTSUPP: return error::not_supported;
    case EIO: return error::gen_failure;
    default: return error::gen_failure;
  }
}

uint32_t missing_path_error(const std::string& path) {
  if (path.empty()) return error::path_not_found;
  // The directory the last component lives in: everything before the last
  // separator, ignoring separators at the very end ("a/b/" names "b" in "a").
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') --end;
  size_t slash = path.rfind('/', end - 1);
  if (slash == std::string::npos) return error::file_not_found;  // relative to the working directory
  std::string directory = slash == 0 ? std::string("/") : path.substr(0, slash);
  struct stat info {};
  if (::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return error::file_not_found;
  return error::path_not_found;
}

bool fail_with_errno(int err) {
  set_last_error(error_from_errno(err));
  return false;
}

}  // namespace posix
}  // namespace vendrel::platform

#endif  // !_WIN32
