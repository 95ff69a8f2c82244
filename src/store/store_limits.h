// The two limits of a store series: the file size at which a store goes on
// in a further file, and the number of messages a folder part takes before
// a sibling part folder is opened. Users always get the constants below; the
// setters exist so that tests can reach the limits with small files.
#pragma once

#include <cstdint>

namespace vendrel {

inline constexpr uint64_t ansi_file_size_limit = 0x40000000ull;       // 1 GiB
inline constexpr uint64_t unicode_file_size_limit = 0x1900000000ull;  // 100 GiB
inline constexpr uint32_t folder_part_message_limit = 250000;
// An ANSI table context numbers its rows with 16 bits ([MS-PST] 2.3.4.3,
// TCROWID), so a contents table of an ANSI file holds at most 65,536 rows:
// there a folder part opens its sibling at that count instead.
inline constexpr uint32_t ansi_folder_part_message_limit = 0x10000;

// The size limit of a variant's file: the constant, or a test's lower value.
uint64_t file_size_limit(bool unicode);
// The messages one folder part takes: min(250000, the test's value), and
// at most 65,536 in an ANSI file.
uint32_t part_message_limit(bool unicode);

// For tests only: lower the limits for this process; reset restores them.
void set_file_size_limit_for_testing(bool unicode, uint64_t limit);
void set_part_message_limit_for_testing(uint32_t limit);
void reset_limits_for_testing();

}  // namespace vendrel
