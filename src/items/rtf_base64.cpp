#include "items/rtf_base64.h"

#include <cstdint>

namespace vendrel {

namespace {

bool is_skipped(char c) { return c == '\r' || c == '\n' || c == '\t' || c == ' '; }

uint32_t sextet(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;
}

}  // namespace

std::string decode_rtf_base64(std::string_view text) {
  size_t significant = 0;
  for (char c : text)
    if (!is_skipped(c)) ++significant;
  std::string out;
  if (significant < 4) return out;
  out.reserve(significant / 4 * 3 + 2);

  uint32_t group = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    if (is_skipped(c)) continue;
    group = (group << 6) | sextet(c);
    if (++count == 4) {
      out.push_back(static_cast<char>((group >> 16) & 0xFF));
      out.push_back(static_cast<char>((group >> 8) & 0xFF));
      out.push_back(static_cast<char>(group & 0xFF));
      group = 0;
      count = 0;
    }
  }
  // A short last group: two characters carry one byte, three carry two.
  if (count == 2) {
    out.push_back(static_cast<char>((group >> 4) & 0xFF));
  } else if (count == 3) {
    out.push_back(static_cast<char>((group >> 10) & 0xFF));
    out.push_back(static_cast<char>((group >> 2) & 0xFF));
  }
  return out;
}

}  // namespace vendrel
