// FILETIME / SYSTEMTIME arithmetic, local time and the time zone in its Win32 form.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vendrel::platform {
namespace {

system_time make(uint16_t year, uint16_t month, uint16_t day, uint16_t hour = 0, uint16_t minute = 0,
                 uint16_t second = 0, uint16_t milliseconds = 0, uint16_t day_of_week = 0) {
  system_time t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  t.milliseconds = milliseconds;
  t.day_of_week = day_of_week;
  return t;
}

std::string show(const system_time& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u dow %u", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.milliseconds, t.day_of_week);
  return text;
}

struct KnownTime {
  system_time time;  // with the right day of the week
  uint64_t filetime;
};

class PlatformKnownTime : public ::testing::TestWithParam<KnownTime> {};

TEST_P(PlatformKnownTime, ConvertsBothWays) {
  const KnownTime& c = GetParam();
  uint64_t filetime = 0;
  system_time wrong_weekday = c.time;
  wrong_weekday.day_of_week = static_cast<uint16_t>((c.time.day_of_week + 3) % 7);  // ignored
  ASSERT_TRUE(system_time_to_filetime(wrong_weekday, &filetime)) << show(c.time);
  EXPECT_EQ(filetime, c.filetime) << show(c.time);
  system_time back;
  ASSERT_TRUE(filetime_to_system_time(c.filetime, &back));
  EXPECT_EQ(show(back), show(c.time));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformKnownTime,
    ::testing::Values(KnownTime{make(1601, 1, 1, 0, 0, 0, 0, 1), 0},
                      KnownTime{make(1601, 1, 1, 0, 0, 0, 1, 1), 10'000},
                      KnownTime{make(1900, 3, 1, 0, 0, 0, 0, 4), 94'405'824'000'000'000},
                      KnownTime{make(1970, 1, 1, 0, 0, 0, 0, 4), 116'444'736'000'000'000},
                      KnownTime{make(2000, 2, 29, 12, 34, 56, 789, 2), 125'963'012'967'890'000},
                      KnownTime{make(2024, 2, 29, 23, 59, 59, 999, 4), 133'537'247'999'990'000},
                      KnownTime{make(9999, 12, 31, 23, 59, 59, 999, 5), 2'650'467'743'999'990'000},
                      KnownTime{make(30827, 12, 31, 23, 59, 59, 999, 5), 0x7FFF35F4F06C58F0ull}));

TEST(PlatformTime, LargestFiletimeAndAboveIt) {
  system_time t;
  ASSERT_TRUE(filetime_to_system_time(0x7FFFFFFFFFFFFFFFull, &t));
  EXPECT_EQ(show(t), "30828-09-14 02:48:05.477 dow 4");
  EXPECT_FALSE(filetime_to_system_time(0x8000000000000000ull, &t));
  EXPECT_EQ(last_error(), error::invalid_parameter);
  uint64_t local = 0;
  EXPECT_FALSE(filetime_to_local_filetime(0xFFFFFFFFFFFFFFFFull, &local));
}

TEST(PlatformTime, InvalidFieldsAreRejected) {
  const system_time bad[] = {
      make(1600, 12, 31),          make(30828, 1, 1),         make(2023, 0, 1),
      make(2023, 13, 1),           make(2023, 1, 0),          make(2023, 1, 32),
      make(2023, 4, 31),           make(2023, 2, 29),         make(1900, 2, 29),
      make(2100, 2, 29),           make(2023, 1, 1, 24),      make(2023, 1, 1, 0, 60),
      make(2023, 1, 1, 0, 0, 60),  make(2023, 1, 1, 0, 0, 0, 1000),
  };
  for (const system_time& t : bad) {
    uint64_t filetime = 12345;
    EXPECT_FALSE(system_time_to_filetime(t, &filetime)) << show(t);
    EXPECT_EQ(filetime, 12345u) << show(t);
    EXPECT_EQ(last_error(), error::invalid_parameter);
  }
  uint64_t filetime = 0;
  EXPECT_TRUE(system_time_to_filetime(make(30827, 12, 31, 23, 59, 59, 999), &filetime));
  EXPECT_TRUE(system_time_to_filetime(make(2000, 2, 29), &filetime));
  EXPECT_TRUE(system_time_to_filetime(make(2023, 12, 31), &filetime));
}

TEST(PlatformTime, RoundTripsAcrossTheWholeRange) {
  // Every value is kept to the millisecond; weekdays advance one a day.
  uint64_t value = 0x9E3779B97F4A7C15ull;
  system_time previous_day;
  ASSERT_TRUE(filetime_to_system_time(0, &previous_day));
  for (int i = 0; i < 20000; ++i) {
    value = value * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t filetime = (value >> 1) % 0x7FFF35F4F06C58F0ull;  // up to the end of 30827
    system_time t;
    ASSERT_TRUE(filetime_to_system_time(filetime, &t));
    uint64_t back = 0;
    ASSERT_TRUE(system_time_to_filetime(t, &back)) << show(t);
    ASSERT_EQ(back, filetime - filetime % 10'000) << show(t);
    const uint64_t days = filetime / 864'000'000'000ull;
    ASSERT_EQ(t.day_of_week, (days + 1) % 7) << show(t);  // 1601-01-01 was a Monday
  }
}

TEST(PlatformTime, SystemTimeIsNow) {
  // The clock in FILETIME units: compare with the C library's idea of now.
  const uint64_t before = static_cast<uint64_t>(std::time(nullptr)) * 10'000'000ull + 116'444'736'000'000'000ull;
  const uint64_t now = system_time_as_filetime();
  const uint64_t after = static_cast<uint64_t>(std::time(nullptr) + 1) * 10'000'000ull + 116'444'736'000'000'000ull;
  EXPECT_GE(now + 10'000'000ull, before);
  EXPECT_LE(now, after);
}

#if !defined(_WIN32)  // TZ rules are the POSIX layer's; Windows reads its zone from the system
// Runs a test under a given TZ and restores the previous one.
class PlatformTimeZone : public ::testing::Test {
 protected:
  void TearDown() override {
    if (saved_) setenv("TZ", saved_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  void use(const char* zone) {
    if (!saved_ && !saved_unset_) {
      const char* current = std::getenv("TZ");
      if (current) saved_ = current;
      else saved_unset_ = true;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  static uint64_t at(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute = 0) {
    uint64_t filetime = 0;
    EXPECT_TRUE(system_time_to_filetime(make(year, month, day, hour, minute), &filetime));
    return filetime;
  }

 private:
  std::optional<std::string> saved_;
  bool saved_unset_ = false;
};

constexpr int64_t ticks_per_minute = 600'000'000;

struct ZoneCase {
  const char* tz;
  int32_t bias, daylight_bias;
  const char *standard_name, *daylight_name;
  // month, week, weekday, hour of the switch to standard and to daylight time; 0 = none
  uint16_t standard_rule[4], daylight_rule[4];
};

TEST_F(PlatformTimeZone, RulesInWin32Form) {
  const ZoneCase cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", -60, -60, "CET", "CEST", {10, 5, 0, 3}, {3, 5, 0, 2}},
      {"EST5EDT,M3.2.0,M11.1.0", 300, -60, "EST", "EDT", {11, 1, 0, 2}, {3, 2, 0, 2}},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", -600, -60, "AEST", "AEDT", {4, 1, 0, 3}, {10, 1, 0, 2}},
      {"NZST-12NZDT,M9.5.0,M4.1.0/3", -720, -60, "NZST", "NZDT", {4, 1, 0, 3}, {9, 5, 0, 2}},
      // Winter flagged as daylight time with a negative saving: Win32 calls the later clock daylight.
      {"IST-1GMT0,M10.5.0,M3.5.0/1", 0, -60, "GMT", "IST", {10, 5, 0, 2}, {3, 5, 0, 1}},
      {"UTC0", 0, 0, "UTC", "UTC", {0, 0, 0, 0}, {0, 0, 0, 0}},
      {"IST-5:30", -330, 0, "IST", nullptr, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const ZoneCase& c : cases) {
    SCOPED_TRACE(c.tz);
    use(c.tz);
    const time_zone_information zone = time_zone();
    EXPECT_EQ(zone.bias, c.bias);
    EXPECT_EQ(zone.standard_bias, 0);
    EXPECT_EQ(zone.daylight_bias, c.daylight_bias);
    EXPECT_EQ(zone.standard_name, std::u16string(c.standard_name, c.standard_name + std::strlen(c.standard_name)));
    if (c.daylight_name) {
      EXPECT_EQ(zone.daylight_name, std::u16string(c.daylight_name, c.daylight_name + std::strlen(c.daylight_name)));
    }
    const system_time& standard = zone.standard_date;
    const system_time& daylight = zone.daylight_date;
    EXPECT_EQ(standard.month, c.standard_rule[0]);
    EXPECT_EQ(standard.day, c.standard_rule[1]);
    EXPECT_EQ(standard.day_of_week, c.standard_rule[2]);
    EXPECT_EQ(standard.hour, c.standard_rule[3]);
    EXPECT_EQ(daylight.month, c.daylight_rule[0]);
    EXPECT_EQ(daylight.day, c.daylight_rule[1]);
    EXPECT_EQ(daylight.day_of_week, c.daylight_rule[2]);
    EXPECT_EQ(daylight.hour, c.daylight_rule[3]);
    EXPECT_EQ(standard.year, 0);
    EXPECT_EQ(standard.minute + daylight.minute + standard.second + daylight.second, 0);
    if (c.standard_rule[0] == 0) {
      EXPECT_EQ(zone.id, time_zone_id_unknown);
    } else {
      EXPECT_TRUE(zone.id == time_zone_id_standard || zone.id == time_zone_id_daylight);
    }
  }
}

TEST_F(PlatformTimeZone, ZoneIdAndBiasesAgreeWithLocalTimeNow) {
  for (const char* tz : {"CET-1CEST,M3.5.0,M10.5.0/3", "AEST-10AEDT,M10.1.0,M4.1.0/3", "IST-1GMT0,M10.5.0,M3.5.0/1"}) {
    SCOPED_TRACE(tz);
    use(tz);
    const time_zone_information zone = time_zone();
    const uint64_t now = system_time_as_filetime();
    uint64_t local = 0;
    ASSERT_TRUE(filetime_to_local_filetime(now, &local));
    const int64_t bias = zone.bias + (zone.id == time_zone_id_daylight ? zone.daylight_bias : zone.standard_bias);
    EXPECT_EQ(static_cast<int64_t>(now - local), bias * ticks_per_minute);
  }
}

TEST_F(PlatformTimeZone, LocalFiletimeUsesTheOffsetOfThatInstant) {
  use("CET-1CEST,M3.5.0,M10.5.0/3");
  struct {
    uint64_t utc;
    int64_t minutes_east;
  } cases[] = {
      {at(2021, 1, 15, 12), 60},
      {at(2021, 7, 15, 12), 120},
      {at(2021, 3, 28, 0, 59), 60},   // one minute before the spring change (01:00 UTC)
      {at(2021, 3, 28, 1, 0), 120},
      {at(2021, 10, 31, 0, 59), 120},  // and before the autumn change
      {at(2021, 10, 31, 1, 0), 60},
  };
  for (const auto& c : cases) {
    uint64_t local = 0;
    ASSERT_TRUE(filetime_to_local_filetime(c.utc, &local));
    EXPECT_EQ(static_cast<int64_t>(local - c.utc), c.minutes_east * ticks_per_minute);
  }
  use("EST5EDT,M3.2.0,M11.1.0");
  uint64_t local = 0;
  ASSERT_TRUE(filetime_to_local_filetime(at(2021, 1, 15, 12), &local));
  EXPECT_EQ(static_cast<int64_t>(at(2021, 1, 15, 12) - local), time_zone().bias * ticks_per_minute);
  // Early instants cannot go below zero.
  EXPECT_FALSE(filetime_to_local_filetime(0, &local));
}

TEST_F(PlatformTimeZone, LocalTimeIsNowInTheZone) {
  use("IST-5:30");
  const uint64_t before = system_time_as_filetime();
  const system_time local = local_time();
  const uint64_t after = system_time_as_filetime();
  uint64_t local_filetime = 0;
  ASSERT_TRUE(system_time_to_filetime(local, &local_filetime));
  const int64_t shift = 330 * ticks_per_minute;
  // Between the two readings, give or take the millisecond local_time keeps.
  EXPECT_GE(local_filetime + 10'000, before + shift);
  EXPECT_LE(local_filetime, after + shift);
  system_time check;
  ASSERT_TRUE(filetime_to_system_time(local_filetime, &check));
  EXPECT_EQ(local.day_of_week, check.day_of_week);
}
#endif  // !_WIN32

}  // namespace
}  // namespace vendrel::platform
