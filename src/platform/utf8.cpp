// The hand-written UTF-8 <-> UTF-16 conversions of the platform layer: the
// POSIX text, file name and time zone calls use them for all their text,
// the Win32 layer for UTF-8 input the system call refuses as ill-formed.
#include "platform/utf8.h"

namespace vendrel::platform {

std::string utf16_to_utf8(std::u16string_view text, std::string_view replacement) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      bool paired = cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      if (!paired) {
        out.append(replacement);
        continue;
      }
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text, char16_t replacement) {
  std::u16string out;
  out.reserve(text.size());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    // Length and the range of the second byte of the well-formed sequences
    // starting with this byte; anything outside is cut at the first bad byte
    // and that maximal prefix costs one replacement.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      out.push_back(replacement);
      ++i;
      continue;
    }
    char32_t cp = lead & (0xFF >> (length + 1));
    size_t k = 1;
    for (; k < length && i + k < size; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      const bool ok = k == 1 ? (byte >= low && byte <= high) : (byte >= 0x80 && byte <= 0xBF);
      if (!ok) break;
      cp = (cp << 6) | (byte & 0x3F);
    }
    if (k < length) {
      out.push_back(replacement);
      i += k;
      continue;
    }
    i += length;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace vendrel::platform
