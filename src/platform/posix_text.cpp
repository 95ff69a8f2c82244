// POSIX platform layer: code pages. UTF-8 (the host's code page here) is
// converted by hand; every other code page goes through iconv under the
// charset name of its Win32 number. Conversions never fail: what cannot be
// converted, or is not valid input, becomes one '?' per character.
#if !defined(_WIN32)

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace vendrel::platform {

namespace {

constexpr uint32_t utf8_code_page = 65001;
const iconv_t no_converter = reinterpret_cast<iconv_t>(-1);
constexpr size_t iconv_failed = static_cast<size_t>(-1);

std::string charset_name(uint32_t code_page) {
  switch (code_page) {
    case 65001: return "UTF-8";
    case 65000: return "UTF-7";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20127: return "ASCII";
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 50220: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 50225: return "ISO-2022-KR";
    case 51950: return "EUC-TW";
    default: break;  // 866, 932, 936, 949, 950 and the rest are "CPn"
  }
  if (code_page >= 28591 && code_page <= 28605) return "ISO-8859-" + std::to_string(code_page - 28590);
  return "CP" + std::to_string(code_page);
}

enum class direction : uint32_t { to_wide = 0, from_wide = 1 };

// Open iconv descriptors are kept for reuse: a converter is taken out of the
// pool for one conversion (an iconv_t carries state and serves one thread at
// a time) and put back afterwards. The pool lives for the whole process and is
// never destroyed, so conversions during static destruction stay safe.
class ConverterPool {
 public:
  bool supported(uint32_t code_page) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (auto it = supported_.find(code_page); it != supported_.end()) return it->second;
    }
    errno = 0;
    iconv_t to_wide = open(code_page, direction::to_wide);
    iconv_t from_wide = to_wide == no_converter ? no_converter : open(code_page, direction::from_wide);
    const bool ok = to_wide != no_converter && from_wide != no_converter;
    // Only "no such conversion" is remembered; running out of descriptors is not.
    const bool settled = ok || errno == EINVAL;
    release(code_page, direction::to_wide, to_wide);
    release(code_page, direction::from_wide, from_wide);
    std::lock_guard<std::mutex> lock(mutex_);
    if (settled) supported_[code_page] = ok;
    return ok;
  }

  iconv_t acquire(uint32_t code_page, direction way) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto& idle = idle_[key(code_page, way)];
      if (!idle.empty()) {
        iconv_t converter = idle.back();
        idle.pop_back();
        return converter;
      }
    }
    return open(code_page, way);
  }

  void release(uint32_t code_page, direction way, iconv_t converter) {
    if (converter == no_converter) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto& idle = idle_[key(code_page, way)];
      if (idle.size() < max_idle) {
        idle.push_back(converter);
        return;
      }
    }
    ::iconv_close(converter);
  }

 private:
  static constexpr size_t max_idle = 8;
  static uint64_t key(uint32_t code_page, direction way) {
    return (uint64_t{code_page} << 1) | static_cast<uint32_t>(way);
  }
  static iconv_t open(uint32_t code_page, direction way) {
    const std::string name = charset_name(code_page);
    return way == direction::to_wide ? ::iconv_open("UTF-16LE", name.c_str())
                                     : ::iconv_open(name.c_str(), "UTF-16LE");
  }

  std::mutex mutex_;
  std::unordered_map<uint32_t, bool> supported_;
  std::unordered_map<uint64_t, std::vector<iconv_t>> idle_;
};

ConverterPool& pool() {
  static ConverterPool* instance = new ConverterPool;
  return *instance;
}

