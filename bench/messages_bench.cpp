// Writes 100,000 messages of a realistic mix through the exported calls (a
// 2 KiB plain body, 1 to 5 recipients, one message in ten with a 100 KiB
// attachment) and reports messages per second, MB/s of payload, the peak
// resident size and the file's bytes per payload byte, beside a raw
// sequential write of the same number of bytes measured in the same run.
// Usage: messages_bench [directory] [messages]   (default: /tmp, 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vendrel.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

long status_kib(const char* field) {
  std::ifstream in("/proc/self/status");
  const std::string key = std::string(field) + ":";
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

std::u16string widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? argv[1] : "/tmp";
  const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
  const auto pst = dir / "messages_bench.pst";
  const auto raw = dir / "messages_bench.raw";

  std::u16string body;
  for (int i = 0; body.size() < 2048; ++i) body += u"Line " + widen(std::to_string(i)) + u" of a plain body.\r\n";
  body.resize(2048);
  std::vector<uint8_t> attachment(100 * 1024);
  for (size_t i = 0; i < attachment.size(); ++i) attachment[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  std::vector<std::u16string> names, emails;
  for (int i = 0; i < 5; ++i) {
    names.push_back(u"Recipient " + widen(std::to_string(i)));
    emails.push_back(u"recipient" + widen(std::to_string(i)) + u"@example.org");
  }

  // Payload: subject, body and addresses as UTF-16, attachment bytes.
  uint64_t payload = 0;
  const auto start = clock_type::now();
  if (CreatePst(w(pst.u16string()), w(u"Bench")) != 0) return 1;
  if (CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")) != 0) return 1;
  Bind_sender(w(u"sender@example.org"), w(u"Sender"), nullptr);
  for (int i = 0; i < count; ++i) {
    const std::u16string subject = u"Message number " + widen(std::to_string(i));
    Bind_subj(w(subject), 0);
    Bind_body(w(body));
    payload += 2 * (subject.size() + body.size());
    const int recipients = 1 + i % 5;
    for (int r = 0; r < recipients; ++r) {
      Bind_recipient(w(emails[r]), w(names[r]), nullptr, 1 + r % 3, 1);
      payload += 2 * (emails[r].size() + names[r].size());
    }
    if (i % 10 == 0) {
      Bind_attach(attachment.data(), static_cast<int32_t>(attachment.size()), "report.bin", nullptr, nullptr,
                  nullptr, 1, 0);
      payload += attachment.size();
    }
    if (CreateMessage(w(u"IPM.Note"), 0, 0) != 0) {
      std::fprintf(stderr, "CreateMessage failed at %d\n", i);
      return 1;
    }
  }
  if (CommitPst() != 0) return 1;
  const double elapsed = seconds_since(start);
  const long peak = status_kib("VmHWM");
  const uint64_t file_bytes = std::filesystem::file_size(pst);

  // The same bytes written sequentially in 64 KiB writes.
  const auto raw_start = clock_type::now();
  {
    std::vector<char> chunk(64 * 1024, 'x');
    std::FILE* f = std::fopen(raw.c_str(), "wb");
    if (!f) return 1;
    for (uint64_t left = file_bytes; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
      if (std::fwrite(chunk.data(), 1, n, f) != n) return 1;
      left -= n;
    }
    std::fflush(f);
    std::fclose(f);
  }
  const double raw_elapsed = seconds_since(raw_start);

  const double mb = 1024.0 * 1024.0;
  std::printf("messages            %d\n", count);
  std::printf("time                %.2f s\n", elapsed);
  std::printf("messages per second %.0f\n", count / elapsed);
  std::printf("payload             %.1f MB, %.1f MB/s\n", payload / mb, payload / mb / elapsed);
  std::printf("file                %.1f MB, %.1f MB/s, %.2f file bytes per payload byte\n", file_bytes / mb,
              file_bytes / mb / elapsed, static_cast<double>(file_bytes) / payload);
  std::printf("raw write           %.1f MB in %.2f s, %.1f MB/s\n", file_bytes / mb, raw_elapsed,
              file_bytes / mb / raw_elapsed);
  std::printf("peak resident size  %.1f MB\n", peak / 1024.0);
  std::filesystem::remove(pst);
  std::filesystem::remove(raw);
  return 0;
}
