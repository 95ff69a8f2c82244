// The progress line of a job on a terminal: one line on standard error,
// rewritten in place at most a few times a second, with the messages done
// (of how many, when known), the current folder, MB/s and the time left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vendrel::cli {

class ProgressLine {
 public:
  // Shown only when `enabled` (a terminal, not --quiet).
  ProgressLine(bool enabled, uint64_t total_bytes, uint64_t total_messages, bool messages_known);
  void update(uint64_t messages, uint64_t bytes, const std::string& folder);
  // Clears the line, so that what follows starts on an empty one.
  void finish();

 private:
  bool enabled_;
  uint64_t total_bytes_, total_messages_;
  bool messages_known_;
  std::chrono::steady_clock::time_point start_, last_;
  bool shown_ = false;
};

}  // namespace vendrel::cli