class Converter {
 public:
  Converter(uint32_t code_page, direction way)
      : code_page_(code_page), way_(way), handle_(pool().acquire(code_page, way)) {
    if (handle_ != no_converter) ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // initial state
  }
  ~Converter() { pool().release(code_page_, way_, handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  explicit operator bool() const { return handle_ != no_converter; }
  iconv_t get() const { return handle_; }

 private:
  uint32_t code_page_;
  direction way_;
  iconv_t handle_;
};

// A byte buffer iconv writes into, grown on demand.
class Output {
 public:
  explicit Output(size_t initial) : bytes_(initial < 16 ? 16 : initial, '\0') {}
  char** cursor() { return &cursor_; }
  size_t* room() { return &room_; }
  void grow() {
    const size_t used = used_bytes();
    bytes_.resize(bytes_.size() * 2);
    sync(used);
  }
  void append(std::string_view raw) {
    while (room_ < raw.size()) grow();
    for (char c : raw) *cursor_++ = c;
    room_ -= raw.size();
  }
  void start() { sync(0); }
  std::string finish() {
    bytes_.resize(used_bytes());
    return std::move(bytes_);
  }

 private:
  size_t used_bytes() const { return static_cast<size_t>(cursor_ - bytes_.data()); }
  void sync(size_t used) {
    cursor_ = bytes_.data() + used;
    room_ = bytes_.size() - used;
  }
  std::string bytes_;
  char* cursor_ = nullptr;
  size_t room_ = 0;
};

// Writes the shift-back sequence a stateful encoding needs at the end.
void flush(iconv_t converter, Output& out) {
  while (::iconv(converter, nullptr, nullptr, out.cursor(), out.room()) == iconv_failed && errno == E2BIG)
    out.grow();
}

// Runs `converter` over `input`; on every input it cannot take, calls
// `skip_bad(in, left, errno)` to step over one character and write its
// replacement.
template <typename SkipBad>
void run(iconv_t converter, std::string_view input, Output& out, SkipBad skip_bad) {
  // iconv never writes through its input pointer; the cast only fits its signature.
  char* in = const_cast<char*>(input.data());
  size_t left = input.size();
  while (left > 0) {
    if (::iconv(converter, &in, &left, out.cursor(), out.room()) != iconv_failed) break;
    // EILSEQ (bad or unconvertible input) and EINVAL (incomplete input at the
    // end) both cost one character; so would any undocumented error, which
    // must not make this loop spin.
    const int err = errno;
    if (err == E2BIG)
      out.grow();
    else
      skip_bad(in, left, err);
  }
  flush(converter, out);
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::string encode(iconv_t converter, std::u16string_view text) {
  // UTF-16LE input for iconv, with unpaired surrogates already turned into
  // '?': they are unconvertible in every code page.
  std::string input(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (is_high_surrogate(c)) {
      if (i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
        input[2 * i] = static_cast<char>(c & 0xFF);
        input[2 * i + 1] = static_cast<char>(c >> 8);
        c = text[++i];
      } else {
        c = u'?';
      }
    } else if (is_low_surrogate(c)) {
      c = u'?';
    }
    input[2 * i] = static_cast<char>(c & 0xFF);
    input[2 * i + 1] = static_cast<char>(c >> 8);
  }

  Output out(text.size() * 2);
  out.start();
  static const char question_mark[2] = {'?', '\0'};
  run(converter, input, out, [&](char*& in, size_t& left, int) {
    // One character: a surrogate pair or a single code unit.
    size_t skip = 2;
    if (left >= 4) {
      auto unit = [&](size_t at) {
        return static_cast<char16_t>(static_cast<unsigned char>(in[at]) |
                                     (static_cast<unsigned char>(in[at + 1]) << 8));
      };
      if (is_high_surrogate(unit(0)) && is_low_surrogate(unit(2))) skip = 4;
    }
    if (skip > left) skip = left;
    in += skip;
    left -= skip;
    // The '?' goes through the converter too, so that a stateful encoding
    // (ISO-2022-JP, UTF-7) shifts back before it.
    char* mark = const_cast<char*>(question_mark);
    size_t mark_left = sizeof question_mark;
    while (mark_left > 0) {
      if (::iconv(converter, &mark, &mark_left, out.cursor(), out.room()) != iconv_failed) break;
      if (errno == E2BIG) {
        out.grow();
      } else {
        out.append("?");
        break;
      }
    }
  });
  return out.finish();
}

std::u16string decode(iconv_t converter, std::string_view text) {
  Output out(text.size() * 2 + 2);
  out.start();
  run(converter, text, out, [&](char*& in, size_t& left, int err) {
    // An invalid byte costs one '?'; an incomplete sequence at the end too.
    if (err == EINVAL) {
      in += left;
      left = 0;
    } else {
      ++in;
      --left;
    }
    out.append(std::string_view("?\0", 2));
  });
  const std::string bytes = out.finish();
  std::u16string wide(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return wide;
}

// Code page 0 (and the other "current" code pages 1 to 3) is the host's code
// page; so is any code page without a converter.
uint32_t effective_code_page(uint32_t code_page) {
  if (code_page <= 3 || code_page == utf8_code_page) return host_code_page();
  return pool().supported(code_page) ? code_page : host_code_page();
}

// Code pages that read the bytes 0x00-0x7F as the ASCII characters and
// write those characters so: text of such bytes alone needs no converter.
bool ascii_compatible(uint32_t code_page) {
  return code_page == utf8_code_page || code_page == 874 || code_page == 936 || code_page == 950 ||
         (code_page >= 1250 && code_page <= 1258) || code_page == 20127 ||
         (code_page >= 28591 && code_page <= 28606);
}

template <typename CharT>
bool all_ascii(std::basic_string_view<CharT> text) {
  for (CharT c : text)
    if (static_cast<uint32_t>(c) >= 0x80) return false;
  return true;
}

}  // namespace

uint32_t host_code_page() { return utf8_code_page; }

uint32_t file_code_page() {
  // Read at every call: a host may set the variable after loading the library.
  return file_code_page_from(std::getenv("VENDREL_ANSI_CODEPAGE")).value_or(1252);
}

bool code_page_supported(uint32_t code_page) {
  if (code_page <= 3 || code_page == utf8_code_page) return true;
  return pool().supported(code_page);
}

std::u16string multibyte_to_wide(uint32_t code_page, std::string_view text) {
  if (text.empty()) return {};
  code_page = effective_code_page(code_page);
  if (ascii_compatible(code_page) && all_ascii(text)) return std::u16string(text.begin(), text.end());
  if (code_page != utf8_code_page) {
    Converter converter(code_page, direction::to_wide);
    if (converter) return decode(converter.get(), text);
    // No descriptor now (out of descriptors): fall back like an unknown code page.
  }
  return utf8_to_utf16(text, u'?');
}

std::string wide_to_multibyte(uint32_t code_page, std::u16string_view text) {
  if (text.empty()) return {};
  code_page = effective_code_page(code_page);
  if (ascii_compatible(code_page) && all_ascii(text)) return std::string(text.begin(), text.end());
  if (code_page != utf8_code_page) {
    Converter converter(code_page, direction::from_wide);
    if (converter) return encode(converter.get(), text);
  }
  return utf16_to_utf8(text, "?");
}

namespace {

std::string lower_trimmed(std::string_view name) {
  size_t begin = 0, end = name.size();
  while (begin < end && (name[begin] == ' ' || name[begin] == '\t' || name[begin] == '"')) ++begin;
  while (end > begin && (name[end - 1] == ' ' || name[end - 1] == '\t' || name[end - 1] == '"')) --end;
  std::string out(name.substr(begin, end - begin));
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The number after `prefix` when the rest of `name` is digits only.
std::optional<uint32_t> numbered(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 5 || name.substr(0, prefix.size()) != prefix)
    return std::nullopt;
  uint32_t value = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

// Code pages a charset name known only to iconv is compared against.
constexpr uint32_t candidate_code_pages[] = {
    28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599, 28600, 28601, 28603, 28604, 28605,
    1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  874,   437,   850,   852,   855,
    857,   860,   861,   862,   863,   865,   866,   869,   20866, 21866, 10000, 10007, 20127, 932,
    936,   949,   950,   51932, 51949, 50220, 50225, 51950, 54936, 65000};

}  // namespace

std::optional<uint32_t> code_page_for_charset(std::string_view charset) {
  const std::string name = lower_trimmed(charset);
  if (name.empty() || name.size() > 64) return std::nullopt;
  if (name == "utf-8" || name == "utf8") return utf8_code_page;
  for (std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859_"}) {
    if (auto n = numbered(name, prefix); n && *n >= 1 && *n <= 16 && *n != 12)
      return pool().supported(28590 + *n) ? std::optional<uint32_t>(28590 + *n) : std::nullopt;
  }
  for (std::string_view prefix : {"windows-", "x-cp", "cp", "ibm", "ms"}) {
    if (auto n = numbered(name, prefix); n && *n > 3)
      return code_page_supported(*n) ? std::optional<uint32_t>(*n) : std::nullopt;
  }
  // Any other name the converters know: the code page whose converter reads
  // every byte, and a few double-byte sequences, to the same characters.
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':'))
      return std::nullopt;
  iconv_t named = ::iconv_open("UTF-16LE", name.c_str());
  if (named == no_converter) return std::nullopt;
  std::string probe;
  for (int b = 1; b < 256; ++b) probe.push_back(static_cast<char>(b));
  probe += "\xA4\xA2\xB0\xA1\xC4\xE3\x82\xA0\x88\x9F\xE3\x81\x82\x1B$B$\"\x1B(B";
  const std::u16string reference = decode(named, probe);
  ::iconv_close(named);
  for (uint32_t code_page : candidate_code_pages) {
    if (!pool().supported(code_page)) continue;
    Converter converter(code_page, direction::to_wide);
    if (converter && decode(converter.get(), probe) == reference) return code_page;
  }
  return std::nullopt;
}

}  // namespace vendrel::platform

#endif  // !_WIN32
