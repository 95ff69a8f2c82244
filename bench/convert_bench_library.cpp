// The library's own rate on the messages of convert_bench: every .eml file
// of a directory imported with Bind_EML into one new PST, timed from
// CreatePst to CommitPst; then a raw write of as many bytes as the
// messages hold, for the disk's share. Prints messages/s, MB/s and the
// peak RSS.
// Usage: bench_convert_library DIR_OF_EML OUT.pst
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "vendrel.h"

namespace fs = std::filesystem;

static std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }  // ASCII paths

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DIR_OF_EML OUT.pst\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> files;
  uint64_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(argv[1]))
    if (entry.path().extension() == ".eml") {
      files.push_back(entry.path());
      bytes += entry.file_size();
    }
  std::sort(files.begin(), files.end());
  const auto start = std::chrono::steady_clock::now();
  const std::u16string out = wide(argv[2]);
  if (CreatePst(reinterpret_cast<const vendrel_wchar*>(out.c_str()), reinterpret_cast<const vendrel_wchar*>(u"bench")) != 0 ||
      CreateFolder(reinterpret_cast<const vendrel_wchar*>(u""), reinterpret_cast<const vendrel_wchar*>(u"bench"),
                   reinterpret_cast<const vendrel_wchar*>(u"IPF.Note")) != 0)
    return 1;
  size_t failed = 0;
  for (const fs::path& file : files) {
    const std::u16string path = wide(file.string());
    if (Bind_EML(reinterpret_cast<const vendrel_wchar*>(path.c_str())) != 1) ++failed;
  }
  if (CommitPst() != 0) return 1;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // The same number of bytes written raw, in 1 MiB blocks.
  const fs::path raw = fs::path(argv[2]).replace_extension(".raw");
  const auto raw_start = std::chrono::steady_clock::now();
  {
    std::vector<char> block(1 << 20, 'x');
    std::FILE* f = std::fopen(raw.string().c_str(), "wb");
    if (!f) return 1;
    for (uint64_t done = 0; done < bytes; done += block.size())
      std::fwrite(block.data(), 1, static_cast<size_t>(std::min<uint64_t>(block.size(), bytes - done)), f);
    std::fclose(f);
  }
  const double raw_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - raw_start).count();
  fs::remove(raw);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("library  %zu messages (%zu failed), %.1f MB in %.2f s: %.0f messages/s, %.1f MB/s, peak RSS %ld MB\n",
              files.size(), failed, bytes / 1e6, seconds, files.size() / seconds, bytes / 1e6 / seconds,
              usage.ru_maxrss / 1024);
  std::printf("raw      %.1f MB written in %.2f s: %.1f MB/s\n", bytes / 1e6, raw_seconds, bytes / 1e6 / raw_seconds);
  return 0;
}
