#include "mime/code_7bit.h"

#include <string>

namespace vendrel {

namespace {
bool is_fold_delimiter(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
}  // namespace

void CMimeCode7bit::encode_into(CMimeOutput& out) const {
  std::string line;
  size_t last_delimiter = std::string::npos;  // index in line; 0 never breaks
  for (char c : input()) {
    if (c == '\r' || c == '\n') {  // an existing line end resets the count
      out.put(line);
      out.put(c);
      line.clear();
      last_delimiter = std::string::npos;
      continue;
    }
    if (is_fold_delimiter(c) && !line.empty()) last_delimiter = line.size();
    line.push_back(c);
    if (line.size() > kMaxLineLength && last_delimiter != std::string::npos) {
      out.put(std::string_view(line).substr(0, last_delimiter));
      out.put("\r\n");
      line.erase(0, last_delimiter);
      last_delimiter = std::string::npos;  // it was the last one; the rest has none but its first
    }
  }
  out.put(line);
}

}  // namespace vendrel
