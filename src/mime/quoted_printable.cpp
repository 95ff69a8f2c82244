#include "mime/quoted_printable.h"

#include <string>

#include "mime/ascii.h"

namespace vendrel {

using namespace mime;

void CMimeCodeQP::encode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  std::string line;                     // the output line being built
  size_t after_blank = std::string::npos;  // line position just after its last literal blank

  // A line that is a lone full stop would end an SMTP transfer; it goes out as "=2E".
  auto flush_line = [&]() {
    if (line == ".")
      out.put("=2E");
    else
      out.put(line);
    line.clear();
    after_blank = std::string::npos;
  };

  for (size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    const auto byte = static_cast<unsigned char>(c);
    // A CR without its LF is no line end on the wire: it is encoded.
    const bool line_end = c == '\n' || (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n');
    if (body_mode_ && line_end) {
      flush_line();
      out.put(c);
      continue;
    }

    std::string token;
    bool literal_blank = false;
    if (is_blank(c)) {
      const bool last = i + 1 == in.size();
      const bool before_line_end = body_mode_ && !last && is_line_end(in[i + 1]);
      if (last || before_line_end) {
        append_hex_escape(token, '=', byte);
      } else {
        token.push_back(c);
        literal_blank = true;
      }
    } else if (byte >= 33 && byte <= 126 && c != '=') {
      token.push_back(c);
    } else {
      append_hex_escape(token, '=', byte);
    }

    // Keep room for the soft-break "=": break at the line's last blank when
    // it has one, else here. Escapes are never split.
    while (line.size() + token.size() + 1 > kMaxLineLength) {
      if (after_blank != std::string::npos) {
        out.put(std::string_view(line).substr(0, after_blank));
        line.erase(0, after_blank);
      } else {
        out.put(line);
        line.clear();
      }
      out.put("=\r\n");
      after_blank = std::string::npos;
    }
    line += token;
    if (literal_blank) after_blank = line.size();
  }
  flush_line();
}

void CMimeCodeQP::decode_into(CMimeOutput& out) const {
  const std::string_view in = input();
  size_t i = 0;
  while (i < in.size()) {
    const char c = in[i];
    if (c == '=') {
      const int high = i + 1 < in.size() ? hex_value(in[i + 1]) : -1;
      const int low = i + 2 < in.size() ? hex_value(in[i + 2]) : -1;
      if (high >= 0 && low >= 0) {
        out.put(static_cast<char>(high * 16 + low));
        i += 3;
        continue;
      }
      // Soft break: "=", optional transport blanks, then a line end or the end.
      size_t j = i + 1;
      while (j < in.size() && is_blank(in[j])) ++j;
      if (j == in.size()) break;
      if (in[j] == '\r' || in[j] == '\n') {
        if (in[j] == '\r' && j + 1 < in.size() && in[j + 1] == '\n') ++j;
        i = j + 1;
        continue;
      }
      out.put('=');  // not an escape: kept as it is
      ++i;
      continue;
    }
    if (is_blank(c)) {
      size_t j = i;
      while (j < in.size() && is_blank(in[j])) ++j;
      if (j < in.size() && !is_line_end(in[j])) out.put(in.substr(i, j - i));
      // else: trailing blanks of a line (or of the input) are dropped
      i = j;
      continue;
    }
    out.put(c);
    ++i;
  }
}

}  // namespace vendrel
