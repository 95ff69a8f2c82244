// The extended-length path rule of the Win32 platform layer: which paths get
// "\\?\" and in what form, and that directories and files deeper than the
// plain Win32 limits are really made, written, read and deleted.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "interface/eml_directory.h"
#include "platform/platform.h"
#include "platform/win32_internal.h"
#include "support/temp_dir.h"

namespace vendrel::platform {
namespace {

using test::TempDir;
using win32::directory_path_limit;
using win32::extended_path;
using win32::file_path_limit;

std::wstring current_directory_wide() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
  return std::wstring(buffer, n);
}

std::wstring wide(const std::filesystem::path& path) { return path.wstring(); }
std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// Whether Windows itself sees a directory (or a file) there, asked through
// the extended-length form so that no limit of the plain calls gets in the way.
DWORD attributes_of(const std::wstring& absolute) {
  return ::GetFileAttributesW((L"\\\\?\\" + absolute).c_str());
}

// An absolute path of exactly `length` characters: `base` and then
// components of at most 60 characters.
std::wstring path_of_length(const std::wstring& base, size_t length) {
  std::wstring path = base;
  wchar_t letter = L'a';
  while (path.size() < length) {
    const size_t remaining = length - path.size();
    if (remaining == 1) {
      path += L'x';  // never end on a separator
      break;
    }
    path += L'\\';
    path.append(std::min<size_t>(remaining - 1, 60), letter++);
  }
  return path;
}

struct PrefixCase {
  const char* name;
  std::wstring path;
  size_t limit;
  std::wstring expected;
};

class PlatformPathRule : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(PlatformPathRule, GivesTheFormTheCallsNeed) {
  const PrefixCase& c = GetParam();
  EXPECT_EQ(extended_path(c.path, c.limit), c.expected);
}

const std::wstring drive = L"C:\\data";
const std::wstring long_file = path_of_length(drive, file_path_limit + 1);
const std::wstring longest_file = path_of_length(drive, file_path_limit);
const std::wstring long_directory = path_of_length(drive, directory_path_limit + 1);
const std::wstring longest_directory = path_of_length(drive, directory_path_limit);
const std::wstring long_unc = path_of_length(L"\\\\server\\share", 300);

std::wstring slashed(std::wstring path) {
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';
  return path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformPathRule,
    ::testing::Values(
        PrefixCase{"short_file", L"C:\\data\\store.pst", file_path_limit, L"C:\\data\\store.pst"},
        PrefixCase{"file_at_the_limit", longest_file, file_path_limit, longest_file},
        PrefixCase{"file_over_the_limit", long_file, file_path_limit, L"\\\\?\\" + long_file},
        PrefixCase{"directory_at_the_limit", longest_directory, directory_path_limit, longest_directory},
        PrefixCase{"directory_over_the_limit", long_directory, directory_path_limit, L"\\\\?\\" + long_directory},
        // A directory path that a file call may still take plainly.
        PrefixCase{"directory_length_under_the_file_limit", long_directory, file_path_limit, long_directory},
        // The prefix stops all parsing: "/" and ".." are resolved before it.
        PrefixCase{"slashes_and_dots_resolved", slashed(long_file) + L"/sub/../x.eml", file_path_limit,
                   L"\\\\?\\" + long_file + L"\\x.eml"},
        PrefixCase{"network_path", long_unc, file_path_limit, L"\\\\?\\UNC\\" + long_unc.substr(2)},
        PrefixCase{"prefixed_path_kept", L"\\\\?\\C:\\data\\x.pst", file_path_limit, L"\\\\?\\C:\\data\\x.pst"},
        PrefixCase{"prefixed_path_gets_backslashes", L"\\\\?\\C:\\data/sub/x.pst", file_path_limit,
                   L"\\\\?\\C:\\data\\sub\\x.pst"},
        // The library itself prefixes long directories as the host gave
        // them: "." and ".." there are resolved, the prefix stays.
        PrefixCase{"prefixed_path_with_dots_resolved", L"\\\\?\\C:\\out\\..\\Mail\\.\\x.eml", file_path_limit,
                   L"\\\\?\\C:\\Mail\\x.eml"},
        PrefixCase{"prefixed_network_path_with_dots_resolved", L"\\\\?\\UNC\\server\\share\\a\\..\\x",
                   file_path_limit, L"\\\\?\\UNC\\server\\share\\x"},
        PrefixCase{"prefixed_network_path_kept", L"\\\\?\\UNC\\server\\share\\x", file_path_limit,
                   L"\\\\?\\UNC\\server\\share\\x"},
        PrefixCase{"device_path_kept", L"\\\\.\\pipe\\vendrel", file_path_limit, L"\\\\.\\pipe\\vendrel"},
        // "\\?\" before a relative path names nothing; the relative path is meant.
        PrefixCase{"prefixed_relative_path", L"\\\\?\\Inbox\\2024", directory_path_limit, L"Inbox\\2024"},
        PrefixCase{"nul_ends_the_path", std::wstring(L"C:\\a.pst\0C:\\b.pst", 17), file_path_limit, L"C:\\a.pst"},
        PrefixCase{"empty", L"", file_path_limit, L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformPathRule, RelativePathsCountWithTheCurrentDirectory) {
  const std::wstring cwd = current_directory_wide();
  ASSERT_LT(cwd.size(), 200u);
  // Short as written, over the limit once the current directory is in front.
  const std::wstring relative(directory_path_limit + 1 - cwd.size(), L'r');
  const std::wstring absolute = cwd + (cwd.back() == L'\\' ? L"" : L"\\") + relative;
  ASSERT_GT(absolute.size(), directory_path_limit);
  EXPECT_EQ(extended_path(relative, directory_path_limit), L"\\\\?\\" + absolute);
  EXPECT_EQ(extended_path(L"\\\\?\\" + relative, directory_path_limit), L"\\\\?\\" + absolute);
  EXPECT_EQ(extended_path(L"short", directory_path_limit), L"short");
}

// A tree of directories deeper than MAX_PATH, made one level at a time as
// the EML directory walk does, then a file in it: every call of the layer
// must reach the same objects that Windows sees through "\\?\".
TEST(PlatformLongPaths, DirectoriesAndFilesBeyondMaxPath) {
  TempDir dir;
  const std::wstring base = wide(dir.path());
  const std::wstring deep = path_of_length(base, 320);
  ASSERT_GT(deep.size(), file_path_limit);

  size_t next = base.size();
  while ((next = deep.find(L'\\', next + 1)) != std::wstring::npos) {
    const std::wstring level = deep.substr(0, next);
    if (level.size() <= base.size()) continue;
    ASSERT_TRUE(create_directory(u16(level))) << level.size() << " characters, error " << last_error();
  }
  ASSERT_TRUE(create_directory(u16(deep))) << last_error();
  EXPECT_EQ(attributes_of(deep) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(file_attributes(u16(deep)) & attribute_directory, attribute_directory);
  EXPECT_FALSE(create_directory(u16(deep)));
  EXPECT_EQ(last_error(), error::already_exists);

  const std::wstring file = deep + L"\\message.eml";
  file_handle handle = open_file(u16(file), access::write, share::write, creation::create_always, file_flag::normal);
  ASSERT_NE(handle, invalid_file) << last_error();
  uint32_t written = 0;
  ASSERT_TRUE(write_file(handle, "Subject: deep\r\n", 15, &written));
  ASSERT_TRUE(close_file(handle));
  EXPECT_NE(attributes_of(file), INVALID_FILE_ATTRIBUTES);

  // Read back through a relative spelling with "/" and "..", which the
  // prefix alone could not take.
  std::wstring twisted = file;
  for (wchar_t& c : twisted)
    if (c == L'\\') c = L'/';
  twisted.insert(deep.size(), L"/extra/..");
  handle = open_file(u16(twisted), access::read, share::read | share::write, creation::open_existing, 0);
  ASSERT_NE(handle, invalid_file) << last_error();
  char buffer[32] = {};
  uint32_t got = 0;
  ASSERT_TRUE(read_file(handle, buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "Subject: deep\r\n");
  ASSERT_TRUE(close_file(handle));

  EXPECT_TRUE(delete_file(u16(file))) << last_error();
  EXPECT_EQ(attributes_of(file), INVALID_FILE_ATTRIBUTES);
}

TEST(PlatformLongPaths, NarrowPathsBeyondMaxPath) {
  TempDir dir;
  std::string path = dir.path().string();
  for (int i = 0; i < 5; ++i) {
    path += "\\" + std::string(55, static_cast<char>('k' + i));
    ASSERT_TRUE(create_directory(u16(std::wstring(path.begin(), path.end())))) << last_error();
  }
  path += "\\log.txt";
  ASSERT_GT(path.size(), file_path_limit);
  file_handle handle = open_file_narrow(path, access::write, share::read | share::write, creation::open_always, 0);
  ASSERT_NE(handle, invalid_file) << last_error();
  ASSERT_TRUE(close_file(handle));
  EXPECT_NE(attributes_of(std::wstring(path.begin(), path.end())), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(delete_file_narrow(path)) << last_error();
}

// The EML directory walk of the interface layer puts "\\?\" in front of any
// path over 247 characters, absolute or relative; both must end up as the
// directory that was asked for.
TEST(PlatformLongPaths, EmlDirectoryWalkCreatesLongPaths) {
  TempDir dir;
  const std::wstring absolute = path_of_length(wide(dir.path()) + L"\\Mail", 300);
  ASSERT_TRUE(create_eml_directory(u16(absolute)));
  EXPECT_EQ(attributes_of(absolute) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  // With ".." on the way, which the prefix would otherwise turn into a name.
  const std::wstring dotted_tail = path_of_length(L"Dotted", 260);
  ASSERT_TRUE(create_eml_directory(u16(wide(dir.path()) + L"\\Mail\\..\\" + dotted_tail)));
  EXPECT_EQ(attributes_of(wide(dir.path()) + L"\\" + dotted_tail) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  // Relative to the current directory, as a host may give it.
  const std::wstring cwd = current_directory_wide();
  ASSERT_TRUE(::SetCurrentDirectoryW(wide(dir.path()).c_str()));
  const std::wstring relative = path_of_length(L"Relative", 260);
  const bool made = create_eml_directory(u16(relative));
  ::SetCurrentDirectoryW(cwd.c_str());
  ASSERT_TRUE(made);
  EXPECT_EQ(attributes_of(wide(dir.path()) + L"\\" + relative) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// Wide names reach the file system as the UTF-16 they are, and narrow ones
// are read in the ANSI code page (as CreateFileA reads them).
TEST(PlatformWin32Names, WideAndNarrowNamesAreWhatWindowsSees) {
  TempDir dir;
  const std::wstring name = L"Gr\u00FC\u00DFe \u65E5\u672C \U0001F4E7.pst";
  const std::wstring path = wide(dir.path()) + L"\\" + name;
  file_handle handle = open_file(u16(path), access::write, share::none, creation::create_new, 0);
  ASSERT_NE(handle, invalid_file) << last_error();
  ASSERT_TRUE(close_file(handle));
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((wide(dir.path()) + L"\\*.pst").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::wstring(found.cFileName), name);
  ::FindClose(search);

  const std::wstring accented = L"caf\u00E9.log";
  char narrow[MAX_PATH] = {};
  BOOL lossy = FALSE;
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, accented.c_str(), -1, narrow, sizeof narrow, nullptr, &lossy);
  if (lossy) GTEST_SKIP() << "the ANSI code page " << ::GetACP() << " has no \u00E9";
  handle = open_file_narrow(dir.path().string() + "\\" + narrow, access::write, share::none, creation::create_new, 0);
  ASSERT_NE(handle, invalid_file) << last_error();
  ASSERT_TRUE(close_file(handle));
  EXPECT_NE(attributes_of(wide(dir.path()) + L"\\" + accented), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace vendrel::platform
