// `vendrel convert`: every message of the sources into a new PST through
// the library's C interface, one message at a time.
#pragma once

#include "options.h"

namespace vendrel::cli {

// Exit codes of a job.
inline constexpr int exit_ok = 0;           // every message converted
inline constexpr int exit_skipped = 1;      // finished, some inputs skipped
inline constexpr int exit_failed = 2;       // nothing usable written
inline constexpr int exit_interrupted = 130;  // Ctrl-C: the shell's number for SIGINT

int run_convert(const ConvertOptions& options);

}  // namespace vendrel::cli
