// Names of part folders: "<folder> [Part created <time>]_<n>". The time is
// the local time in seconds as dd.mm.yyyy hh:mm:ss; two part folders of the
// same string width never get the same time, so their names differ.
#pragma once

#include <cstdint>
#include <string>

namespace vendrel {

// The time of the next part folder of one width (8-bit or UTF-16): now, or
// one second after the previous one's time when now is not later.
uint64_t next_split_time(bool wide);
// dd.mm.yyyy hh:mm:ss of a time in seconds since 1601 (UTC), in local time.
std::string split_time_text(uint64_t seconds);
// The process-wide number of the 8-bit form: 0, 1, 2, ...
int next_split_number();

}  // namespace vendrel
