// What the write benchmarks share: clocks (wall and this process's CPU
// time), the peak and current resident size, and the raw write that every
// figure is set against: the same number of bytes written sequentially to a
// file in the same directory, in the same run, with or without fsync.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vendrel.h"

namespace bench {

using wall_clock = std::chrono::steady_clock;

inline double seconds_since(wall_clock::time_point start) {
  return std::chrono::duration<double>(wall_clock::now() - start).count();
}

// CPU time of this process (user + system), in seconds.
inline double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A field of /proc/self/status in KiB (VmHWM: peak, VmRSS: now); -1 if absent.
inline long status_kib(const char* field) {
  std::ifstream in("/proc/self/status");
  const std::string key = std::string(field) + ":";
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

// Flushes a written file to stable storage, as a host that must know its
// data is on disk would; returns the seconds it took.
inline double sync_file(const std::filesystem::path& path) {
  const auto start = wall_clock::now();
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return seconds_since(start);
}

// Writes `bytes` bytes to `path` in 1 MiB writes (fsync at the end when
// asked), removes the file and returns the seconds taken. With `sized_first`
// the file is given its length before the writes, as the PST writer sizes
// each region of its file: on ext4 that costs the kernel less than writes
// that extend the file.
inline double raw_write(const std::filesystem::path& path, uint64_t bytes, bool fsync, bool sized_first = false) {
  std::vector<char> chunk(1 << 20);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + (i >> 10));
  const auto start = wall_clock::now();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return -1;
  if (sized_first && ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
    ::close(fd);
    return -1;
  }
  for (uint64_t left = bytes; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) break;
    left -= n;
  }
  if (fsync) ::fsync(fd);
  ::close(fd);
  const double elapsed = seconds_since(start);
  std::filesystem::remove(path);
  return elapsed;
}

inline const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

inline std::u16string widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

constexpr double mib = 1024.0 * 1024.0;

}  // namespace bench
