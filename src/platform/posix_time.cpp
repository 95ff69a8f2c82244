// POSIX platform layer: clocks, FILETIME / SYSTEMTIME arithmetic and the time
// zone in its Win32 shape. Calendar arithmetic is done on day numbers (the
// proleptic Gregorian calendar), so every year from 1601 to 30828 works
// without help from timegm or the size of time_t.
#if !defined(_WIN32)

#include <time.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace vendrel::platform {

namespace {

constexpr int64_t ticks_per_millisecond = 10'000;
constexpr int64_t ticks_per_second = 10'000'000;
constexpr int64_t seconds_per_day = 86'400;
constexpr int64_t ticks_per_day = ticks_per_second * seconds_per_day;
constexpr int64_t unix_epoch_ticks = 116'444'736'000'000'000;  // 1970-01-01 as a FILETIME
constexpr int64_t max_filetime = INT64_MAX;  // FileTimeToSystemTime rejects the top bit

int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
constexpr int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

struct civil_date {
  int64_t year;
  unsigned month, day;
};

constexpr civil_date civil_from_days(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  return {static_cast<int64_t>(year_of_era) + era * 400 + (month <= 2), month, day};
}

constexpr int64_t filetime_epoch_days = days_from_civil(1601, 1, 1);
static_assert(-filetime_epoch_days * ticks_per_day == unix_epoch_ticks);

// Sunday = 0, as SYSTEMTIME counts; 1970-01-01 was a Thursday.
unsigned weekday(int64_t days_since_1970) {
  const int64_t day = (days_since_1970 + 4) % 7;
  return static_cast<unsigned>(day < 0 ? day + 7 : day);
}

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned days_in_month(int64_t year, unsigned month) {
  static constexpr unsigned lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

bool fail(uint32_t code) {
  set_last_error(code);
  return false;
}

// The local-time breakdown of a Unix time, following the current TZ setting.
std::optional<struct tm> local_breakdown(int64_t unix_seconds) {
  const auto t = static_cast<time_t>(unix_seconds);
  struct tm parts {};
  if (::localtime_r(&t, &parts) == nullptr) return std::nullopt;
  return parts;
}

struct zone_state {
  int64_t offset = 0;  // seconds east of UTC
  bool daylight = false;
  bool operator==(const zone_state&) const = default;
};

zone_state state_at(int64_t unix_seconds) {
  auto parts = local_breakdown(unix_seconds);
  if (!parts) return {};
  return {parts->tm_gmtoff, parts->tm_isdst > 0};
}

std::u16string zone_name_at(int64_t unix_seconds) {
  auto parts = local_breakdown(unix_seconds);
  if (!parts || parts->tm_zone == nullptr) return {};
  return utf8_to_utf16(parts->tm_zone, u'?');
}

struct transition {
  int64_t at = 0;  // first second of the new state, Unix time
  zone_state before, after;
};

// A transition as Win32 describes a yearly rule: month, week of the month
// (5 = the last), weekday and the local time, on the clock that is running
// before the change, at which it happens.
system_time rule_date(const transition& change) {
  const int64_t local = change.at + change.before.offset;
  const int64_t days = floor_div(local, seconds_per_day);
  const int64_t second_of_day = local - days * seconds_per_day;
  const civil_date date = civil_from_days(days);
  system_time rule;
  rule.year = 0;
  rule.month = static_cast<uint16_t>(date.month);
  unsigned week = (date.day - 1) / 7 + 1;
  if (date.day + 7 > days_in_month(date.year, date.month)) week = 5;
  rule.day = static_cast<uint16_t>(week);
  rule.day_of_week = static_cast<uint16_t>(weekday(days));
  rule.hour = static_cast<uint16_t>(second_of_day / 3600);
  rule.minute = static_cast<uint16_t>(second_of_day / 60 % 60);
  rule.second = static_cast<uint16_t>(second_of_day % 60);
  return rule;
}

}  // namespace

uint64_t system_time_as_filetime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t ticks = static_cast<int64_t>(now.tv_sec) * ticks_per_second + now.tv_nsec / 100 + unix_epoch_ticks;
  return ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
}

bool filetime_to_local_filetime(uint64_t utc, uint64_t* local) {
  if (local == nullptr || utc > static_cast<uint64_t>(max_filetime)) return fail(error::invalid_parameter);
  // The offset in effect at that instant (summer times get the summer offset).
  ::tzset();
  const int64_t unix_seconds = floor_div(static_cast<int64_t>(utc) - unix_epoch_ticks, ticks_per_second);
  auto parts = local_breakdown(unix_seconds);
  if (!parts) return fail(error::invalid_parameter);
  const int64_t shift = static_cast<int64_t>(parts->tm_gmtoff) * ticks_per_second;
  const int64_t value = static_cast<int64_t>(utc);
  if ((shift > 0 && value > max_filetime - shift) || value + shift < 0) return fail(error::invalid_parameter);
  *local = static_cast<uint64_t>(value + shift);
  return true;
}

system_time local_time() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  ::tzset();
  system_time result;
  auto parts = local_breakdown(now.tv_sec);
  if (!parts) {
    filetime_to_system_time(system_time_as_filetime(), &result);
    return result;
  }
  result.year = static_cast<uint16_t>(parts->tm_year + 1900);
  result.month = static_cast<uint16_t>(parts->tm_mon + 1);
  result.day_of_week = static_cast<uint16_t>(parts->tm_wday);
  result.day = static_cast<uint16_t>(parts->tm_mday);
  result.hour = static_cast<uint16_t>(parts->tm_hour);
  result.minute = static_cast<uint16_t>(parts->tm_min);
  result.second = static_cast<uint16_t>(parts->tm_sec > 59 ? 59 : parts->tm_sec);  // a leap second
  result.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1'000'000);
  return result;
}

