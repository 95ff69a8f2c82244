#include "common/file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "support/temp_dir.h"

namespace vendrel {
namespace {

using test::read_file_bytes;
using test::TempDir;
using test::utf16;

constexpr uint32_t read_write = platform::access::read | platform::access::write;

std::u16string wide(const std::filesystem::path& path) { return utf16(path.string()); }

std::vector<uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::string read_string(IFile& file, uint32_t count) {
  std::string out(count, '\0');
  out.resize(file.read(out.data(), count));
  return out;
}

// ---------------------------------------------------------------- real files

TEST(FileOnDisk, WriteReadBackSizeAndSeekModes) {
  TempDir dir;
  auto file = CMyFile::create_for_writing(wide(dir / "data.bin"));
  ASSERT_TRUE(file->is_open());
  EXPECT_EQ(file->size(), 0u);
  file->write("hello world", 11);
  EXPECT_EQ(file->size(), 11u);
  file->write_at(20, "tail", 4);  // past the end: the gap reads as zeros
  EXPECT_EQ(file->size(), 24u);

  file->seek(6);
  EXPECT_EQ(read_string(*file, 5), "world");
  file->seek(0);
  EXPECT_EQ(read_string(*file, 2), "he");
  file->seek(2, 1);  // from the current position
  EXPECT_EQ(read_string(*file, 3), "o w");
  file->seek(20);
  EXPECT_EQ(read_string(*file, 10), "tail");  // short read at the end

  char buffer[8];
  file->read_at(2, buffer, 3);
  EXPECT_EQ(std::string(buffer, 3), "llo");
  EXPECT_THROW(file->read_at(22, buffer, 8), qm_crf_error);  // only 2 bytes there

  auto expected = bytes_of("hello world");
  expected.resize(20, 0);
  for (char c : std::string("tail")) expected.push_back(static_cast<uint8_t>(c));
  file.reset();  // the writer holds the file exclusively (on Windows, against readers too)
  EXPECT_EQ(read_file_bytes(dir / "data.bin"), expected);
}

TEST(FileOnDisk, CreateTruncatesAnExistingFile) {
  TempDir dir;
  test::write_file_bytes(dir / "old.bin", "previous content", 16);
  auto file = CMyFile::create_for_writing(wide(dir / "old.bin"));
  EXPECT_EQ(file->size(), 0u);
}

TEST(FileOnDisk, WriteAndSetEndCutsTheFileAfterTheWrittenBytes) {
  TempDir dir;
  auto file = CMyFile::create_for_writing(wide(dir / "cut.bin"));
  std::vector<uint8_t> block(100, 0xAB);
  file->write(block.data(), 100);
  file->seek(10);
  file->write_and_set_end("xy", 2);
  EXPECT_EQ(file->size(), 12u);
  // It also grows the file.
  file->seek(40);
  file->write_and_set_end("z", 1);
  EXPECT_EQ(file->size(), 41u);

  std::vector<uint8_t> expected(10, 0xAB);
  expected.push_back('x');
  expected.push_back('y');
  expected.resize(40, 0);
  expected.push_back('z');
  file.reset();  // the writer holds the file exclusively (on Windows, against readers too)
  EXPECT_EQ(read_file_bytes(dir / "cut.bin"), expected);
}

TEST(FileOnDisk, OpenForReadingReadsWhatWasWritten) {
  TempDir dir;
  test::write_file_bytes(dir / "in.bin", "0123456789", 10);
  auto file = CMyFile::open_for_reading(wide(dir / "in.bin"));
  ASSERT_TRUE(file->is_open());
  EXPECT_EQ(file->size(), 10u);
  char buffer[4];
  file->read_at(6, buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  // Opened for reading only: a write fails.
  EXPECT_THROW(file->write_at(0, "x", 1), qm_cwf_error);
}

TEST(FileOnDisk, TimesAreLocalFileTimesOfNow) {
  TempDir dir;
  auto file = CMyFile::create_for_writing(wide(dir / "t.bin"));
  file->write("x", 1);
  platform::file_times times = file->times();
  uint64_t now = 0;
  ASSERT_TRUE(platform::filetime_to_local_filetime(platform::system_time_as_filetime(), &now));
  const uint64_t ten_minutes = 10ull * 60 * 10'000'000;
  EXPECT_LT(times.last_write > now ? times.last_write - now : now - times.last_write, ten_minutes);
  EXPECT_LT(times.last_access > now ? times.last_access - now : now - times.last_access,
            ten_minutes);
  EXPECT_LE(times.creation, now + ten_minutes);
}

TEST(FileOnDisk, CreateInAMissingDirectoryRaisesCannotWrite) {
  TempDir dir;
  auto path = dir / "missing dir" / "d\xc3\xa9j\xc3\xa0.pst";  // "déjà.pst"
  try {
    CMyFile::create_for_writing(wide(path));
    FAIL() << "created a file in a missing directory";
  } catch (const qm_cwf_error& e) {
    EXPECT_EQ(e.code(), -5);
    EXPECT_NE(e.message().find(path.string()), std::string::npos) << e.message();
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FileOnDisk, MissingFileLeavesAnInvalidHandleAndTheFirstReadFails) {
  TempDir dir;
  auto file = CMyFile::open_for_reading(wide(dir / "absent.pst"));
  EXPECT_FALSE(file->is_open());
  EXPECT_EQ(file->size(), 0u);
  platform::file_times times = file->times();
  EXPECT_EQ(times.creation, 0u);
  EXPECT_EQ(times.last_access, 0u);
  EXPECT_EQ(times.last_write, 0u);
  file->seek(512);  // positioning alone does not fail
  char buffer[16];
  try {
    file->read(buffer, sizeof buffer);
    FAIL() << "read from a file that was never opened";
  } catch (const qm_crf_error& e) {
    EXPECT_EQ(e.code(), -4);
  }
  EXPECT_THROW(file->read_at(0, buffer, 1), qm_crf_error);
}

TEST(FileOnDisk, AFileHeldForWritingCannotBeCreatedOrOpenedAgain) {
  TempDir dir;
  auto path = wide(dir / "held.pst");
  auto holder = CMyFile::create_for_writing(path);
  holder->write("keep", 4);
  EXPECT_THROW(CMyFile::create_for_writing(path), qm_cwf_error);
  EXPECT_FALSE(CMyFile::open_for_reading(path)->is_open());
  // The holder's file is untouched and still usable.
  holder->write(" me", 3);
  EXPECT_EQ(holder->size(), 7u);
  holder.reset();
  EXPECT_EQ(read_file_bytes(dir / "held.pst"), bytes_of("keep me"));
  EXPECT_NO_THROW(CMyFile::create_for_writing(path));
}

// ---------------------------------------------------------------- stream source

struct MemoryStream {
  std::string bytes;
  uint64_t claimed_size = 0;  // reported size; bytes beyond `bytes` read as 'z'
  std::vector<uint64_t> offsets;

  stream_callbacks table() {
    stream_callbacks t;
    t.context = this;
    t.size = [](void* c) { return static_cast<MemoryStream*>(c)->claimed_size; };
    t.read_at = [](void* c, uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
      auto* self = static_cast<MemoryStream*>(c);
      self->offsets.push_back(offset);
      uint64_t available = offset < self->claimed_size ? self->claimed_size - offset : 0;
      uint32_t n = available < count ? static_cast<uint32_t>(available) : count;
      for (uint32_t i = 0; i < n; ++i)
        static_cast<char*>(buffer)[i] =
            offset + i < self->bytes.size() ? self->bytes[offset + i] : 'z';
      *done = n;
      return true;
    };
    return t;
  }
};

// Installs a stream table for one test and removes it afterwards.
class InstalledStream {
 public:
  explicit InstalledStream(const stream_callbacks& table) { install_stream_callbacks(&table); }
  ~InstalledStream() { install_stream_callbacks(nullptr); }
};

TEST(StreamFile, CannotBeOpenedWithoutCallbacks) {
  install_stream_callbacks(nullptr);
  auto file = CMyFile::open_for_reading(stream_file_name);
  EXPECT_FALSE(file->is_open());
  char buffer[4];
  EXPECT_THROW(file->read(buffer, 4), qm_crf_error);
  EXPECT_THROW(CMyFile::create_for_writing(stream_file_name), qm_cwf_error);
}

TEST(StreamFile, ReadsTheInstalledStream) {
  MemoryStream stream{"0123456789", 10, {}};
  InstalledStream installed(stream.table());
  auto file = CMyFile::open_for_reading(stream_file_name);
  ASSERT_TRUE(file->is_open());
  EXPECT_EQ(file->size(), 10u);
  char buffer[8];
  file->read_at(3, buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "3456");
  EXPECT_EQ(read_string(*file, 2), "78");  // continues after the last read
  file->seek(1, 1);
  EXPECT_EQ(read_string(*file, 8), "");  // at the end
  file->seek(8);
  EXPECT_EQ(read_string(*file, 8), "89");
  EXPECT_THROW(file->write("x", 1), qm_cwf_error);
  EXPECT_THROW(file->write_and_set_end("x", 1), qm_cwf_error);
}

TEST(StreamFile, PositionsBeyondFourGibibytes) {
  const uint64_t big = 6ull << 30;
  MemoryStream stream{"", big, {}};
  InstalledStream installed(stream.table());
  auto file = CMyFile::open_for_reading(stream_file_name);
  EXPECT_EQ(file->size(), big);
  char buffer[4];
  file->read_at((5ull << 30) + 7, buffer, 4);
  file->seek(big - 2);
  EXPECT_EQ(read_string(*file, 4), "zz");
  ASSERT_EQ(stream.offsets.size(), 2u);
  EXPECT_EQ(stream.offsets[0], (5ull << 30) + 7);
  EXPECT_EQ(stream.offsets[1], big - 2);
}

TEST(StreamFile, ReadFailsOnceTheCallbacksAreRemoved) {
  MemoryStream stream{"abc", 3, {}};
  auto table = stream.table();
  install_stream_callbacks(&table);
  auto file = CMyFile::open_for_reading(stream_file_name);
  ASSERT_TRUE(file->is_open());
  install_stream_callbacks(nullptr);
  char buffer[3];
  EXPECT_THROW(file->read_at(0, buffer, 3), qm_crf_error);
}

// ---------------------------------------------------------------- external source

// A byte source in memory that fails at chosen calls and records what it is asked.
struct FakeSource {
  struct seek_call {
    int32_t low;
    int32_t high;
    uint32_t method;
  };

  std::vector<uint8_t> bytes;
  uint64_t position = 0;
  uint64_t size_override = 0;  // reported by size when non-zero

  int open_failures = 0;  // the first n opens fail
  int fail_write_at = 0;  // 1-based number of the write that fails; 0: none
  bool write_short = false;  // that write reports one byte less, with success
  uint32_t write_error = 0;  // the code a failing write leaves
  int fail_read_at = 0;
  bool read_short = false;

  int opens = 0, closes = 0, writes = 0, reads = 0;
  std::u16string opened_name;
  uint32_t opened_access = 0, opened_disposition = 0;
  std::vector<seek_call> seeks;

  static FakeSource& self(void* c) { return *static_cast<FakeSource*>(c); }

  external_file_callbacks table() {
    external_file_callbacks t;
    t.context = this;
    t.open = [](void* c, const char16_t* name, uint32_t access, uint32_t disposition) {
      FakeSource& s = self(c);
      ++s.opens;
      s.opened_name = name;
      s.opened_access = access;
      s.opened_disposition = disposition;
      if (s.opens <= s.open_failures) {
        platform::set_last_error(platform::error::file_not_found);
        return platform::invalid_file;
      }
      return file_handle{42};
    };
    t.close = [](void* c, file_handle handle) {
      ++self(c).closes;
      return handle == 42;
    };
    t.write = [](void* c, file_handle, const void* buffer, uint32_t count, uint32_t* done) {
      FakeSource& s = self(c);
      ++s.writes;
      uint32_t n = count;
      if (s.writes == s.fail_write_at) {
        if (!s.write_short) {
          *done = 0;
          platform::set_last_error(s.write_error);
          return false;
        }
        n = count - 1;
      }
      if (s.position + n <= (1u << 20)) {  // large offsets are recorded, not stored
        if (s.bytes.size() < s.position + n) s.bytes.resize(s.position + n);
        std::memcpy(s.bytes.data() + s.position, buffer, n);
      }
      s.position += n;
      *done = n;
      return true;
    };
    t.read = [](void* c, file_handle, void* buffer, uint32_t count, uint32_t* done) {
      FakeSource& s = self(c);
      ++s.reads;
      if (s.reads == s.fail_read_at && !s.read_short) {
        *done = 0;
        platform::set_last_error(platform::error::read_fault);
        return false;
      }
      uint64_t available = s.position < s.bytes.size() ? s.bytes.size() - s.position : 0;
      uint32_t n = available < count ? static_cast<uint32_t>(available) : count;
      if (s.reads == s.fail_read_at && n > 0) --n;
      std::memcpy(buffer, s.bytes.data() + s.position, n);
      s.position += n;
      *done = n;
      return true;
    };
    t.seek = [](void* c, file_handle, int32_t low, int32_t* high, uint32_t method) {
      FakeSource& s = self(c);
      s.seeks.push_back({low, high ? *high : 0, method});
      int64_t distance = static_cast<int64_t>(
          (static_cast<uint64_t>(static_cast<uint32_t>(high ? *high : 0)) << 32) |
          static_cast<uint32_t>(low));
      s.position = (method == 1 ? s.position : 0) + static_cast<uint64_t>(distance);
      if (high) *high = static_cast<int32_t>(static_cast<uint32_t>(s.position >> 32));
      platform::set_last_error(0);
      return static_cast<uint32_t>(s.position);
    };
    t.size = [](void* c, file_handle, uint32_t* high) {
      FakeSource& s = self(c);
      uint64_t size = s.size_override ? s.size_override : s.bytes.size();
      *high = static_cast<uint32_t>(size >> 32);
      platform::set_last_error(0);
      return static_cast<uint32_t>(size);
    };
    return t;
  }
};

TEST(ExternalFile, OpenPassesTheNameAccessAndDisposition) {
  FakeSource source;
  auto table = source.table();
  {
    auto file = CMyFile::create_for_writing(u"any name", read_write, &table);
    EXPECT_TRUE(file->is_open());
    EXPECT_EQ(source.opened_name, u"any name");
    EXPECT_EQ(source.opened_access, read_write);
    EXPECT_EQ(source.opened_disposition, platform::creation::create_always);
  }
  EXPECT_EQ(source.closes, 1);
  {
    auto file = CMyFile::open_for_reading(u"other", &table);
    EXPECT_EQ(source.opened_access, platform::access::read);
    EXPECT_EQ(source.opened_disposition, platform::creation::open_existing);
  }
  EXPECT_EQ(source.closes, 2);
}

TEST(ExternalFile, CallbacksTakePrecedenceOverTheStreamName) {
  FakeSource source;
  auto table = source.table();
  auto file = CMyFile::create_for_writing(stream_file_name, read_write, &table);
  file->write("abc", 3);
  EXPECT_EQ(source.bytes, bytes_of("abc"));
}

TEST(ExternalFile, OpenForReadingTriesOnceMore) {
  struct attempt {
    int failures;
    bool open;
    int opens;
  };
  for (const attempt& a : {attempt{0, true, 1}, attempt{1, true, 2}, attempt{2, false, 2},
                           attempt{5, false, 2}}) {
    FakeSource source;
    source.open_failures = a.failures;
    auto table = source.table();
    auto file = CMyFile::open_for_reading(u"f", &table);
    EXPECT_EQ(file->is_open(), a.open) << a.failures;
    EXPECT_EQ(source.opens, a.opens) << a.failures;
  }
}

TEST(ExternalFile, FailedCreateRaisesCannotWrite) {
  FakeSource source;
  source.open_failures = 1;
  auto table = source.table();
  EXPECT_THROW(CMyFile::create_for_writing(u"f", read_write, &table), qm_cwf_error);
  EXPECT_EQ(source.opens, 1);  // creation is not retried
}

TEST(ExternalFile, AFailedOrShortWriteRaisesCannotWrite) {
  struct fault {
    const char* what;
    int at;
    bool short_write;
    uint32_t code;
  };
  const fault faults[] = {
      {"failure with a disk-full code", 3, false, platform::error::disk_full},
      {"failure without a code", 1, false, 0},
      // These two codes must not pass for success.
      {"failure with invalid parameter", 2, false, platform::error::invalid_parameter},
      {"failure with insufficient buffer", 2, false, platform::error::insufficient_buffer},
      {"short write reported as success", 4, true, 0},
  };
  for (const fault& f : faults) {
    FakeSource source;
    source.fail_write_at = f.at;
    source.write_short = f.short_write;
    source.write_error = f.code;
    auto table = source.table();
    auto file = CMyFile::create_for_writing(u"f", read_write, &table);
    for (int n = 1; n < f.at; ++n) ASSERT_NO_THROW(file->write("abcd", 4)) << f.what;
    try {
      file->write("abcd", 4);
      ADD_FAILURE() << f.what << ": no error";
    } catch (const qm_cwf_error& e) {
      EXPECT_EQ(e.code(), -5) << f.what;
    }
    file.reset();  // still destructible, and closed once
    EXPECT_EQ(source.closes, 1) << f.what;
  }
}

TEST(ExternalFile, AFailedOrShortReadRaisesCannotRead) {
  for (bool short_read : {false, true}) {
    FakeSource source;
    source.bytes = bytes_of("0123456789");
    source.fail_read_at = 2;
    source.read_short = short_read;
    auto table = source.table();
    auto file = CMyFile::open_for_reading(u"f", &table);
    char buffer[4];
    file->read_at(0, buffer, 4);
    try {
      file->read_at(4, buffer, 4);
      ADD_FAILURE() << "no error, short read " << short_read;
    } catch (const qm_crf_error& e) {
      EXPECT_EQ(e.code(), -4);
    }
    file.reset();
    EXPECT_EQ(source.closes, 1);
  }
}

TEST(ExternalFile, SixtyFourBitPositionsAreSplitIntoLowAndHigh) {
  FakeSource source;
  auto table = source.table();
  auto file = CMyFile::create_for_writing(u"big", read_write, &table);

  struct request {
    uint64_t position;
    uint32_t mode;
    int32_t low;
    int32_t high;
    uint64_t reached;
  };
  const request requests[] = {
      {0x1'2345'6789ull, 0, 0x23456789, 1, 0x1'2345'6789ull},
      {0x0'8000'0000ull, 0, INT32_MIN, 0, 0x0'8000'0000ull},
      // Low half all ones is a position, not a failure.
      {0x1'FFFF'FFFFull, 0, -1, 1, 0x1'FFFF'FFFFull},
      {0x19'0000'0010ull, 0, 0x10, 0x19, 0x19'0000'0010ull},
      // Relative: forwards by 4 GiB + 1, then back by 2 (two's complement).
      {0x1'0000'0001ull, 1, 1, 1, 0x1A'0000'0011ull},
      {~uint64_t{1}, 1, -2, -1, 0x1A'0000'000Full},
      // Any other mode positions from the start.
      {0x5'0000'0000ull, 7, 0, 5, 0x5'0000'0000ull},
  };
  for (const request& r : requests) {
    source.seeks.clear();
    file->seek(r.position, r.mode);
    ASSERT_EQ(source.seeks.size(), 1u);
    EXPECT_EQ(source.seeks[0].low, r.low) << std::hex << r.position;
    EXPECT_EQ(source.seeks[0].high, r.high) << std::hex << r.position;
    EXPECT_EQ(source.seeks[0].method, r.mode == 1 ? 1u : 0u);
    EXPECT_EQ(source.position, r.reached);
  }

  // A positioned write lands at the 64-bit offset.
  file->write_at(0x2'0000'0100ull, "wxyz", 4);
  EXPECT_EQ(source.seeks.back().low, 0x100);
  EXPECT_EQ(source.seeks.back().high, 2);
  EXPECT_EQ(source.position, 0x2'0000'0104ull);

  // Sizes past 4 GiB, including one whose low half is all ones.
  for (uint64_t size : {0x1'0000'0000ull, 0x1'FFFF'FFFFull, 0x64'0000'0000ull}) {
    source.size_override = size;
    EXPECT_EQ(file->size(), size);
  }
}

TEST(ExternalFile, AFailedSeekRaisesTheErrorOfTheFilesPurpose) {
  FakeSource source;
  auto table = source.table();
  table.seek = [](void*, file_handle, int32_t, int32_t*, uint32_t) {
    platform::set_last_error(platform::error::negative_seek);
    return 0xFFFFFFFFu;
  };
  auto writer = CMyFile::create_for_writing(u"w", read_write, &table);
  EXPECT_THROW(writer->seek(10), qm_cwf_error);
  auto reader = CMyFile::open_for_reading(u"r", &table);
  EXPECT_THROW(reader->seek(10), qm_crf_error);
}

TEST(ExternalFile, HasNoTimesAndGrowsByItsWrites) {
  FakeSource source;
  auto table = source.table();
  auto file = CMyFile::create_for_writing(u"f", read_write, &table);
  file->write_and_set_end("abc", 3);
  EXPECT_EQ(file->size(), 3u);
  platform::file_times times = file->times();
  EXPECT_EQ(times.creation, 0u);
  EXPECT_EQ(times.last_write, 0u);
}

}  // namespace
}  // namespace vendrel
