#include "common/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace vendrel {
namespace {

using test::read_file_text;
using test::TempDir;

// The time the test logs see; set by each test.
platform::system_time g_now;

platform::system_time test_clock() { return g_now; }

platform::system_time at(uint16_t hour, uint16_t minute, uint16_t second, uint16_t day = 9) {
  platform::system_time time;
  time.year = 2024;
  time.month = 12;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// True when `text` has the shape of `pattern`, where '9' stands for a digit,
// 'A' for an upper-case and 'a' for a lower-case letter, '#' for a blank or
// a digit; other characters stand for themselves.
bool has_shape(const std::string& text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool digit = c >= '0' && c <= '9';
    switch (pattern[i]) {
      case '9': if (!digit) return false; break;
      case 'A': if (c < 'A' || c > 'Z') return false; break;
      case 'a': if (c < 'a' || c > 'z') return false; break;
      case '#': if (!digit && c != ' ') return false; break;
      default: if (c != pattern[i]) return false;
    }
  }
  return true;
}

bool is_stamp(const std::string& line) { return has_shape(line, "[99:99:99]"); }

std::vector<std::string> without_stamps(const std::string& text) {
  std::vector<std::string> lines;
  for (auto& line : split_lines(text))
    if (!is_stamp(line)) lines.push_back(line);
  return lines;
}

// A log of its own on a file in a fresh directory, driven by test_clock.
class LogFile : public ::testing::Test {
 protected:
  LogFile() {
    g_now = at(10, 4, 59);
    log.set_clock(test_clock);
  }
  std::string path(const std::string& name = "test.log") const { return (dir / name).string(); }
  std::string content(const std::string& name = "test.log") const {
    return read_file_text(dir / name);
  }

