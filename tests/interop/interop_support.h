// What the reader tests share: running a reader and keeping what it prints,
// probing whether a reader is installed, quoting a path for the shell, wide
// strings for the library's calls, times as the calls take them and as the
// reader scripts print them, and the scripts' escaping of a value.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

// FILETIME of a UTC time given as seconds since 1970.
inline uint64_t filetime(int64_t unix_seconds) {
  return (static_cast<uint64_t>(unix_seconds) + 11644473600ull) * 10000000ull;
}

// A UTC time as the reader scripts print it: "YYYY-MM-DD HH:MM:SS".
inline std::string utc_text(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm parts;
  gmtime_r(&t, &parts);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &parts);
  return buf;
}

// A value as the reader scripts print it: backslash, tab, CR and LF escaped.
inline std::string escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

// Base64 (RFC 4648) with padding, in one line.
inline std::string base64(const std::string& bytes) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    out += alphabet[(group >> 18) & 63];
    out += alphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
  }
  return out;
}

}  // namespace vendrel::interop
