#include "store/store_limits.h"

#include <algorithm>

namespace vendrel {

namespace {
uint64_t ansi_limit = ansi_file_size_limit;
uint64_t unicode_limit = unicode_file_size_limit;
uint32_t part_limit = folder_part_message_limit;
}  // namespace

uint64_t file_size_limit(bool unicode) { return unicode ? unicode_limit : ansi_limit; }

uint32_t part_message_limit(bool unicode) {
  const uint32_t limit = std::min(folder_part_message_limit, part_limit);
  return unicode ? limit : std::min(limit, ansi_folder_part_message_limit);
}

void set_file_size_limit_for_testing(bool unicode, uint64_t limit) {
  (unicode ? unicode_limit : ansi_limit) = limit;
}

void set_part_message_limit_for_testing(uint32_t limit) { part_limit = limit; }

void reset_limits_for_testing() {
  ansi_limit = ansi_file_size_limit;
  unicode_limit = unicode_file_size_limit;
  part_limit = folder_part_message_limit;
}

}  // namespace vendrel
