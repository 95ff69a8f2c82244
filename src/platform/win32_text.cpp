// Win32 platform layer: code pages through MultiByteToWideChar and
// WideCharToMultiByte. The whole text goes through one call when it converts
// cleanly; otherwise it is taken apart character by character, the
// characters that convert go through the calls in runs, and every one that
// does not becomes a single '?'. Best-fit mappings ("ï" written as "i") are
// turned off: a character that the code page lacks is unconvertible.
#if defined(_WIN32)

#include "platform/windows_headers.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "platform/utf8.h"
#include "platform/win32_internal.h"

namespace vendrel::platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 code unit on Windows");

constexpr uint32_t utf7_code_page = 65000;
constexpr uint32_t utf8_code_page = 65001;
constexpr uint32_t gb18030_code_page = 54936;

// One call converts at most this many code units, far below the int limits
// of the calls (a wide unit can take up to four bytes and a few shifts).
constexpr size_t chunk_units = size_t{1} << 24;

// What the conversion calls accept for a code page:
// - plain: every flag; best fit can be turned off and the default character
//   chosen and reported;
// - strict: only the flag that makes invalid input fail (UTF-8, GB18030);
//   these can encode every character, so only bad input can fail;
// - flagless: no flag at all (the stateful ISO-2022 and HZ code pages, the
//   ISCII ones, UTF-7, Symbol); only a round trip tells whether a character
//   converted.
enum class code_page_kind { plain, strict, flagless };

code_page_kind kind_of(uint32_t code_page) {
  if (code_page == utf8_code_page || code_page == gb18030_code_page) return code_page_kind::strict;
  if ((code_page >= 50220 && code_page <= 50229) || (code_page >= 57002 && code_page <= 57011) ||
      code_page == 52936 || code_page == utf7_code_page || code_page == 42)
    return code_page_kind::flagless;
  return code_page_kind::plain;
}

// The number of the code page a conversion uses: 0 to 3 (ANSI, OEM, Mac,
// thread ANSI) resolved to the one they stand for, an unknown one replaced
// by the ANSI code page.
uint32_t effective_code_page(uint32_t code_page) {
  if (code_page <= 3) {
    CPINFOEXW info{};
    if (::GetCPInfoExW(code_page, 0, &info)) return info.CodePage;
    return ::GetACP();
  }
  return ::IsValidCodePage(code_page) ? code_page : ::GetACP();
}

const wchar_t* as_wchar(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Code units of the character at `i`: 2 for a surrogate pair, else 1.
// *unpaired tells a lone surrogate, which no code page converts.
size_t character_at(std::u16string_view text, size_t i, bool* unpaired) {
  const char16_t c = text[i];
  if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
    *unpaired = false;
    return 2;
  }
  *unpaired = is_high_surrogate(c) || is_low_surrogate(c);
  return 1;
}

bool has_unpaired_surrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size();) {
    bool unpaired = false;
    i += character_at(text, i, &unpaired);
    if (unpaired) return true;
  }
  return false;
}

// MultiByteToWideChar of the whole of `bytes` (at most chunk_units). With
// `strict` invalid input fails the call where the code page can tell it.
bool decode(uint32_t code_page, std::string_view bytes, bool strict, std::u16string* out) {
  if (bytes.empty()) return true;
  DWORD flags = strict && kind_of(code_page) != code_page_kind::flagless ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(bytes.size());
  int n = ::MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  if (n <= 0 && flags != 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;  // a code page that takes no flags after all
    n = ::MultiByteToWideChar(code_page, flags, bytes.data(), size, nullptr, 0);
  }
  if (n <= 0) return false;
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(n));
  n = ::MultiByteToWideChar(code_page, flags, bytes.data(), size, reinterpret_cast<wchar_t*>(out->data() + start), n);
  if (n <= 0) {
    out->resize(start);
    return false;
  }
  out->resize(start + static_cast<size_t>(n));
  return true;
}

