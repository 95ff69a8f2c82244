#include "store/split_folder_name.h"

#include <cstdio>

#include "platform/platform.h"

namespace vendrel {

namespace {
constexpr uint64_t filetime_per_second = 10000000ull;
uint64_t last_time[2] = {0, 0};
int split_number = 0;
}  // namespace

uint64_t next_split_time(bool wide) {
  uint64_t now = platform::system_time_as_filetime() / filetime_per_second;
  uint64_t& last = last_time[wide ? 1 : 0];
  if (last != 0 && now <= last) now = last + 1;
  last = now;
  return now;
}

std::string split_time_text(uint64_t seconds) {
  uint64_t utc = seconds * filetime_per_second;
  uint64_t local = utc;
  if (!platform::filetime_to_local_filetime(utc, &local)) local = utc;
  platform::system_time t;
  if (!platform::filetime_to_system_time(local, &t)) return "00.00.0000 00:00:00";
  char text[40];
  std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", unsigned{t.day}, unsigned{t.month},
                unsigned{t.year}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
  return text;
}

int next_split_number() { return split_number++; }

}  // namespace vendrel
