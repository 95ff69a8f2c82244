#include "text.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace vendrel::cli {

namespace {

// The code point at text[i], advancing i; -1 for an ill-formed sequence
// (i then skips its maximal ill-formed subsequence, at least one byte).
int32_t next_code_point(std::string_view text, size_t& i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  size_t length = 0;
  uint32_t value = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, value = c & 0x0F;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, value = c & 0x07;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    ++i;
    return -1;
  }
  ++i;
  for (size_t k = 1; k < length; ++k) {
    if (i >= text.size()) return -1;
    const auto next = static_cast<unsigned char>(text[i]);
    if (next < low || next > high) return -1;
    low = 0x80, high = 0xBF;
    value = (value << 6) | (next & 0x3F);
    ++i;
  }
  return static_cast<int32_t>(value);
}

void append_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::u16string utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const int32_t c = next_code_point(text, i);
    if (c < 0) {
      out.push_back(u'\uFFFD');
    } else if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}

bool is_utf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size())
    if (next_code_point(bytes, i) < 0) return false;
  return true;
}

std::string utf8_or_latin1(std::string_view bytes) {
  if (is_utf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) append_utf8(out, static_cast<unsigned char>(c));
  return out;
}

std::filesystem::path path_from_utf8(std::string_view text) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string path_utf8(const std::filesystem::path& path) {
#ifdef _WIN32
  return utf8(path_utf16(path));
#else
  return path.string();  // the bytes as the system gives them
#endif
}

std::u16string path_utf16(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& native = path.native();
  return std::u16string(native.begin(), native.end());
#else
  return utf16(path.native());
#endif
}

std::string narrow_text(std::string_view text) {
#ifdef _WIN32
  const std::u16string wide = utf16(text);
  if (wide.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(wide.c_str());
  const int size = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
  return out;
#else
  return std::string(text);
#endif
}

std::string path_narrow(const std::filesystem::path& path) { return narrow_text(path_utf8(path)); }

std::optional<std::string> existing_path_narrow(const std::filesystem::path& path) {
#ifdef _WIN32
  auto round_trips = [](const std::wstring& wide) -> std::optional<std::string> {
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, out.data(), size, nullptr, &lossy);
    out.resize(static_cast<size_t>(size - 1));
    return lossy ? std::nullopt : std::optional<std::string>(out);
  };
  if (auto direct = round_trips(path.native())) return direct;
  wchar_t short_path[32768];
  const DWORD length = GetShortPathNameW(path.c_str(), short_path, 32768);
  if (length == 0 || length >= 32768) return std::nullopt;
  return round_trips(std::wstring(short_path, length));
#else
  return path_utf8(path);
#endif
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool iequals(std::string_view a, std::string_view b) { return a.size() == b.size() && lower_ascii(a) == lower_ascii(b); }

bool istarts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

bool iends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && iequals(text.substr(text.size() - suffix.size()), suffix);
}

std::string grouped(uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string byte_size(uint64_t bytes) {
  char text[64];
  if (bytes < 1024)
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  else if (bytes < 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  else if (bytes < 1024ull * 1024 * 1024)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024));
  else
    std::snprintf(text, sizeof text, "%.2f GB", bytes / (1024.0 * 1024 * 1024));
  return text;
}

std::string duration(double seconds) {
  char text[64];
  if (seconds < 60) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else if (seconds < 3600) {
    const auto s = static_cast<long>(seconds);
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  } else {
    const auto m = static_cast<long>(seconds / 60);
    std::snprintf(text, sizeof text, "%ld h %02ld min", m / 60, m % 60);
  }
  return text;
}

void init_console() {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  // The progress line rewrites itself with "\r" and an erase-line sequence.
  const HANDLE error_handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(error_handle, &mode)) SetConsoleMode(error_handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#endif
}

bool stderr_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

int terminal_columns() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  if (const char* columns = std::getenv("COLUMNS")) {
    const int n = std::atoi(columns);
    if (n > 20) return n;
  }
  return 80;
}

std::string folder_component(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '\\') out.push_back('_');  // the library's path separator
    else if (static_cast<unsigned char>(c) < 0x20) out.push_back(' ');
    else out.push_back(c);
  }
  // Blanks around a name are lost in a path; an empty name is no folder.
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::string(1, '_');
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

}  // namespace vendrel::cli
