// Many subfolders of one folder: the time to create them and the time to
// commit, for a growing count (run it at 1000 and 10000 to see the growth),
// beside a raw write of the file's size.
// Usage: subfolders_bench [directory] [folders]  (/tmp, 10000)
#include <cstdlib>

#include "bench_support.h"

using namespace bench;

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : "/tmp";
  const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
  const auto pst = dir / "subfolders_bench.pst";

  if (const char* log = std::getenv("VENDREL_BENCH_LOG")) SetLogFile(log);
  const auto start = wall_clock::now();
  if (CreatePst(w(pst.u16string()), w(u"Bench")) != 0 || CreateFolder(w(u""), w(u"Projects"), w(u"IPF.Note")) != 0)
    return 1;
  for (int i = 0; i < count; ++i) {
    if (CreateFolder(w(u"Projects"), w(u"Project " + widen(std::to_string(i))), w(u"IPF.Note")) != 0) {
      std::fprintf(stderr, "CreateFolder failed at %d\n", i);
      return 1;
    }
  }
  const double created = seconds_since(start);
  const auto commit_start = wall_clock::now();
  if (const int32_t status = CommitPst(); status != 0) {
    std::fprintf(stderr, "CommitPst failed: %d\n", status);
    return 1;
  }
  const double commit = seconds_since(commit_start);
  const uint64_t file_bytes = std::filesystem::file_size(pst);
  std::filesystem::remove(pst);
  const double raw = raw_write(dir / "subfolders_bench.raw", file_bytes, false);

  std::printf("%d subfolders of one folder\n", count);
  std::printf("create     %.2f s (%.1f us per folder)\n", created, created * 1e6 / count);
  std::printf("commit     %.2f s\n", commit);
  std::printf("file       %.1f MB\n", file_bytes / mib);
  std::printf("raw write  %.1f MB in %.3f s\n", file_bytes / mib, raw);
  return 0;
}