  TempDir dir;
  QmLog log;
};

TEST_F(LogFile, StampLineStandsBeforeTheFirstLineOfEachNewSecond) {
  log.open(path(), true);
  log.write_line("[PST] delete attaches");
  log.write_line("[PST] delete binded props");
  g_now = at(10, 5, 0);
  log.write_line("next second");
  g_now = at(11, 5, 0);  // only the hour differs
  log.write_line("next hour");
  g_now = at(11, 6, 0);  // only the minute differs
  log.write_line("next minute");
  g_now = at(11, 6, 0, 10);  // another day, same time of day: no stamp
  log.write_line("same clock time");
  EXPECT_EQ(content(),
            "[10:04:59]\n"
            "[PST] delete attaches\n"
            "[PST] delete binded props\n"
            "[10:05:00]\n"
            "next second\n"
            "[11:05:00]\n"
            "next hour\n"
            "[11:06:00]\n"
            "next minute\n"
            "same clock time\n");
}

TEST_F(LogFile, FirstLineGetsAStampAtAnyTime) {
  // The last stamp is primed one second back, also across a minute boundary.
  const platform::system_time times[] = {at(0, 0, 0), at(10, 4, 59), at(23, 59, 59)};
  for (const auto& time : times) {
    QmLog fresh;
    g_now = time;
    fresh.set_clock(test_clock);
    fresh.open(path("fresh.log"), true);
    fresh.write_line("first");
    char expected[64];
    std::snprintf(expected, sizeof expected, "[%02d:%02d:%02d]\nfirst\n", time.hour, time.minute,
                  time.second);
    EXPECT_EQ(content("fresh.log"), expected);
  }
}

TEST(Logger, FirstLineGetsAStampWithTheSystemClock) {
  TempDir dir;
  QmLog log;
  log.open((dir / "real.log").string(), true);
  log.write_line("hello");
  auto lines = split_lines(read_file_text(dir / "real.log"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(is_stamp(lines[0])) << lines[0];
  EXPECT_EQ(lines.back(), "hello");
}

TEST_F(LogFile, EveryLogFileStartsWithAStamp) {
  log.open(path("one.log"), true);
  log.write_line("in one");
  log.open(path("two.log"), true);  // same second
  log.write_line("in two");
  EXPECT_EQ(content("one.log"), "[10:04:59]\nin one\n");
  EXPECT_EQ(content("two.log"), "[10:04:59]\nin two\n");
}

TEST_F(LogFile, ErrorAndCodeForms) {
  struct form {
    void (*write)(QmLog&);
    const char* expected;
  };
  const form forms[] = {
      {[](QmLog& l) { l.write_error("[PST] cannot commit"); },
       "[ERROR]: [PST] cannot commit\n[PST] cannot commit\n"},
      {[](QmLog& l) { l.write_error_code("[PST] write failed", -5); },
       "[ERROR]: [PST] write failed [-5]\n"},
      {[](QmLog& l) { l.write_with_code("[QMR] folder count", 250000); },
       "[QMR] folder count [250000]\n"},
      {[](QmLog& l) { l.write_formatted("[PST] storage size = %lld", 271360LL); },
       "[PST] storage size = 271360\n"},
      {[](QmLog& l) { l.write_formatted("[CMN] %s: %d%%", "converted", 100); },
       "[CMN] converted: 100%\n"},
      // A per-cent sign in the text of the error forms is not a conversion.
      {[](QmLog& l) { l.write_error("100% %s %d"); }, "[ERROR]: 100% %s %d\n100% %s %d\n"},
  };
  for (const auto& f : forms) {
    log.open(path(), true);
    f.write(log);
    EXPECT_EQ(content(), std::string("[10:04:59]\n") + f.expected);
  }
}

TEST_F(LogFile, LongFormattedMessagesAreWrittenWhole) {
  for (size_t length : {16383u, 16384u, 16385u, 100000u}) {
    std::string text(length, 'x');
    text.back() = 'E';
    log.open(path(), true);
    log.write_formatted("<%s>", text.c_str());
    EXPECT_EQ(content(), "[10:04:59]\n<" + text + ">\n") << "length " << length;
  }
}

TEST_F(LogFile, HexDumpOfSeventeenBytes) {
  const uint8_t data[17] = {0x00, 0x01, 0x1F, 0x20, 0x41, 0x42, 0x7A, 0x7E, 0x7F,
                            0x80, 0xFF, 0x30, 0x31, 0x32, 0x0A, 0x0D, 0x5A};
  log.open(path(), true);
  log.hex_dump(data, sizeof data);
  auto lines = without_stamps(content());
  ASSERT_EQ(lines.size(), 2u);
  const std::string first =
      "00000000:  00 01 1F 20 41 42 7A 7E 7F 80 FF 30 31 32 0A 0D  | ... ABz~\x7F\x80\xFF"
      "012..";
  const std::string second =
      "00000010:  5A" + std::string(47, ' ') + "| Z" + std::string(15, ' ');
  EXPECT_EQ(first.size(), 78u);
  EXPECT_EQ(second.size(), 78u);
  EXPECT_EQ(lines[0], first);
  EXPECT_EQ(lines[1], second);
}

TEST_F(LogFile, HexDumpLineCountAndLayout) {
  std::vector<uint8_t> data(70);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x40 + i);
  for (size_t size : {1u, 15u, 16u, 17u, 32u, 33u, 70u}) {
    log.open(path(), true);
    log.hex_dump(data.data(), size);
    auto lines = without_stamps(content());
    ASSERT_EQ(lines.size(), (size + 15) / 16) << "size " << size;
    for (size_t n = 0; n < lines.size(); ++n) {
      const std::string& line = lines[n];
      ASSERT_EQ(line.size(), 78u);
      char offset[9];
      std::snprintf(offset, sizeof offset, "%08X", static_cast<unsigned>(n * 16));
      EXPECT_EQ(line.substr(0, 8), offset);
      EXPECT_EQ(line[8], ':');
      EXPECT_EQ(line[60], '|');
      size_t count = std::min<size_t>(16, size - n * 16);
      for (size_t j = 0; j < 16; ++j) {
        if (j < count) {
          uint8_t byte = data[n * 16 + j];
          char digits[3];
          std::snprintf(digits, sizeof digits, "%02X", byte);
          EXPECT_EQ(line.substr(11 + 3 * j, 2), digits);
          EXPECT_EQ(line[62 + j], static_cast<char>(byte));
        } else {
          EXPECT_EQ(line.substr(11 + 3 * j, 2), "  ");
          EXPECT_EQ(line[62 + j], ' ');
        }
      }
    }
  }
}

TEST_F(LogFile, HexDumpOfNothingAndOfANullBlock) {
  log.open(path(), true);
  log.hex_dump("abc", 0);
  EXPECT_EQ(content(), "[10:04:59]\n\n");

  log.open(path(), true);
  log.hex_dump(nullptr, 0);
  EXPECT_EQ(content(), "[10:04:59]\n\n");

  log.open(path(), true);
  log.hex_dump(nullptr, 24);
  EXPECT_EQ(content(),
            "[10:04:59]\n"
            "The binary data here seems to be an invalid memory block\n"
            "There is no way to show it, the pointer was 0x00000000\n");
}

TEST_F(LogFile, MachineInfoHeader) {
  log.open(path(), true);
  log.write_machine_info();
  const std::string rule(52, '=');
  std::vector<std::string> expected = {rule, "============== LOGGER MACHINE INFO =================",
                                       rule};
  struct fact {
    const char* label;
    std::optional<std::string> value;
  };
  const fact facts[] = {
      {"Logging output for", platform::module_path()},
      {"GetCurrentDirectory", platform::current_directory()},
      {"GetSystemDirectory", platform::system_directory()},
      {"GetWindowsDirectory", platform::windows_directory()},
      {"GetTempPath", platform::temp_path()},
      {"GetComputerName", platform::computer_name()},
  };
  for (const auto& f : facts)
    if (f.value) expected.push_back(std::string(f.label) + " [" + *f.value + "]");
  expected.push_back(rule);

  auto lines = split_lines(content());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "[10:04:59]");
  lines.erase(lines.begin());
  ASSERT_EQ(lines.size(), expected.size() + 2);
  // The build date and time of the library.
  EXPECT_TRUE(has_shape(lines[3], "__DATE__ [Aaa #9 9999]")) << lines[3];
  EXPECT_TRUE(has_shape(lines[4], "__TIME__ [99:99:99]")) << lines[4];
  lines.erase(lines.begin() + 3, lines.begin() + 5);
  EXPECT_EQ(lines, expected);
}

TEST_F(LogFile, MachineInfoLeavesOutTheWindowsDirectoryOnThisSystem) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows has a Windows directory";
#endif
  ASSERT_FALSE(platform::windows_directory().has_value());
  log.open(path(), true);
  log.write_machine_info();
  std::string text = content();
  EXPECT_EQ(text.find("GetWindowsDirectory"), std::string::npos);
  EXPECT_NE(text.find("GetTempPath ["), std::string::npos);
  EXPECT_NE(text.find("GetComputerName ["), std::string::npos);
}

