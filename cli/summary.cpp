#include "summary.h"

#include "text.h"

namespace vendrel::cli {

namespace {

std::string count(uint64_t n, const char* one, const char* many) { return grouped(n) + " " + (n == 1 ? one : many); }

}  // namespace

void print_summary(const Summary& s, std::FILE* out) {
  std::fprintf(out, "Converted %s (%s, %s) into %s in %s", count(s.messages, "message", "messages").c_str(),
               count(s.attachments, "attachment", "attachments").c_str(), byte_size(s.bytes).c_str(),
               count(s.folders, "folder", "folders").c_str(), duration(s.seconds).c_str());
  if (s.seconds > 0.05 && s.messages) std::fprintf(out, ", %s messages/s", grouped(static_cast<uint64_t>(s.messages / s.seconds)).c_str());
  std::fprintf(out, ".\n");
  for (const WrittenFile& file : s.written)
    std::fprintf(out, "Written: %s (%s)\n", path_utf8(file.path).c_str(), byte_size(file.size).c_str());
  if (s.skipped_count > 0) {
    std::fprintf(out, "Skipped %s:\n", count(s.skipped_count, "input", "inputs").c_str());
    for (const SkippedInput& skip : s.skipped)
      std::fprintf(out, "  %s: %s\n", describe(skip.where).c_str(), skip.reason.c_str());
    if (s.skipped_count > s.skipped.size())
      std::fprintf(out, "  ... and %s more, not listed (--quiet names each on standard error)\n",
                   grouped(s.skipped_count - s.skipped.size()).c_str());
  }
}

}  // namespace vendrel::cli