// WideCharToMultiByte of `text` (at most chunk_units), appended to *out.
// True when every character converted: no default character was used, and
// for the code pages that cannot report that, the bytes read back as `text`.
bool encode(uint32_t code_page, std::u16string_view text, std::string* out) {
  if (text.empty()) return true;
  const code_page_kind kind = kind_of(code_page);
  DWORD flags = 0;
  const char* default_char = nullptr;
  BOOL used_default = FALSE;
  BOOL* report_default = nullptr;
  if (kind == code_page_kind::plain) {
    flags = WC_NO_BEST_FIT_CHARS;
    default_char = "?";
    report_default = &used_default;
  } else if (kind == code_page_kind::strict) {
    flags = WC_ERR_INVALID_CHARS;
  }
  const int size = static_cast<int>(text.size());
  int n = ::WideCharToMultiByte(code_page, flags, as_wchar(text.data()), size, nullptr, 0, default_char,
                                report_default);
  if (n <= 0 && kind == code_page_kind::plain && ::GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;  // a code page that takes no flags after all
    n = ::WideCharToMultiByte(code_page, flags, as_wchar(text.data()), size, nullptr, 0, default_char,
                              report_default);
  }
  if (n <= 0) return false;
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(n));
  used_default = FALSE;
  n = ::WideCharToMultiByte(code_page, flags, as_wchar(text.data()), size, out->data() + start, n, default_char,
                            report_default);
  if (n <= 0) {
    out->resize(start);
    return false;
  }
  out->resize(start + static_cast<size_t>(n));
  if (used_default) return false;
  if (kind == code_page_kind::flagless) {
    std::u16string back;
    if (!decode(code_page, std::string_view(*out).substr(start), false, &back) || back != text) return false;
  }
  return true;
}

// Invalid input in another code page: at each position the shortest byte
// sequence that converts is one character; a position where none does is
// one bad byte.
std::u16string decode_by_characters(uint32_t code_page, std::string_view bytes) {
  CPINFO info{};
  size_t longest = ::GetCPInfo(code_page, &info) ? info.MaxCharSize : 2;
  longest = std::clamp<size_t>(longest, 1, 4);
  std::u16string out;
  for (size_t i = 0; i < bytes.size();) {
    size_t taken = 0;
    for (size_t length = 1; length <= longest && i + length <= bytes.size(); ++length) {
      if (decode(code_page, bytes.substr(i, length), true, &out)) {
        taken = length;
        break;
      }
    }
    if (taken == 0) {
      out.push_back(u'?');
      taken = 1;
    }
    i += taken;
  }
  return out;
}

// Wide text with characters the code page lacks: convertible characters in
// runs, a '?' for each of the others. Runs end at every '?', so a stateful
// code page shifts back before it and resumes after it.
std::string encode_by_characters(uint32_t code_page, std::u16string_view text) {
  std::string out, scratch;
  size_t run = 0, i = 0;
  // Every character of a run converted alone, so the run converts as a whole.
  auto flush = [&](size_t end) {
    if (end > run) encode(code_page, text.substr(run, end - run), &out);
  };
  while (i < text.size()) {
    bool unpaired = false;
    const size_t length = character_at(text, i, &unpaired);
    scratch.clear();
    if (unpaired || !encode(code_page, text.substr(i, length), &scratch)) {
      flush(i);
      out.push_back('?');
      run = i + length;
    }
    i += length;
  }
  flush(text.size());
  return out;
}

// Where a long multibyte text is cut for the calls: after the last line feed
// within the limit (no code page continues a character or a shifted run
// over one), else at the limit, moved back off UTF-8 continuation bytes.
size_t multibyte_piece_end(std::string_view bytes, size_t start) {
  const size_t limit = start + chunk_units;
  if (limit >= bytes.size()) return bytes.size();
  const size_t feed = bytes.rfind('\n', limit - 1);
  if (feed != std::string_view::npos && feed >= start) return feed + 1;
  size_t end = limit;
  for (int k = 0; k < 3 && end > start + 1 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80; ++k) --end;
  return end;
}

// Where a long wide text is cut: at the limit, never inside a surrogate pair.
size_t wide_piece_end(std::u16string_view text, size_t start) {
  const size_t limit = start + chunk_units;
  if (limit >= text.size()) return text.size();
  return is_low_surrogate(text[limit]) && is_high_surrogate(text[limit - 1]) ? limit - 1 : limit;
}

}  // namespace

uint32_t host_code_page() { return ::GetACP(); }
uint32_t file_code_page() { return ::GetACP(); }

bool code_page_supported(uint32_t code_page) { return code_page <= 3 || ::IsValidCodePage(code_page); }

