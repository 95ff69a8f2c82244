// The account of a finished job: what was converted, what was skipped and
// where it is, the files written, the time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "message_input.h"

namespace vendrel::cli {

struct SkippedInput {
  SourceLocation where;
  std::string reason;
};

struct WrittenFile {
  std::filesystem::path path;
  uint64_t size = 0;
};

// The summary names the first skipped inputs and counts the rest, so that a
// mailbox of nothing but broken messages does not grow the program's memory.
inline constexpr size_t listed_skips = 1000;

struct Summary {
  uint64_t messages = 0;
  uint64_t folders = 0;
  uint64_t attachments = 0;
  uint64_t bytes = 0;  // of the converted messages' text
  std::vector<SkippedInput> skipped;  // the first listed_skips of them
  uint64_t skipped_count = 0;
  std::vector<WrittenFile> written;
  double seconds = 0;
};

void print_summary(const Summary& summary, std::FILE* out);

}  // namespace vendrel::cli
