// Win32 platform layer: the last-error slot (the thread's own Win32 one) and
// the path helpers the other win32_*.cpp files share.
#if defined(_WIN32)

#include "platform/windows_headers.h"

#include <climits>

#include "platform/platform.h"
#include "platform/win32_internal.h"

namespace vendrel::platform {

uint32_t last_error() { return ::GetLastError(); }
void set_last_error(uint32_t code) { ::SetLastError(code); }

namespace win32 {

namespace {

constexpr std::wstring_view extended_prefix = L"\\\\?\\";
constexpr std::wstring_view device_prefix = L"\\\\.\\";
constexpr std::wstring_view unc_marker = L"UNC\\";

bool starts_with(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool is_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\...", "UNC\..." or "Volume{...}\...": what may follow "\\?\" for a
// file-system path.
bool is_extended_target(std::wstring_view rest) {
  if (starts_with(rest, L"Volume{") || starts_with(rest, L"GLOBALROOT\\")) return true;
  if (rest.size() >= 3 && is_letter(rest[0]) && rest[1] == L':' && is_separator(rest[2])) return true;
  if (rest.size() == 2 && is_letter(rest[0]) && rest[1] == L':') return true;
  return rest.size() >= unc_marker.size() && (rest[0] == L'U' || rest[0] == L'u') &&
         (rest[1] == L'N' || rest[1] == L'n') && (rest[2] == L'C' || rest[2] == L'c') && is_separator(rest[3]);
}

// True when a component of the path is "." or "..".
bool has_dot_component(std::wstring_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    const std::wstring_view component = path.substr(start, end - start);
    if (component == L"." || component == L"..") return true;
    start = end + 1;
  }
  return false;
}

// GetFullPathNameW into a string; empty when it fails.
std::wstring full_path(const std::wstring& path) {
  std::wstring buffer(path.size() + MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (buffer.size() > UINT_MAX / 2) return {};
    DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(static_cast<size_t>(n) + 1);  // n counts the NUL when the buffer was short
  }
  return {};
}

}  // namespace

std::wstring to_wchar(std::u16string_view text) {
  if (auto nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);
  return std::wstring(text.begin(), text.end());
}

std::u16string from_wchar(std::wstring_view text) {
  if (auto nul = text.find(L'\0'); nul != std::wstring_view::npos) text = text.substr(0, nul);
  return std::u16string(text.begin(), text.end());
}

std::wstring extended_path(std::wstring_view path, size_t limit) {
  if (auto nul = path.find(L'\0'); nul != std::wstring_view::npos) path = path.substr(0, nul);
  if (starts_with(path, device_prefix)) return std::wstring(path);
  std::wstring plain;
  std::wstring extended_form;  // a prefixed path given with "." or "..", as given
  if (starts_with(path, extended_prefix)) {
    std::wstring_view rest = path.substr(extended_prefix.size());
    if (is_extended_target(rest)) {
      std::wstring kept(path);
      for (size_t i = extended_prefix.size(); i < kept.size(); ++i)
        if (kept[i] == L'/') kept[i] = L'\\';
      const std::wstring_view target = std::wstring_view(kept).substr(extended_prefix.size());
      // After the prefix "." and ".." would be names of their own: a drive
      // or network path that has them is resolved in its plain form
      // ("UNC\server\share" is "\\server\share") and prefixed again.
      const bool on_drive = target[1] == L':';  // else "UNC\...", "Volume{...}" or "GLOBALROOT\..."
      const bool on_network = !on_drive && !starts_with(target, L"Volume{") && !starts_with(target, L"GLOBALROOT\\");
      if (!has_dot_component(target) || !(on_drive || on_network)) return kept;
      plain = on_drive ? std::wstring(target) : L"\\\\" + std::wstring(target.substr(unc_marker.size()));
      extended_form = kept;
    } else {
      plain = rest;  // "\\?\relative\dir": only the relative path means something
    }
  } else {
    plain = path;
  }
  if (plain.empty()) return plain;
  const std::wstring absolute = full_path(plain);
  if (absolute.empty()) return extended_form.empty() ? plain : extended_form;
  if (absolute.size() <= limit && extended_form.empty()) return plain;
  if (starts_with(absolute, extended_prefix) || starts_with(absolute, device_prefix)) return absolute;
  if (absolute.size() >= 2 && absolute[0] == L'\\' && absolute[1] == L'\\')
    return std::wstring(extended_prefix) + std::wstring(unc_marker) + absolute.substr(2);
  return std::wstring(extended_prefix) + absolute;
}

std::wstring narrow_path_to_wchar(std::string_view path) {
  if (auto nul = path.find('\0'); nul != std::string_view::npos) path = path.substr(0, nul);
  if (path.empty() || path.size() > INT_MAX) return {};
  const UINT code_page = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int size = static_cast<int>(path.size());
  int n = ::MultiByteToWideChar(code_page, 0, path.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  n = ::MultiByteToWideChar(code_page, 0, path.data(), size, wide.data(), n);
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

bool fail(uint32_t code) {
  ::SetLastError(code);
  return false;
}

bool fail_with_last_error() {
  if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_GEN_FAILURE);  // a failure never reads as success
  return false;
}

}  // namespace win32
}  // namespace vendrel::platform

#endif  // _WIN32