std::u16string multibyte_to_wide(uint32_t code_page, std::string_view text) {
  code_page = effective_code_page(code_page);
  std::u16string out;
  for (size_t start = 0; start < text.size();) {
    const size_t end = multibyte_piece_end(text, start);
    const std::string_view piece = text.substr(start, end - start);
    if (!decode(code_page, piece, true, &out)) {
      out += code_page == utf8_code_page ? utf8_to_utf16(piece, u'?') : decode_by_characters(code_page, piece);
    }
    start = end;
  }
  return out;
}

std::string wide_to_multibyte(uint32_t code_page, std::u16string_view text) {
  code_page = effective_code_page(code_page);
  std::string out, piece_bytes;
  for (size_t start = 0; start < text.size();) {
    const size_t end = wide_piece_end(text, start);
    const std::u16string_view piece = text.substr(start, end - start);
    piece_bytes.clear();
    if (!has_unpaired_surrogate(piece) && encode(code_page, piece, &piece_bytes)) out += piece_bytes;
    else out += encode_by_characters(code_page, piece);
    start = end;
  }
  return out;
}

std::optional<uint32_t> code_page_for_charset(std::string_view charset) {
  std::string name;
  for (char c : charset) {
    if (c == ' ' || c == '\t' || c == '"') continue;
    name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  if (name == "utf-8" || name == "utf8") return utf8_code_page;
  // "iso_8859-2:1987": the registered names carry the standard's year.
  if (const size_t colon = name.find(':'); colon != std::string::npos) name.resize(colon);
  auto numbered = [&](std::string_view prefix) -> std::optional<uint32_t> {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0)
      return std::nullopt;
    uint32_t value = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return std::nullopt;
      value = value * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    return value;
  };
  for (std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859_"})
    if (auto n = numbered(prefix); n && *n >= 1 && *n <= 16 && ::IsValidCodePage(28590 + *n)) return 28590 + *n;
  for (std::string_view prefix : {"windows-", "x-cp", "cp", "ibm", "ms"})
    if (auto n = numbered(prefix); n && *n > 3 && ::IsValidCodePage(*n)) return *n;
  // The Latin-n aliases of ISO-8859 (latin5 is 8859-9, latin7 8859-13,
  // latin9 8859-15) and the other names Windows' charset database gives a
  // code page; the conversion calls know code pages by number only.
  static constexpr uint32_t latin_parts[] = {1, 2, 3, 4, 9, 10, 13, 14, 15, 16};
  for (std::string_view prefix : {"latin", "csisolatin", "l"})
    if (auto n = numbered(prefix); n && *n >= 1 && *n <= 10 && ::IsValidCodePage(28590 + latin_parts[*n - 1]))
      return 28590 + latin_parts[*n - 1];
  // The ISO-IR registration numbers of the ISO-8859 parts.
  static constexpr struct {
    uint32_t registration, part;
  } iso_ir[] = {{100, 1}, {101, 2}, {109, 3}, {110, 4}, {144, 5}, {127, 6},
                {126, 7}, {138, 8}, {148, 9}, {157, 10}, {179, 13}, {203, 15}};
  if (auto n = numbered("iso-ir-"))
    for (const auto& entry : iso_ir)
      if (entry.registration == *n && ::IsValidCodePage(28590 + entry.part)) return 28590 + entry.part;
  static constexpr struct {
    std::string_view name;
    uint32_t code_page;
  } aliases[] = {{"us-ascii", 20127},   {"ascii", 20127},      {"cyrillic", 28595},  {"arabic", 28596},
                 {"greek", 28597},      {"hebrew", 28598},     {"koi8-r", 20866},    {"koi8-u", 21866},
                 {"shift_jis", 932},    {"sjis", 932},         {"ms_kanji", 932},    {"gbk", 936},
                 {"gb2312", 936},       {"big5", 950},         {"euc-jp", 51932},    {"euc-kr", 51949},
                 {"ks_c_5601-1987", 949}, {"utf-7", 65000},    {"macintosh", 10000}, {"x-mac-cyrillic", 10007},
                 {"ansi_x3.4-1968", 20127}, {"iso646-us", 20127}, {"windows-31j", 932}};
  for (const auto& alias : aliases)
    if (name == alias.name) return ::IsValidCodePage(alias.code_page) ? std::optional<uint32_t>(alias.code_page) : std::nullopt;
  return std::nullopt;
}

}  // namespace vendrel::platform

#endif  // _WIN32
