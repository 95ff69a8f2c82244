// Win32 platform layer: clocks, FILETIME / SYSTEMTIME and the time zone,
// straight onto the Win32 time calls.
#if defined(_WIN32)

#include "platform/windows_headers.h"

#include <cstdint>
#include <limits>

#include "platform/platform.h"
#include "platform/win32_internal.h"

namespace vendrel::platform {

namespace {

using win32::fail;
using win32::fail_with_last_error;

static_assert(time_zone_id_unknown == TIME_ZONE_ID_UNKNOWN && time_zone_id_standard == TIME_ZONE_ID_STANDARD &&
              time_zone_id_daylight == TIME_ZONE_ID_DAYLIGHT);

constexpr uint64_t largest_filetime = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

FILETIME to_native(uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

uint64_t from_native(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

SYSTEMTIME to_native(const system_time& t) {
  SYSTEMTIME time;
  time.wYear = t.year;
  time.wMonth = t.month;
  time.wDayOfWeek = t.day_of_week;
  time.wDay = t.day;
  time.wHour = t.hour;
  time.wMinute = t.minute;
  time.wSecond = t.second;
  time.wMilliseconds = t.milliseconds;
  return time;
}

system_time from_native(const SYSTEMTIME& time) {
  system_time t;
  t.year = time.wYear;
  t.month = time.wMonth;
  t.day_of_week = time.wDayOfWeek;
  t.day = time.wDay;
  t.hour = time.wHour;
  t.minute = time.wMinute;
  t.second = time.wSecond;
  t.milliseconds = time.wMilliseconds;
  return t;
}

bool is_leap(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The fields a SYSTEMTIME may hold: 1601-01-01 to 30827-12-31, real days of
// the month, a 24-hour clock; the day of the week is not looked at.
bool valid_fields(const system_time& t) {
  static constexpr uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  const unsigned last = days[t.month - 1] + (t.month == 2 && is_leap(t.year) ? 1u : 0u);
  return t.day <= last && t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

std::u16string zone_name(const WCHAR* name, size_t capacity) {
  size_t length = 0;
  while (length < capacity && name[length] != L'\0') ++length;
  return std::u16string(name, name + length);
}

}  // namespace

uint64_t system_time_as_filetime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return from_native(now);
}

bool filetime_to_local_filetime(uint64_t utc, uint64_t* local) {
  if (local == nullptr || utc > largest_filetime) return fail(ERROR_INVALID_PARAMETER);
  const FILETIME in = to_native(utc);
  FILETIME out;
  if (!::FileTimeToLocalFileTime(&in, &out)) return fail_with_last_error();
  const uint64_t value = from_native(out);
  // The call wraps around instead of failing when the shift leaves the range
  // (west of UTC near zero, east of it near the top): the result then has the
  // sign bit set.
  if (value > largest_filetime) return fail(ERROR_INVALID_PARAMETER);
  *local = value;
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

system_time local_time() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return from_native(now);
}

bool system_time_to_filetime(const system_time& time, uint64_t* filetime) {
  // SystemTimeToFileTime's own range checks, made here as well: not every
  // implementation of the call makes them all (wine takes February 29 of
  // any year and the year 30828).
  if (filetime == nullptr || !valid_fields(time)) return fail(ERROR_INVALID_PARAMETER);
  const SYSTEMTIME in = to_native(time);
  FILETIME out;
  if (!::SystemTimeToFileTime(&in, &out)) return fail(ERROR_INVALID_PARAMETER);
  *filetime = from_native(out);
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

bool filetime_to_system_time(uint64_t filetime, system_time* time) {
  if (time == nullptr || filetime > largest_filetime) return fail(ERROR_INVALID_PARAMETER);
  const FILETIME in = to_native(filetime);
  SYSTEMTIME out;
  if (!::FileTimeToSystemTime(&in, &out)) return fail(ERROR_INVALID_PARAMETER);
  *time = from_native(out);
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

time_zone_information time_zone() {
  TIME_ZONE_INFORMATION native{};
  const DWORD id = ::GetTimeZoneInformation(&native);
  time_zone_information zone;
  zone.bias = native.Bias;
  zone.standard_name = zone_name(native.StandardName, sizeof native.StandardName / sizeof native.StandardName[0]);
  zone.standard_date = from_native(native.StandardDate);
  zone.standard_bias = native.StandardBias;
  zone.daylight_name = zone_name(native.DaylightName, sizeof native.DaylightName / sizeof native.DaylightName[0]);
  zone.daylight_date = from_native(native.DaylightDate);
  zone.daylight_bias = native.DaylightBias;
  // TIME_ZONE_ID_INVALID (the call failed) reads as a zone without rules.
  zone.id = id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT ? id : time_zone_id_unknown;
  return zone;
}

}  // namespace vendrel::platform

#endif  // _WIN32
