// Attachment mail: each message carries a 256 KiB and a 1 MiB attachment.
// Reports the file's MB/s through the exported calls, committed and flushed
// to stable storage, against a raw write of the same number of bytes with
// fsync in the same run, and their ratio.
// Usage: attachment_mail_bench [directory] [messages] [--keep]  (/tmp, 1000)
// With --keep the file stays as DIRECTORY/attachment_mail_bench.pst (the
// checker's benchmark reads it).
#include <algorithm>
#include <cstdlib>

#include "bench_support.h"

using namespace bench;

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : "/tmp";
  const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
  const bool keep = argc > 3 && std::string(argv[3]) == "--keep";
  const auto pst = dir / "attachment_mail_bench.pst";

  std::vector<uint8_t> small(256 * 1024), large(1024 * 1024);
  uint32_t state = 1;
  for (auto* v : {&small, &large})
    for (uint8_t& b : *v) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);

  const auto start = wall_clock::now();
  const double cpu_start = cpu_seconds();
  if (CreatePst(w(pst.u16string()), w(u"Bench")) != 0 || CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")) != 0)
    return 1;
  for (int i = 0; i < count; ++i) {
    Bind_sender(w(u"sender@example.org"), w(u"Sender"), nullptr);
    Bind_subj(w(u"Report " + widen(std::to_string(i))), 0);
    Bind_body(w(u"Two files attached."));
    Bind_recipient(w(u"ann@example.org"), w(u"Ann Archer"), nullptr, 1, 1);
    Bind_attach(small.data(), static_cast<int32_t>(small.size()), "summary.bin", nullptr, nullptr, nullptr, 1, 0);
    Bind_attach(large.data(), static_cast<int32_t>(large.size()), "data.bin", nullptr, nullptr, nullptr, 1, 0);
    if (CreateMessage(w(u"IPM.Note"), 0, 0) != 0) {
      std::fprintf(stderr, "CreateMessage failed at %d\n", i);
      return 1;
    }
  }
  if (CommitPst() != 0) return 1;
  sync_file(pst);
  const double elapsed = seconds_since(start);
  const double cpu = cpu_seconds() - cpu_start;
  const uint64_t file_bytes = std::filesystem::file_size(pst);
  // The PST goes after the raw write: an unlink of a fresh 1 GB file would
  // otherwise land in the raw write's fsync.
  const double raw = raw_write(dir / "attachment_mail_bench.raw", file_bytes, true);
  const double raw_sized = raw_write(dir / "attachment_mail_bench.raw", file_bytes, true, true);
  if (!keep) std::filesystem::remove(pst);

  const double pst_rate = file_bytes / mib / elapsed, raw_rate = file_bytes / mib / raw;
  const double sized_rate = file_bytes / mib / raw_sized;
  std::printf("attachment mail, Unicode, %d messages of 256 KiB + 1 MiB\n", count);
  std::printf("PST        %.1f MB in %.2f s (CPU %.2f s), %.1f MB/s, with fsync\n", file_bytes / mib, elapsed, cpu,
              pst_rate);
  std::printf("raw write  %.1f MB in %.2f s, %.1f MB/s, with fsync\n", file_bytes / mib, raw, raw_rate);
  std::printf("raw write  %.1f MB in %.2f s, %.1f MB/s, with fsync, file sized first\n", file_bytes / mib, raw_sized,
              sized_rate);
  std::printf("ratio      %.2f (%.2f against the faster raw write)\n", pst_rate / raw_rate,
              pst_rate / std::max(raw_rate, sized_rate));
  return 0;
}
