// GUIDs and the machine facts of the log header.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "platform/platform.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vendrel::platform {
namespace {

TEST(PlatformGuid, StringReadsDataOneToThreeLittleEndian) {
  const uint8_t guid[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                            0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(guid_to_string(guid), "00112233-4455-6677-8899-aabbccddeeff");
  const uint8_t zero[16] = {};
  EXPECT_EQ(guid_to_string(zero), "00000000-0000-0000-0000-000000000000");
}

TEST(PlatformGuid, RandomVersionFourWithRfcVariant) {
  std::set<std::array<uint8_t, 16>> seen;
  int high_bits_of_byte_zero = 0;
  for (int i = 0; i < 2000; ++i) {
    std::array<uint8_t, 16> guid{};
    create_guid(guid.data());
    EXPECT_EQ(guid[7] >> 4, 4) << guid_to_string(guid.data());
    EXPECT_EQ(guid[8] >> 6, 2) << guid_to_string(guid.data());
    const std::string text = guid_to_string(guid.data());
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');  // the version digit starts the third group
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos) << text;
    high_bits_of_byte_zero += guid[0] >> 7;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 2000u);
  // The other bits are random, not constant.
  EXPECT_GT(high_bits_of_byte_zero, 800);
  EXPECT_LT(high_bits_of_byte_zero, 1200);
}

#if !defined(_WIN32)
// GUIDs are drawn from a pool of random bytes; a forked child must not hand
// out the GUIDs its parent still has in that pool.
TEST(PlatformGuid, AForkedChildDrawsOtherGuidsThanItsParent) {
  std::array<uint8_t, 16> first{};
  create_guid(first.data());  // the pool now holds bytes for later GUIDs
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::array<uint8_t, 16> guid{};
    create_guid(guid.data());
    const bool written = ::write(channel[1], guid.data(), guid.size()) == static_cast<ssize_t>(guid.size());
    ::_exit(written ? 0 : 1);
  }
  std::array<uint8_t, 16> parent{}, from_child{};
  create_guid(parent.data());
  ASSERT_EQ(::read(channel[0], from_child.data(), from_child.size()), static_cast<ssize_t>(from_child.size()));
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(channel[0]);
  ::close(channel[1]);
  EXPECT_NE(parent, from_child);
  EXPECT_NE(first, from_child);
}
#endif

TEST(PlatformMachine, FactsForTheLogHeader) {
  const auto module = module_path();
  ASSERT_TRUE(module.has_value());
  EXPECT_TRUE(std::filesystem::path(*module).is_absolute()) << *module;
  EXPECT_TRUE(std::filesystem::is_regular_file(*module)) << *module;

  const auto directory = current_directory();
  ASSERT_TRUE(directory.has_value());
  EXPECT_EQ(std::filesystem::path(*directory), std::filesystem::current_path());

#if !defined(_WIN32)  // on Windows these are the system's own directories
  EXPECT_EQ(system_directory(), std::optional<std::string>("/usr/lib"));
  EXPECT_FALSE(windows_directory().has_value());
#endif

  const auto name = computer_name();
  ASSERT_TRUE(name.has_value());
  EXPECT_FALSE(name->empty());
}

#if !defined(_WIN32)  // $TMPDIR is the POSIX source of the temporary directory
TEST(PlatformMachine, TempPathEndsInASeparator) {
  const char* previous = std::getenv("TMPDIR");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(temp_path(), std::optional<std::string>("/var/tmp/"));
  setenv("TMPDIR", "/scratch/", 1);
  EXPECT_EQ(temp_path(), std::optional<std::string>("/scratch/"));
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(temp_path(), std::optional<std::string>("/tmp/"));
  unsetenv("TMPDIR");
  EXPECT_EQ(temp_path(), std::optional<std::string>("/tmp/"));
  if (saved) setenv("TMPDIR", saved->c_str(), 1);
}
#endif  // !_WIN32

}  // namespace
}  // namespace vendrel::platform
