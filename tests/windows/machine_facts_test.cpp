// What the Win32 platform layer reports about the machine, the clock and the
// code pages, held against the Win32 calls themselves.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace vendrel::platform {
namespace {

std::string ansi_call(UINT (*call)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1] = {};
  UINT n = call(buffer, sizeof buffer);
  return std::string(buffer, n);
}

TEST(PlatformWin32Machine, FactsForTheLogHeaderComeFromTheNamedCalls) {
  char program[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, program, sizeof program);
  // Linked into this program, the layer's module is the program itself.
  EXPECT_EQ(module_path(), std::optional<std::string>(program));

  char cwd[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof cwd, cwd);
  EXPECT_EQ(current_directory(), std::optional<std::string>(cwd));
  EXPECT_EQ(system_directory(), std::optional<std::string>(ansi_call(::GetSystemDirectoryA)));
  EXPECT_EQ(windows_directory(), std::optional<std::string>(ansi_call(::GetWindowsDirectoryA)));

  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(sizeof temp, temp);
  const auto temp_directory = temp_path();
  ASSERT_TRUE(temp_directory.has_value());
  EXPECT_EQ(*temp_directory, temp);
  EXPECT_EQ(temp_directory->back(), '\\');

  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  ASSERT_TRUE(::GetComputerNameA(name, &size));
  EXPECT_EQ(computer_name(), std::optional<std::string>(name));
}

TEST(PlatformWin32Text, AnsiCodePageIsTheProcessOne) {
  EXPECT_EQ(ansi_code_page(), ::GetACP());
  EXPECT_TRUE(code_page_supported(0));
  EXPECT_TRUE(code_page_supported(1));  // the OEM code page
  EXPECT_FALSE(code_page_supported(12345));
  // Code page 0 and unknown ones convert as the ANSI code page does.
  const std::u16string text = u"abc \u00E9";
  const std::string ansi = wide_to_multibyte(::GetACP(), text);
  EXPECT_EQ(wide_to_multibyte(0, text), ansi);
  EXPECT_EQ(wide_to_multibyte(12345, text), ansi);
  EXPECT_EQ(multibyte_to_wide(12345, ansi), multibyte_to_wide(::GetACP(), ansi));
}

TEST(PlatformWin32Text, BestFitIsNeverUsed) {
  // Windows would write these as look-alikes ("i", "A", "2"); the layer
  // writes '?' for a character the code page lacks.
  EXPECT_EQ(wide_to_multibyte(20127, u"na\u00EFve \u00C5 \u00B2"), "na?ve ? ?");
  EXPECT_EQ(wide_to_multibyte(1252, u"\u0100\u2260"), "??");
  EXPECT_EQ(wide_to_multibyte(1252, u"\u00EF"), "\xEF");  // present: converted
}

TEST(PlatformWin32Time, TimeZoneIsGetTimeZoneInformation) {
  TIME_ZONE_INFORMATION native{};
  const DWORD id = ::GetTimeZoneInformation(&native);
  const time_zone_information zone = time_zone();
  EXPECT_EQ(zone.bias, native.Bias);
  EXPECT_EQ(zone.standard_bias, native.StandardBias);
  EXPECT_EQ(zone.daylight_bias, native.DaylightBias);
  EXPECT_EQ(zone.standard_date.month, native.StandardDate.wMonth);
  EXPECT_EQ(zone.daylight_date.month, native.DaylightDate.wMonth);
  EXPECT_EQ(zone.standard_name,
            std::u16string(native.StandardName, native.StandardName + std::wcslen(native.StandardName)));
  EXPECT_EQ(zone.id, id == TIME_ZONE_ID_INVALID ? time_zone_id_unknown : id);
}

TEST(PlatformWin32Time, LocalTimeAgreesWithTheLocalFiletimeOfNow) {
  const uint64_t now = system_time_as_filetime();
  uint64_t local = 0;
  ASSERT_TRUE(filetime_to_local_filetime(now, &local));
  const system_time clock = local_time();
  uint64_t clock_filetime = 0;
  ASSERT_TRUE(system_time_to_filetime(clock, &clock_filetime));
  // Read one after the other: within a minute of each other.
  const uint64_t apart = clock_filetime > local ? clock_filetime - local : local - clock_filetime;
  EXPECT_LT(apart, 60ull * 10'000'000ull);
}

TEST(PlatformWin32Guid, TextIsUuidToStringA) {
  uint8_t guid[16];
  create_guid(guid);
  UUID uuid;
  std::memcpy(&uuid, guid, sizeof uuid);  // a GUID's bytes as they lie in memory
  RPC_CSTR text = nullptr;
  ASSERT_EQ(::UuidToStringA(&uuid, &text), RPC_S_OK);
  EXPECT_EQ(guid_to_string(guid), reinterpret_cast<const char*>(text));
  ::RpcStringFreeA(&text);
  EXPECT_EQ(guid[7] >> 4, 4);
  EXPECT_EQ(guid[8] >> 6, 2);
}

}  // namespace
}  // namespace vendrel::platform
