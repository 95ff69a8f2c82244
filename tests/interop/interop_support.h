// What the reader tests share: running a reader and keeping what it prints,
// probing whether a reader is installed, quoting a path for the shell, and
// wide strings for the library's calls.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel::interop {

// The folder of the reader scripts (tests/interop).
inline const std::string interop_dir = VENDREL_INTEROP_DIR;

struct run_result {
  std::string command;
  int status = -1;
  std::string out;
};

// Runs a command and keeps what it prints on standard output; its messages
// on standard error stay out of the comparison unless `with_errors` merges
// them in (run the command by hand to see them).
inline run_result run(const std::string& command, bool with_errors = false) {
  run_result r;
  r.command = command;
  FILE* pipe = popen((command + (with_errors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (!pipe) return r;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  r.status = pclose(pipe);
  return r;
}

// The same, for tests that only want the output and the status.
inline std::string run(const std::string& command, int* status) {
  run_result r = run(command);
  *status = r.status;
  return r.out;
}

// True when the probe command succeeds (a reader is installed).
inline bool available(const std::string& probe) {
  return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// A wide string for the calls, from UTF-8 or UTF-16.
struct wide {
  explicit wide(const std::string& utf8) : text(test::utf16(utf8)) {}
  explicit wide(const std::u16string& utf16) : text(utf16) {}
  operator const vendrel_wchar*() const { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }
  std::u16string text;
};

}  // namespace vendrel::interop
