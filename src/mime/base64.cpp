#include "mime/base64.h"

#include <array>
#include <cstdint>

namespace vendrel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> make_decode_table() {
  std::array<signed char, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  return table;
}
constexpr auto kDecodeTable = make_decode_table();

}  // namespace

size_t CMimeCodeBase64::output_length() const {
  if (!is_encoding()) return CMimeCodeBase::output_length();
  const size_t n = input().size();
  size_t chars = (n / 3 + (n % 3 != 0)) * 4;
  if (line_breaks_ && chars) chars += (chars / kLineLength + (chars % kLineLength != 0)) * 2;
  return chars;
}

void CMimeCodeBase64::encode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  size_t column = 0;
  auto emit = [&](char c) {
    out.put(c);
    if (line_breaks_ && ++column == kLineLength) {
      out.put("\r\n");
      column = 0;
    }
  };
  size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const uint32_t group = (static_cast<unsigned char>(in[i]) << 16) |
                           (static_cast<unsigned char>(in[i + 1]) << 8) | static_cast<unsigned char>(in[i + 2]);
    emit(kAlphabet[(group >> 18) & 63]);
    emit(kAlphabet[(group >> 12) & 63]);
    emit(kAlphabet[(group >> 6) & 63]);
    emit(kAlphabet[group & 63]);
  }
  const size_t rest = in.size() - i;
  if (rest) {
    uint32_t group = static_cast<unsigned char>(in[i]) << 16;
    if (rest == 2) group |= static_cast<unsigned char>(in[i + 1]) << 8;
    emit(kAlphabet[(group >> 18) & 63]);
    emit(kAlphabet[(group >> 12) & 63]);
    emit(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    emit('=');
  }
  if (line_breaks_ && column) out.put("\r\n");
}

void CMimeCodeBase64::decode_into(CMimeOutput& out) const {
  uint32_t bits = 0;
  int count = 0;
  for (char c : input()) {
    if (c == '=') break;
    const int value = kDecodeTable[static_cast<unsigned char>(c)];
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out.put(static_cast<char>((bits >> 16) & 0xFF));
      out.put(static_cast<char>((bits >> 8) & 0xFF));
      out.put(static_cast<char>(bits & 0xFF));
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) {
    out.put(static_cast<char>((bits >> 4) & 0xFF));
  } else if (count == 3) {
    out.put(static_cast<char>((bits >> 10) & 0xFF));
    out.put(static_cast<char>((bits >> 2) & 0xFF));
  }
}

}  // namespace vendrel
