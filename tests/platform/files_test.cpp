// Files through the platform layer, on real files in a temporary directory.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace vendrel::platform {
namespace {

using test::TempDir;
using test::utf16;

constexpr uint32_t read_write = access::read | access::write;
constexpr uint32_t share_all = share::read | share::write;

std::u16string wide(const std::filesystem::path& path) { return utf16(path.string()); }

// Closes the handle when the test ends, whatever happens.
class Handle {
 public:
  explicit Handle(file_handle handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != invalid_file) close_file(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  file_handle get() const { return handle_; }
  bool valid() const { return handle_ != invalid_file; }
  bool close() {
    bool ok = close_file(handle_);
    handle_ = invalid_file;
    return ok;
  }

 private:
  file_handle handle_;
};

bool write_text(file_handle handle, std::string_view text) {
  uint32_t written = 0;
  return write_file(handle, text.data(), static_cast<uint32_t>(text.size()), &written) &&
         written == text.size();
}

std::string read_all(file_handle handle, uint32_t max = 4096) {
  std::string text(max, '\0');
  uint32_t got = 0;
  if (!read_file(handle, text.data(), max, &got)) return "<read failed>";
  text.resize(got);
  return text;
}

TEST(PlatformFiles, WriteSeekReadSizeAndTruncate) {
  TempDir dir;
  Handle file(open_file(wide(dir / "data.bin"), read_write, share::none, creation::create_always,
                        file_flag::random_access));
  ASSERT_TRUE(file.valid()) << last_error();
  EXPECT_EQ(last_error(), error::success);  // a new file

  ASSERT_TRUE(write_text(file.get(), "hello, world"));
  uint64_t size = 0, position = 99;
  ASSERT_TRUE(file_size(file.get(), &size));
  EXPECT_EQ(size, 12u);

  ASSERT_TRUE(seek_file(file.get(), 7, seek_origin::begin, &position));
  EXPECT_EQ(position, 7u);
  EXPECT_EQ(read_all(file.get()), "world");  // short read at the end succeeds
  ASSERT_TRUE(seek_file(file.get(), -5, seek_origin::end, &position));
  EXPECT_EQ(position, 7u);
  ASSERT_TRUE(seek_file(file.get(), -2, seek_origin::current, &position));
  EXPECT_EQ(position, 5u);
  ASSERT_TRUE(write_text(file.get(), ";"));
  ASSERT_TRUE(seek_file(file.get(), 0, seek_origin::current, &position));
  EXPECT_EQ(position, 6u);  // writes advance the position

  ASSERT_TRUE(seek_file(file.get(), 5, seek_origin::begin, nullptr));
  ASSERT_TRUE(set_end_of_file(file.get()));
  ASSERT_TRUE(file_size(file.get(), &size));
  EXPECT_EQ(size, 5u);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(test::read_file_text(dir / "data.bin"), "hello");
}

TEST(PlatformFiles, ReadAtEndOfFileTransfersNothingAndSucceeds) {
  TempDir dir;
  test::write_file_bytes(dir / "two", "ab", 2);
  Handle file(open_file(wide(dir / "two"), access::read, share_all, creation::open_existing, 0));
  ASSERT_TRUE(file.valid());
  char buffer[8];
  uint32_t got = 99;
  set_last_error(error::access_denied);  // an older error must not show through
  ASSERT_TRUE(read_file(file.get(), buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(last_error(), error::success);
  ASSERT_TRUE(read_file(file.get(), buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
}

TEST(PlatformFiles, PositionsBeyondFourGibibytes) {
  TempDir dir;
  Handle file(open_file(wide(dir / "big.bin"), read_write, share::none, creation::create_new, 0));
  ASSERT_TRUE(file.valid());
  const uint64_t far = (uint64_t{5} << 30) + 3;  // sparse: nothing below is written
  uint64_t position = 0;
  ASSERT_TRUE(seek_file(file.get(), static_cast<int64_t>(far), seek_origin::begin, &position));
  EXPECT_EQ(position, far);
  ASSERT_TRUE(write_text(file.get(), "Z"));
  uint64_t size = 0;
  ASSERT_TRUE(file_size(file.get(), &size));
  EXPECT_EQ(size, far + 1);
  ASSERT_TRUE(seek_file(file.get(), -1, seek_origin::end, &position));
  EXPECT_EQ(position, far);
  EXPECT_EQ(read_all(file.get()), "Z");
}

TEST(PlatformFiles, SeekBeforeStartFails) {
  TempDir dir;
  Handle file(open_file(wide(dir / "f"), read_write, share::none, creation::create_new, 0));
  ASSERT_TRUE(file.valid());
  EXPECT_FALSE(seek_file(file.get(), -1, seek_origin::begin, nullptr));
  EXPECT_EQ(last_error(), error::negative_seek);
  uint64_t position = 99;
  ASSERT_TRUE(seek_file(file.get(), 0, seek_origin::current, &position));
  EXPECT_EQ(position, 0u);  // unchanged
}

// What each creation disposition does with a missing and with an existing file.
struct DispositionCase {
  const char* name;
  uint32_t disposition;
  bool opens_missing;       // success on a missing file (and creates it)
  bool opens_existing;      // success on an existing file
  bool truncates;           // an existing file's content is gone
  uint32_t missing_error;   // last_error after the missing-file attempt
  uint32_t existing_error;  // last_error after the existing-file attempt
};

class PlatformDisposition : public ::testing::TestWithParam<DispositionCase> {};

TEST_P(PlatformDisposition, OnMissingAndExistingFile) {
  const DispositionCase& c = GetParam();
  TempDir dir;
  {
    Handle file(open_file(wide(dir / "missing"), read_write, share::none, c.disposition, 0));
    EXPECT_EQ(file.valid(), c.opens_missing);
    EXPECT_EQ(last_error(), c.missing_error);
    EXPECT_EQ(std::filesystem::exists(dir / "missing"), c.opens_missing);
  }
  test::write_file_bytes(dir / "existing", "old content", 11);
  {
    Handle file(open_file(wide(dir / "existing"), read_write, share::none, c.disposition, 0));
    EXPECT_EQ(file.valid(), c.opens_existing);
    EXPECT_EQ(last_error(), c.existing_error);
  }
  EXPECT_EQ(test::read_file_text(dir / "existing"), c.truncates ? "" : "old content");
}

INSTANTIATE_TEST_SUITE_P(
    All, PlatformDisposition,
    ::testing::Values(
        DispositionCase{"create_new", creation::create_new, true, false, false, error::success, error::file_exists},
        DispositionCase{"create_always", creation::create_always, true, true, true, error::success,
                        error::already_exists},
        DispositionCase{"open_existing", creation::open_existing, false, true, false, error::file_not_found,
                        error::success},
        DispositionCase{"open_always", creation::open_always, true, true, false, error::success,
                        error::already_exists},
        DispositionCase{"truncate_existing", creation::truncate_existing, false, true, true,
                        error::file_not_found, error::success}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformFiles, CreateAlwaysWithReadAccessStillTruncates) {
  TempDir dir;
  test::write_file_bytes(dir / "f", "content", 7);
  Handle file(open_file(wide(dir / "f"), access::read, share::none, creation::create_always, 0));
  ASSERT_TRUE(file.valid());
  uint64_t size = 99;
  ASSERT_TRUE(file_size(file.get(), &size));
  EXPECT_EQ(size, 0u);
}

TEST(PlatformFiles, InvalidDispositionIsRejected) {
  TempDir dir;
  for (uint32_t disposition : {0u, 6u}) {
    EXPECT_EQ(open_file(wide(dir / "f"), read_write, share::none, disposition, 0), invalid_file);
    EXPECT_EQ(last_error(), error::invalid_parameter);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(PlatformFiles, MissingFileAndMissingDirectoryAreTold) {
  TempDir dir;
  EXPECT_EQ(open_file(wide(dir / "nothing.pst"), access::read, share_all, creation::open_existing, 0),
            invalid_file);
  EXPECT_EQ(last_error(), error::file_not_found);
  EXPECT_EQ(open_file(wide(dir / "no-dir" / "x.pst"), access::read, share_all, creation::open_existing, 0),
            invalid_file);
  EXPECT_EQ(last_error(), error::path_not_found);
  EXPECT_EQ(open_file(wide(dir / "no-dir" / "x.pst"), read_write, share::none, creation::create_always, 0),
            invalid_file);
  EXPECT_EQ(last_error(), error::path_not_found);
  EXPECT_EQ(open_file_narrow((dir / "no-dir" / "x.log").string(), access::write, share_all,
                             creation::open_always, 0),
            invalid_file);
  EXPECT_EQ(last_error(), error::path_not_found);
  EXPECT_EQ(open_file(u"", access::read, share_all, creation::open_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::path_not_found);
}

TEST(PlatformFiles, DirectoryCannotBeOpenedAsFile) {
  TempDir dir;
  EXPECT_EQ(open_file(wide(dir.path()), access::read, share_all, creation::open_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::access_denied);
  EXPECT_EQ(open_file(wide(dir.path()), read_write, share_all, creation::open_always, 0), invalid_file);
  EXPECT_EQ(last_error(), error::access_denied);
}

TEST(PlatformFiles, ExclusiveHandleKeepsOthersOut) {
  TempDir dir;
  const auto path = wide(dir / "store.pst");
  Handle owner(open_file(path, read_write, share::none, creation::create_always, 0));
  ASSERT_TRUE(owner.valid());
  ASSERT_TRUE(write_text(owner.get(), "committed"));

  EXPECT_EQ(open_file(path, access::read, share_all, creation::open_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::sharing_violation);
  EXPECT_EQ(open_file_narrow((dir / "store.pst").string(), access::write, share_all, creation::open_always, 0),
            invalid_file);
  EXPECT_EQ(last_error(), error::sharing_violation);
  // Creating over it must fail without emptying the owner's file.
  EXPECT_EQ(open_file(path, read_write, share::none, creation::create_always, 0), invalid_file);
  EXPECT_EQ(last_error(), error::sharing_violation);
  EXPECT_EQ(open_file(path, read_write, share::none, creation::truncate_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::sharing_violation);
  // Nor can it be deleted while held.
  EXPECT_FALSE(delete_file(path));
  EXPECT_EQ(last_error(), error::sharing_violation);
  EXPECT_TRUE(std::filesystem::exists(dir / "store.pst"));

  ASSERT_TRUE(owner.close());
  // Read once the owner is gone: on Windows the exclusive handle keeps any
  // other reader out, the test's own as well.
  EXPECT_EQ(test::read_file_text(dir / "store.pst"), "committed");
  Handle reader(open_file(path, access::read, share_all, creation::open_existing, 0));
  EXPECT_TRUE(reader.valid());
}

TEST(PlatformFiles, SharedHandlesCoexistButExcludeAnExclusiveOne) {
  TempDir dir;
  const auto path = wide(dir / "log.txt");
  Handle first(open_file(path, access::write, share_all, creation::open_always, 0));
  Handle second(open_file(path, access::read, share_all, creation::open_existing, 0));
  ASSERT_TRUE(first.valid());
  ASSERT_TRUE(second.valid());
  ASSERT_TRUE(write_text(first.get(), "line"));
  EXPECT_EQ(read_all(second.get()), "line");
  EXPECT_EQ(open_file(path, read_write, share::none, creation::open_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::sharing_violation);
}

TEST(PlatformFiles, AccessNotGrantedIsDenied) {
  TempDir dir;
  test::write_file_bytes(dir / "f", "abc", 3);
  const auto path = wide(dir / "f");
  {
    Handle reader(open_file(path, access::read, share_all, creation::open_existing, 0));
    ASSERT_TRUE(reader.valid());
    uint32_t written = 99;
    EXPECT_FALSE(write_file(reader.get(), "x", 1, &written));
    EXPECT_EQ(last_error(), error::access_denied);
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(set_end_of_file(reader.get()));
    EXPECT_EQ(last_error(), error::access_denied);
  }
  {
    Handle writer(open_file(path, access::write, share_all, creation::open_existing, 0));
    ASSERT_TRUE(writer.valid());
    char buffer[4];
    uint32_t got = 99;
    EXPECT_FALSE(read_file(writer.get(), buffer, sizeof buffer, &got));
    EXPECT_EQ(last_error(), error::access_denied);
  }
  // Truncating needs write access.
  EXPECT_EQ(open_file(path, access::read, share_all, creation::truncate_existing, 0), invalid_file);
  EXPECT_EQ(last_error(), error::invalid_parameter);
  EXPECT_EQ(test::read_file_text(dir / "f"), "abc");
}

TEST(PlatformFiles, InvalidHandleIsTold) {
  char buffer[4];
  uint32_t count = 0;
  uint64_t value = 0;
  file_times times;
  EXPECT_FALSE(read_file(invalid_file, buffer, 4, &count));
  EXPECT_EQ(last_error(), error::invalid_handle);
  EXPECT_FALSE(write_file(invalid_file, buffer, 4, &count));
  EXPECT_EQ(last_error(), error::invalid_handle);
  EXPECT_FALSE(seek_file(invalid_file, 0, seek_origin::begin, &value));
  EXPECT_EQ(last_error(), error::invalid_handle);
  EXPECT_FALSE(file_size(invalid_file, &value));
  EXPECT_EQ(last_error(), error::invalid_handle);
  EXPECT_FALSE(get_file_times(invalid_file, &times));
  EXPECT_EQ(last_error(), error::invalid_handle);
  EXPECT_FALSE(close_file(invalid_file));
  EXPECT_EQ(last_error(), error::invalid_handle);

  TempDir dir;
  file_handle closed = open_file(wide(dir / "f"), read_write, share::none, creation::create_new, 0);
  ASSERT_NE(closed, invalid_file);
  ASSERT_TRUE(close_file(closed));
  EXPECT_FALSE(write_file(closed, "x", 1, &count));
  EXPECT_EQ(last_error(), error::invalid_handle);
}

#if !defined(_WIN32)  // the POSIX spelling of names (UTF-8, U+FFFD for a lone surrogate); Windows takes UTF-16 as given
TEST(PlatformFiles, WidePathsAreUtf8OnDisk) {
  TempDir dir;
  const std::string name = "Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xA7.pst";  // with a pair
  Handle file(open_file(wide(dir.path()) + u"/" + utf16(name), read_write, share::none, creation::create_new, 0));
  ASSERT_TRUE(file.valid());
  EXPECT_TRUE(std::filesystem::exists(dir.path() / name));
}

TEST(PlatformFiles, UnpairedSurrogateInPathStillNamesOneFile) {
  TempDir dir;
  const std::u16string path = wide(dir.path()) + u"/bad\xD800name";
  {
    Handle file(open_file(path, read_write, share::none, creation::create_new, 0));
    ASSERT_TRUE(file.valid());
    ASSERT_TRUE(write_text(file.get(), "kept"));
  }
  {
    Handle again(open_file(path, access::read, share_all, creation::open_existing, 0));
    ASSERT_TRUE(again.valid());
    EXPECT_EQ(read_all(again.get()), "kept");
  }
  EXPECT_EQ(file_attributes(path), attribute_normal);
  EXPECT_TRUE(delete_file(path));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
#endif  // !_WIN32

TEST(PlatformFiles, BackslashesAreSeparators) {
  TempDir dir;
  ASSERT_TRUE(create_directory(wide(dir.path()) + u"\\folder"));
  const std::u16string path = wide(dir.path()) + u"\\folder\\item.eml";
  {
    Handle file(open_file(path, access::write, share::write, creation::create_always, file_flag::normal));
    ASSERT_TRUE(file.valid());
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "folder" / "item.eml"));
  EXPECT_TRUE(delete_file_narrow((dir.path() / "folder").string() + "\\item.eml"));
  EXPECT_FALSE(std::filesystem::exists(dir / "folder" / "item.eml"));
}

TEST(PlatformFiles, DirectoriesAndAttributes) {
  TempDir dir;
  const auto folder = wide(dir / "folder");
  EXPECT_EQ(file_attributes(folder), invalid_file_attributes);
  EXPECT_EQ(last_error(), error::file_not_found);
  ASSERT_TRUE(create_directory(folder));
  EXPECT_EQ(file_attributes(folder), attribute_directory);
  EXPECT_FALSE(create_directory(folder));
  EXPECT_EQ(last_error(), error::already_exists);

  test::write_file_bytes(dir / "file", "x", 1);
#if defined(_WIN32)
  // Windows' own bits: a new file is marked for archiving, never a directory.
  EXPECT_EQ(file_attributes(wide(dir / "file")) & attribute_directory, 0u);
  EXPECT_NE(file_attributes(wide(dir / "file")), invalid_file_attributes);
#else
  EXPECT_EQ(file_attributes(wide(dir / "file")), attribute_normal);
#endif
  EXPECT_FALSE(create_directory(wide(dir / "file")));
  EXPECT_EQ(last_error(), error::already_exists);

  // A missing parent is not created: the caller walks up itself.
  EXPECT_FALSE(create_directory(wide(dir / "a" / "b")));
  EXPECT_EQ(last_error(), error::path_not_found);
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));
  EXPECT_EQ(file_attributes(wide(dir / "a" / "b")), invalid_file_attributes);
  EXPECT_EQ(last_error(), error::path_not_found);
}

TEST(PlatformFiles, DeleteFile) {
  TempDir dir;
  test::write_file_bytes(dir / "f", "x", 1);
  EXPECT_TRUE(delete_file(wide(dir / "f")));
  EXPECT_FALSE(std::filesystem::exists(dir / "f"));
  EXPECT_FALSE(delete_file(wide(dir / "f")));
  EXPECT_EQ(last_error(), error::file_not_found);
  EXPECT_FALSE(delete_file_narrow((dir / "none" / "f").string()));
  EXPECT_EQ(last_error(), error::path_not_found);
  ASSERT_TRUE(create_directory(wide(dir / "sub")));
  EXPECT_FALSE(delete_file(wide(dir / "sub")));
  EXPECT_EQ(last_error(), error::access_denied);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
}

TEST(PlatformFiles, FileTimesAreFiletimesOfNow) {
  TempDir dir;
  // File systems stamp with a coarse clock; allow for it on both sides.
  constexpr uint64_t slack = 2 * 10'000'000ull;
  const uint64_t before = system_time_as_filetime();
  Handle file(open_file(wide(dir / "f"), read_write, share::none, creation::create_new, 0));
  ASSERT_TRUE(file.valid());
  ASSERT_TRUE(write_text(file.get(), "x"));
  file_times times;
  ASSERT_TRUE(get_file_times(file.get(), &times));
  const uint64_t after = system_time_as_filetime();
  for (uint64_t value : {times.creation, times.last_access, times.last_write}) {
    EXPECT_GE(value + slack, before);
    EXPECT_LE(value, after + slack);
  }
}

TEST(PlatformFiles, NullBufferWithCountIsInvalid) {
  TempDir dir;
  Handle file(open_file(wide(dir / "f"), read_write, share::none, creation::create_new, 0));
  ASSERT_TRUE(file.valid());
  uint32_t count = 0;
  EXPECT_FALSE(write_file(file.get(), nullptr, 4, &count));
  EXPECT_EQ(last_error(), error::invalid_parameter);
  EXPECT_TRUE(write_file(file.get(), nullptr, 0, &count));
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace vendrel::platform
