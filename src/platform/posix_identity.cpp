// POSIX platform layer: GUIDs and the machine facts of the log header.
#if !defined(_WIN32)

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vendrel::platform {

namespace {

bool fill_from_getrandom(uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::getrandom(bytes + done, size - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool fill_from_urandom(uint8_t* bytes, size_t size) {
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return done == size;
}

void random_bytes(uint8_t* bytes, size_t size) {
  if (fill_from_getrandom(bytes, size) || fill_from_urandom(bytes, size)) return;
  std::random_device device;
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(device());
}

// GUIDs come from a pool of random bytes refilled 4 KiB at a time: one
// system call for 256 GUIDs rather than one for each. A forked child starts
// with an empty pool, so that it never hands out its parent's bytes; the
// pool's lock is held across the fork, so that the child's is never left
// taken by a thread the child does not have.
struct guid_pool {
  std::mutex lock;
  uint8_t bytes[4096];
  size_t used = sizeof bytes;
};

guid_pool& pool() {
  static guid_pool instance;
  return instance;
}

void lock_pool_for_fork() { pool().lock.lock(); }
void unlock_pool_in_parent() { pool().lock.unlock(); }
void empty_pool_in_child() {
  pool().used = sizeof pool().bytes;
  pool().lock.unlock();
}

void pooled_random_bytes(uint8_t* bytes, size_t size) {
  static std::once_flag registered;
  std::call_once(registered, [] { ::pthread_atfork(lock_pool_for_fork, unlock_pool_in_parent, empty_pool_in_child); });
  guid_pool& p = pool();
  std::lock_guard<std::mutex> hold(p.lock);
  if (p.used + size > sizeof p.bytes) {
    random_bytes(p.bytes, sizeof p.bytes);
    p.used = 0;
  }
  std::memcpy(bytes, p.bytes + p.used, size);
  // Bytes handed out are not kept.
  std::memset(p.bytes + p.used, 0, size);
  p.used += size;
}

std::string absolute(const char* path) {
  char resolved[PATH_MAX];
  if (::realpath(path, resolved) != nullptr) return resolved;
  return path;
}

// A function of this library, whose address dladdr maps back to its file.
void module_anchor() {}

}  // namespace

void create_guid(uint8_t guid[16]) {
  pooled_random_bytes(guid, 16);
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);  // version 4: high nibble of Data3
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);  // variant 10xx
}

std::string guid_to_string(const uint8_t guid[16]) {
  // Data1, Data2 and Data3 are little-endian numbers; Data4 is a byte string.
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                guid[3], guid[2], guid[1], guid[0], guid[5], guid[4], guid[7], guid[6], guid[8], guid[9],
                guid[10], guid[11], guid[12], guid[13], guid[14], guid[15]);
  return text;
}

std::optional<std::string> module_path() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&module_anchor), &info) != 0 && info.dli_fname != nullptr &&
      std::string_view(info.dli_fname).find('/') != std::string_view::npos)
    return absolute(info.dli_fname);
  // Linked into the main program, whose name dladdr may not know.
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> current_directory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> system_directory() { return std::string("/usr/lib"); }

std::optional<std::string> windows_directory() { return std::nullopt; }

std::optional<std::string> temp_path() {
  // As GetTempPathA: the directory, ending in a separator.
  const char* configured = std::getenv("TMPDIR");
  std::string path = configured != nullptr && configured[0] != '\0' ? configured : "/tmp";
  if (path.back() != '/') path.push_back('/');
  return path;
}

std::optional<std::string> computer_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

}  // namespace vendrel::platform

#endif  // !_WIN32
