#include "progress.h"

#include <cstdio>

#include "text.h"

namespace vendrel::cli {

ProgressLine::ProgressLine(bool enabled, uint64_t total_bytes, uint64_t total_messages, bool messages_known)
    : enabled_(enabled),
      total_bytes_(total_bytes),
      total_messages_(total_messages),
      messages_known_(messages_known),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

namespace {

// Cuts UTF-8 text to `columns` characters.
std::string fitted(const std::string& text, size_t columns) {
  std::string out;
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (count == columns) break;
      ++count;
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

void ProgressLine::update(uint64_t messages, uint64_t bytes, const std::string& folder) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::string line = grouped(messages);
  if (messages_known_ && total_messages_) line += " / " + grouped(total_messages_);
  line += " messages";
  if (total_bytes_) {
    char percent[16];
    const uint64_t share = bytes * 100 / total_bytes_;
    std::snprintf(percent, sizeof percent, "  %3d%%", static_cast<int>(share > 100 ? 100 : share));
    line += percent;
  }
  char rate[96] = "";
  if (seconds > 0.5) {
    const double per_second = bytes / seconds;
    std::snprintf(rate, sizeof rate, "  %.1f MB/s", per_second / (1024 * 1024));
    line += rate;
    if (total_bytes_ > bytes && per_second > 0) line += "  ETA " + duration((total_bytes_ - bytes) / per_second);
  }
  line += "  " + folder;
  const int columns = terminal_columns();
  line = fitted(line, static_cast<size_t>(columns > 1 ? columns - 1 : 79));
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::finish() {
  if (!enabled_ || !shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace vendrel::cli