TEST_F(LogFile, LoggingBeforeOpenWritesNothing) {
  log.write_line("early line");
  log.write_formatted("early %d", 1);
  log.write_error("early error");
  log.hex_dump("xyz", 3);
  EXPECT_FALSE(std::filesystem::exists(dir / "test.log"));
  log.open(path(), true);
  log.write_line("late");
  EXPECT_EQ(content(), "[10:04:59]\nlate\n");
}

TEST_F(LogFile, ReopeningAppendsAndWritesTheHeaderAgain) {
  test::write_file_bytes(dir / "test.log", "existing\n", 9);
  log.open(path(), false);
  log.write_machine_info();
  log.write_line("between");
  log.open(path(), false);
  log.write_machine_info();
  log.write_line("after");

  const std::string text = content();
  const std::string title = "============== LOGGER MACHINE INFO =================";
  EXPECT_EQ(text.rfind("existing\n", 0), 0u);
  size_t first_title = text.find(title);
  size_t between = text.find("\nbetween\n");
  size_t second_title = text.find(title, first_title + 1);
  size_t after = text.find("\nafter\n");
  ASSERT_NE(first_title, std::string::npos);
  ASSERT_NE(second_title, std::string::npos);
  EXPECT_LT(first_title, between);
  EXPECT_LT(between, second_title);
  EXPECT_LT(second_title, after);
  EXPECT_EQ(text.find(title, second_title + 1), std::string::npos);
  EXPECT_EQ(text.substr(after), "\nafter\n");
}

TEST_F(LogFile, TruncatingOpenDiscardsTheOldContent) {
  test::write_file_bytes(dir / "test.log", "old content\n", 12);
  log.open(path(), true);
  log.write_line("new");
  EXPECT_EQ(content(), "[10:04:59]\nnew\n");
}

TEST_F(LogFile, UnopenablePathIsSilent) {
  std::string missing = (dir / "no such directory" / "test.log").string();
  EXPECT_TRUE(log.open(missing, false));
  log.write_machine_info();
  log.write_line("lost");
  log.write_formatted("lost %s", "too");
  log.hex_dump("abc", 3);
  EXPECT_FALSE(std::filesystem::exists(missing));
  // The log works again once a good path is named.
  log.open(path(), true);
  log.write_line("found");
  EXPECT_EQ(content(), "[10:04:59]\nfound\n");
}

TEST_F(LogFile, CloseStopsWriting) {
  log.open(path(), true);
  log.write_line("kept");
  log.close();
  log.write_line("dropped");
  log.close();  // closing twice is harmless
  EXPECT_EQ(content(), "[10:04:59]\nkept\n");
}

TEST_F(LogFile, ConcurrentWritersLoseNothing) {
  log.open(path(), true);
  constexpr int threads = 4, per_thread = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < per_thread; ++i) {
        if (i % 2 == 0)
          log.write_formatted("<%d:%d>", t, i);
        else
          log.write_line("<" + std::to_string(t) + ":" + std::to_string(i) + ">");
      }
    });
  }
  for (auto& w : writers) w.join();
  std::string text = content();
  // Text and line feed are separate writes, so lines of different threads
  // may interleave; every message and every line feed is there exactly once.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), threads * per_thread + 1);
  for (int t = 0; t < threads; ++t) {
    for (int i = 0; i < per_thread; ++i) {
      std::string token = "<" + std::to_string(t) + ":" + std::to_string(i) + ">";
      size_t first = text.find(token);
      ASSERT_NE(first, std::string::npos) << token;
      EXPECT_EQ(text.find(token, first + 1), std::string::npos) << token;
    }
  }
}

TEST(LibraryLogger, IsOneInstanceThatLogsToTheNamedFile) {
  TempDir dir;
  Logger& first = logger();
  EXPECT_EQ(&first, &logger());
  std::string path = (dir / "library.log").string();
  logger().open(path, false);
  logger().write_machine_info();
  logger().write_line("[PST] library line");
  logger().close();
  logger().write_line("after close");
  std::string text = read_file_text(dir / "library.log");
  EXPECT_NE(text.find("============== LOGGER MACHINE INFO ================="), std::string::npos);
  EXPECT_NE(text.find("\n[PST] library line\n"), std::string::npos);
  EXPECT_EQ(text.find("after close"), std::string::npos);
  EXPECT_TRUE(is_stamp(split_lines(text)[0]));
}

}  // namespace
}  // namespace vendrel
