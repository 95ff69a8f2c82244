#include "maildir.h"

#include <algorithm>
#include <system_error>

#include "text.h"

namespace vendrel::cli {

namespace fs = std::filesystem;

bool is_maildir(const fs::path& directory) {
  std::error_code ec;
  return fs::is_directory(directory / "cur", ec) || fs::is_directory(directory / "new", ec);
}

std::vector<fs::path> maildir_messages(const fs::path& maildir) {
  std::vector<fs::path> files;
  for (const char* sub : {"cur", "new"}) {
    std::error_code ec;
    for (fs::directory_iterator it(maildir / sub, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code type_ec;
      const std::string name = path_utf8(it->path().filename());
      if (name.empty() || name[0] == '.') continue;
      if (it->is_regular_file(type_ec)) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  return files;
}

MessageState maildir_state(std::string_view name) {
  MessageState state;
  size_t info = std::string_view::npos;
  for (const char* marker : {":2,", "!2,", ";2,"}) {
    const size_t at = name.rfind(marker);
    if (at != std::string_view::npos && (info == std::string_view::npos || at > info)) info = at;
  }
  if (info == std::string_view::npos) return state;
  for (char c : name.substr(info + 3)) {
    switch (c) {
      case 'S': state.read = true; break;
      case 'F': state.flagged = true; break;
      case 'R': state.replied = true; break;
      case 'P': state.forwarded = true; break;
      case 'T': state.deleted = true; break;
      case 'D': state.draft = true; break;
      default: break;
    }
  }
  return state;
}

std::optional<int64_t> maildir_delivery_time(std::string_view name) {
  size_t i = 0;
  int64_t value = 0;
  while (i < name.size() && i < 12 && name[i] >= '0' && name[i] <= '9') value = value * 10 + (name[i++] - '0');
  if (i < 9 || i >= name.size() || name[i] != '.') return std::nullopt;
  return value;
}

std::vector<MaildirSubfolder> maildir_subfolders(const fs::path& maildir) {
  std::vector<std::pair<std::string, fs::path>> found;
  std::error_code ec;
  for (fs::directory_iterator it(maildir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = path_utf8(it->path().filename());
    if (name.size() < 2 || name[0] != '.' || name == "..") continue;
    std::error_code type_ec;
    if (!it->is_directory(type_ec) || !is_maildir(it->path())) continue;
    found.emplace_back(name, it->path());
  }
  // ".A" sorts before ".A.B": parents come first.
  std::sort(found.begin(), found.end());
  std::vector<MaildirSubfolder> out;
  for (auto& [name, directory] : found) {
    MaildirSubfolder sub;
    sub.directory = directory;
    size_t start = 1;
    for (size_t k = 1; k <= name.size(); ++k) {
      if (k == name.size() || name[k] == '.') {
        if (k > start) sub.components.push_back(decode_modified_utf7(name.substr(start, k - start)));
        start = k + 1;
      }
    }
    if (!sub.components.empty()) out.push_back(std::move(sub));
  }
  return out;
}

std::string decode_modified_utf7(std::string_view name) {
  static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  std::u16string out;
  size_t i = 0;
  while (i < name.size()) {
    const char c = name[i];
    if (c != '&') {
      if (static_cast<unsigned char>(c) >= 0x80) return std::string(name);  // raw 8-bit: not this form
      out.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    const size_t close = name.find('-', i + 1);
    if (close == std::string_view::npos) return std::string(name);
    if (close == i + 1) {
      out.push_back(u'&');
      i = close + 1;
      continue;
    }
    uint32_t bits = 0;
    int count = 0;
    for (size_t k = i + 1; k < close; ++k) {
      const size_t value = alphabet.find(name[k]);
      if (value == std::string_view::npos) return std::string(name);
      bits = (bits << 6) | static_cast<uint32_t>(value);
      count += 6;
      if (count >= 16) {
        count -= 16;
        out.push_back(static_cast<char16_t>((bits >> count) & 0xFFFF));
      }
    }
    i = close + 1;
  }
  return utf8(out);
}

}  // namespace vendrel::cli
