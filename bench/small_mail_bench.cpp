// Small mail into one folder: a 2 KiB plain body and 3 recipients a message,
// written through the exported calls (the wide calls into a Unicode file,
// or with --ansi the narrow calls into an ANSI file). Reports:
// - messages per second of CPU time, and of wall time;
// - CPU time per message for each tenth of the run, which shows whether the
//   cost grows with the folder (run it at 10000, 100000 and 250000);
// - the resident size per message held while the folder is open, and the
//   peak (which comes at the commit);
// - file bytes per payload byte;
// and, in the same run, a raw write of as many bytes as the file holds.
// Usage: small_mail_bench [--ansi] [--keep] [directory] [messages]  (/tmp, 100000)
// With --keep the file stays as DIRECTORY/small_mail_bench.pst.
#include <cstdlib>
#include <cstring>

#include "bench_support.h"

using namespace bench;

int main(int argc, char** argv) {
  bool ansi = false, keep = false;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ansi") == 0)
      ansi = true;
    else if (std::strcmp(argv[i], "--keep") == 0)
      keep = true;
    else
      args.push_back(argv[i]);
  }
  const std::filesystem::path dir = args.size() > 0 ? args[0] : "/tmp";
  const int count = args.size() > 1 ? std::atoi(args[1].c_str()) : 100000;
  const auto pst = dir / "small_mail_bench.pst";

  std::string body;
  for (int i = 0; body.size() < 2048; ++i) body += "Line " + std::to_string(i) + " of a plain body.\r\n";
  body.resize(2048);
  const std::u16string wide_body = widen(body);
  const char* names[3] = {"Ann Archer", "Bob Baker", "Cecil Carter"};
  const char* emails[3] = {"ann@example.org", "bob@example.org", "cecil@example.org"};
  std::u16string wide_names[3], wide_emails[3];
  for (int r = 0; r < 3; ++r) {
    wide_names[r] = widen(names[r]);
    wide_emails[r] = widen(emails[r]);
  }

  const long rss_before = status_kib("VmRSS");
  const int unit = ansi ? 1 : 2;  // bytes of payload per character
  uint64_t payload = 0;
  std::vector<double> tenths;
  const auto wall_start = wall_clock::now();
  const double cpu_start = cpu_seconds();
  double cpu_mark = cpu_start;
  int32_t status = ansi ? CreatePstA(pst.c_str(), "Bench") : CreatePst(w(pst.u16string()), w(u"Bench"));
  if (status == 0)
    status = ansi ? CreateFolderA("", "Inbox", "IPF.Note") : CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note"));
  if (status != 0) {
    std::fprintf(stderr, "could not create %s: %d\n", pst.c_str(), status);
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    const std::string subject = "Message number " + std::to_string(i);
    if (ansi) {
      Bind_senderA("sender@example.org", "Sender", nullptr);
      Bind_subjA(subject.c_str(), 0);
      Bind_bodyA(body.c_str());
      for (int r = 0; r < 3; ++r) Bind_recipientA(emails[r], names[r], nullptr, 1 + r, 1);
      status = CreateMessageA("IPM.Note", 0, 0);
    } else {
      Bind_sender(w(u"sender@example.org"), w(u"Sender"), nullptr);
      Bind_subj(w(widen(subject)), 0);
      Bind_body(w(wide_body));
      for (int r = 0; r < 3; ++r) Bind_recipient(w(wide_emails[r]), w(wide_names[r]), nullptr, 1 + r, 1);
      status = CreateMessage(w(u"IPM.Note"), 0, 0);
    }
    if (status != 0) {
      std::fprintf(stderr, "CreateMessage failed at %d: %d\n", i, status);
      return 1;
    }
    payload += unit * (subject.size() + body.size() + 18 + 6);
    for (int r = 0; r < 3; ++r) payload += unit * (std::strlen(names[r]) + std::strlen(emails[r]));
    if ((i + 1) % std::max(1, count / 10) == 0 && tenths.size() < 10) {
      const double now = cpu_seconds();
      tenths.push_back((now - cpu_mark) / std::max(1, count / 10));
      cpu_mark = now;
    }
  }
  const long rss_open = status_kib("VmRSS");
  if ((ansi ? CommitPstA() : CommitPst()) != 0) {
    std::fprintf(stderr, "CommitPst failed\n");
    return 1;
  }
  const double cpu = cpu_seconds() - cpu_start;
  const double wall = seconds_since(wall_start);
  const long peak = status_kib("VmHWM");
  const uint64_t file_bytes = std::filesystem::file_size(pst);
  if (!keep) std::filesystem::remove(pst);
  const double raw = raw_write(dir / "small_mail_bench.raw", file_bytes, false);

  std::printf("small mail, %s, %d messages in one folder\n", ansi ? "ANSI" : "Unicode", count);
  std::printf("CPU time              %.2f s, %.0f messages/s\n", cpu, count / cpu);
  std::printf("wall time             %.2f s, %.0f messages/s\n", wall, count / wall);
  std::printf("CPU per message       ");
  for (double t : tenths) std::printf("%.1f ", t * 1e6);
  std::printf("us (each tenth of the run)\n");
  std::printf("resident while open   %.0f B per message (%.1f MB over the start)\n",
              (rss_open - rss_before) * 1024.0 / count, (rss_open - rss_before) / 1024.0);
  std::printf("peak resident size    %.1f MB\n", peak / 1024.0);
  std::printf("file                  %.1f MB, %.2f file bytes per payload byte, %.1f MB/s\n", file_bytes / mib,
              static_cast<double>(file_bytes) / payload, file_bytes / mib / wall);
  std::printf("raw write             %.1f MB in %.2f s, %.1f MB/s\n", file_bytes / mib, raw, file_bytes / mib / raw);
  return 0;
}