bool system_time_to_filetime(const system_time& time, uint64_t* filetime) {
  if (filetime == nullptr) return fail(error::invalid_parameter);
  if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > days_in_month(time.year, time.month) || time.hour > 23 || time.minute > 59 ||
      time.second > 59 || time.milliseconds > 999)
    return fail(error::invalid_parameter);
  const int64_t days = days_from_civil(time.year, time.month, time.day) - filetime_epoch_days;
  const int64_t seconds = ((days * 24 + time.hour) * 60 + time.minute) * 60 + time.second;
  *filetime = static_cast<uint64_t>(seconds * ticks_per_second + time.milliseconds * ticks_per_millisecond);
  return true;
}

bool filetime_to_system_time(uint64_t filetime, system_time* time) {
  if (time == nullptr || filetime > static_cast<uint64_t>(max_filetime)) return fail(error::invalid_parameter);
  const auto ticks = static_cast<int64_t>(filetime);
  const int64_t days = ticks / ticks_per_day;
  const int64_t rest = ticks % ticks_per_day;
  const int64_t unix_days = days + filetime_epoch_days;
  const civil_date date = civil_from_days(unix_days);
  time->year = static_cast<uint16_t>(date.year);
  time->month = static_cast<uint16_t>(date.month);
  time->day = static_cast<uint16_t>(date.day);
  time->day_of_week = static_cast<uint16_t>(weekday(unix_days));
  time->hour = static_cast<uint16_t>(rest / (3600 * ticks_per_second));
  time->minute = static_cast<uint16_t>(rest / (60 * ticks_per_second) % 60);
  time->second = static_cast<uint16_t>(rest / ticks_per_second % 60);
  time->milliseconds = static_cast<uint16_t>(rest / ticks_per_millisecond % 1000);
  return true;
}

time_zone_information time_zone() {
  ::tzset();
  time_zone_information info;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const auto today = local_breakdown(now.tv_sec);
  const zone_state current = state_at(now.tv_sec);
  const int64_t year = today ? today->tm_year + 1900 : 1970;

  // Walk the local year a day at a time and pin every change of offset or
  // daylight flag down to the second; keep the first change into and the
  // first change out of daylight time that fall within the year.
  std::optional<transition> into_daylight, out_of_daylight;
  const int64_t first = days_from_civil(year, 1, 1) * seconds_per_day - seconds_per_day;
  const int64_t last = days_from_civil(year + 1, 1, 1) * seconds_per_day + seconds_per_day;
  zone_state previous = state_at(first);
  for (int64_t t = first + seconds_per_day; t <= last; t += seconds_per_day) {
    const zone_state state = state_at(t);
    if (state == previous) continue;
    int64_t low = t - seconds_per_day, high = t;  // state_at(low) == previous, state_at(high) == state
    while (high - low > 1) {
      const int64_t middle = low + (high - low) / 2;
      (state_at(middle) == previous ? low : high) = middle;
    }
    const transition change{high, previous, state};
    const int64_t local_year = civil_from_days(floor_div(high + previous.offset, seconds_per_day)).year;
    if (local_year == year) {
      if (!previous.daylight && state.daylight && !into_daylight) into_daylight = change;
      if (previous.daylight && !state.daylight && !out_of_daylight) out_of_daylight = change;
    }
    previous = state;
  }

  if (into_daylight && out_of_daylight) {
    // Some zones flag their winter time as daylight time, with a negative
    // saving (Europe/Dublin, Morocco's Ramadan time). Win32 describes those
    // with the later clock as daylight time; swap the two to match.
    bool in_daylight = current.daylight;
    if (into_daylight->after.offset < out_of_daylight->after.offset) {
      std::swap(into_daylight, out_of_daylight);
      in_daylight = !in_daylight;
    }
    const zone_state standard = out_of_daylight->after;
    const zone_state daylight = into_daylight->after;
    info.bias = static_cast<int32_t>(-standard.offset / 60);
    info.standard_bias = 0;
    info.daylight_bias = static_cast<int32_t>(-(daylight.offset - standard.offset) / 60);
    info.standard_name = zone_name_at(out_of_daylight->at);
    info.daylight_name = zone_name_at(into_daylight->at);
    info.standard_date = rule_date(*out_of_daylight);
    info.daylight_date = rule_date(*into_daylight);
    info.id = in_daylight ? time_zone_id_daylight : time_zone_id_standard;
  } else {
    // No daylight saving time this year: one offset, no rule dates.
    info.bias = static_cast<int32_t>(-current.offset / 60);
    info.standard_name = zone_name_at(now.tv_sec);
    const char* other = ::tzname[1];
    info.daylight_name = other != nullptr && other[0] != '\0' && other[0] != ' '
                             ? utf8_to_utf16(other, u'?')
                             : info.standard_name;
    info.id = time_zone_id_unknown;
  }
  return info;
}

void sleep_ms(uint32_t milliseconds) {
  struct timespec remaining {};
  remaining.tv_sec = milliseconds / 1000;
  remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1'000'000;
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace vendrel::platform

#endif  // !_WIN32
