// `vendrel ls`: the folder tree of any PST the checker can read.
#include <cstdio>
#include <ctime>
#include <string>

#include "check/store_listing.h"
#include "commands.h"
#include "text.h"

namespace vendrel::cli {

namespace {

std::string date_text(int64_t filetime) {
  if (filetime <= 0) return "-               ";
  const int64_t seconds = filetime / 10000000 - 11644473600ll;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  if (gmtime_s(&tm, &t) != 0) return "?";
#else
  if (!gmtime_r(&t, &tm)) return "?";
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}

std::string one_line(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return text;
}

}  // namespace

int run_list(const ListOptions& options) {
  const std::u16string path = path_utf16(options.file);
  int depth = 0;
  store_listing_callbacks callbacks;
  callbacks.folder = [&](const listed_folder& folder) {
    depth = folder.depth;
    const std::string name = folder.depth == 0 && folder.name.empty() ? "(root)" : one_line(folder.name);
    std::printf("%s%s  [%s]  %s %s\n", std::string(static_cast<size_t>(folder.depth) * 2, ' ').c_str(), name.c_str(),
                folder.container_class.empty() ? "-" : folder.container_class.c_str(), grouped(folder.item_count).c_str(),
                folder.item_count == 1 ? "item" : "items");
  };
  if (options.items) {
    callbacks.item = [&](const listed_item& item) {
      std::printf("%s- %s  %s  %s  %s\n", std::string(static_cast<size_t>(depth) * 2 + 2, ' ').c_str(),
                  date_text(item.time).c_str(), item.message_class.empty() ? "-" : one_line(item.message_class).c_str(),
                  item.sender.empty() ? "-" : one_line(item.sender).c_str(), one_line(item.subject).c_str());
    };
  }
  const std::string name = store_display_name(path);
  std::string error;
  if (!name.empty()) std::printf("Store: %s\n", one_line(name).c_str());
  const bool readable = list_store(path, callbacks, error);
  std::fflush(stdout);
  if (!readable) {
    std::fprintf(stderr, "vendrel: %s: %s\n", path_utf8(options.file).c_str(),
                 error.empty() ? "not readable as a PST file" : error.c_str());
    return 2;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "vendrel: %s: %s\n", path_utf8(options.file).c_str(), error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace vendrel::cli
