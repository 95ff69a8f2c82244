#include "mime/mime_message.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace vendrel {

namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

// Days since 1970-01-01 of a proleptic Gregorian date.
long long days_from_civil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

int days_in_month(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::string CMimeMessage::format_date(int year, int month, int day, int hour, int minute, int second,
                                      int utc_offset_minutes) {
  month = clamp(month, 1, 12);
  day = clamp(day, 1, 31);
  hour = clamp(hour, 0, 23);
  minute = clamp(minute, 0, 59);
  second = clamp(second, 0, 59);
  utc_offset_minutes = clamp(utc_offset_minutes, -(99 * 60 + 59), 99 * 60 + 59);
  const long long days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const int weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  const char sign = utc_offset_minutes < 0 ? '-' : '+';
  const int offset = std::abs(utc_offset_minutes);
  char text[96];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d", kWeekdays[weekday], day,
                kMonths[month - 1], year, hour, minute, second, sign, offset / 60, offset % 60);
  return text;
}

int CMimeMessage::local_utc_offset(int year, int month, int day, int hour, int minute, int second) {
  platform::system_time time;
  time.year = static_cast<uint16_t>(clamp(year, 1601, 30827));
  time.month = static_cast<uint16_t>(clamp(month, 1, 12));
  time.day = static_cast<uint16_t>(clamp(day, 1, days_in_month(time.year, time.month)));
  time.hour = static_cast<uint16_t>(clamp(hour, 0, 23));
  time.minute = static_cast<uint16_t>(clamp(minute, 0, 59));
  time.second = static_cast<uint16_t>(clamp(second, 0, 59));
  uint64_t as_utc = 0, local = 0;
  if (platform::system_time_to_filetime(time, &as_utc) && platform::filetime_to_local_filetime(as_utc, &local)) {
    const long long difference = static_cast<long long>(local) - static_cast<long long>(as_utc);
    return static_cast<int>(difference / 600000000LL);
  }
  return -platform::time_zone().bias;
}

void CMimeMessage::set_date(int year, int month, int day, int hour, int minute, int second) {
  set_date(year, month, day, hour, minute, second, local_utc_offset(year, month, day, hour, minute, second));
}

void CMimeMessage::set_date(int year, int month, int day, int hour, int minute, int second,
                            int utc_offset_minutes) {
  set_field_value("Date", format_date(year, month, day, hour, minute, second, utc_offset_minutes));
}

}  // namespace vendrel
