// Windows share modes through the platform layer: which second open a first
// handle lets through, and what the file layer's own opens (create for
// writing with share mode 0, open for reading with share read and write)
// mean for one another and for a deletion.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/errors.h"
#include "common/file.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace vendrel::platform {
namespace {

using test::TempDir;

std::u16string u16(const std::filesystem::path& path) {
  const std::wstring text = path.wstring();
  return std::u16string(text.begin(), text.end());
}

class Handle {
 public:
  explicit Handle(file_handle handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != invalid_file) close_file(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != invalid_file; }
  file_handle get() const { return handle_; }

 private:
  file_handle handle_;
};

constexpr uint32_t read_write = access::read | access::write;
constexpr uint32_t share_all = share::read | share::write;

struct ShareCase {
  const char* name;
  uint32_t first_access, first_share;
  uint32_t second_access, second_share;
  bool second_opens;
};

class PlatformShareModes : public ::testing::TestWithParam<ShareCase> {};

// The second open must fit both ways: its access within the first handle's
// share mode, and the first handle's access within its own share mode.
TEST_P(PlatformShareModes, SecondOpenIsLetThroughOrRefused) {
  const ShareCase& c = GetParam();
  TempDir dir;
  const auto path = u16(dir / "shared.pst");
  Handle first(open_file(path, c.first_access, c.first_share, creation::create_always, 0));
  ASSERT_TRUE(first.valid()) << last_error();
  Handle second(open_file(path, c.second_access, c.second_share, creation::open_existing, 0));
  EXPECT_EQ(second.valid(), c.second_opens);
  EXPECT_EQ(last_error(), c.second_opens ? error::success : error::sharing_violation);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlatformShareModes,
    ::testing::Values(
        ShareCase{"exclusive_keeps_readers_out", read_write, share::none, access::read, share_all, false},
        ShareCase{"share_read_lets_a_reader_in", access::write, share::read, access::read, share_all, true},
        ShareCase{"share_read_keeps_a_writer_out", access::write, share::read, access::write, share_all, false},
        ShareCase{"share_write_lets_a_writer_in", access::write, share::write, access::write, share_all, true},
        ShareCase{"share_write_keeps_a_reader_out", access::write, share::write, access::read, share_all, false},
        ShareCase{"second_must_share_the_first_access", access::write, share_all, access::read, share::read, false},
        ShareCase{"both_share_all", read_write, share_all, read_write, share_all, true},
        ShareCase{"reader_then_exclusive", access::read, share_all, read_write, share::none, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformShareModes, NoHandleSharesDeletion) {
  TempDir dir;
  const auto path = u16(dir / "held.pst");
  {
    Handle holder(open_file(path, access::read | access::write, share_all, creation::create_always, 0));
    ASSERT_TRUE(holder.valid());
    EXPECT_FALSE(delete_file(path));
    EXPECT_EQ(last_error(), error::sharing_violation);
    EXPECT_FALSE(delete_file_narrow((dir / "held.pst").string()));
    EXPECT_EQ(last_error(), error::sharing_violation);
  }
  EXPECT_TRUE(delete_file(path)) << last_error();
}

// The store's file: created with share mode 0 it keeps a second writer, a
// reader and a deletion out, and a second creation leaves its bytes alone.
TEST(PlatformShareModes, StoreFileIsExclusive) {
  TempDir dir;
  const std::u16string path = u16(dir / "store.pst");
  auto owner = CMyFile::create_for_writing(path);
  const char data[] = "!BDN committed";
  owner->write(data, sizeof data - 1);

  EXPECT_THROW(CMyFile::create_for_writing(path), qm_cwf_error);
  {
    Handle reader(open_file(path, access::read, share_all, creation::open_existing, 0));
    EXPECT_FALSE(reader.valid());
    EXPECT_EQ(last_error(), error::sharing_violation);
  }
  auto blocked = CMyFile::open_for_reading(path);  // retries once, then stays closed
  EXPECT_FALSE(blocked->is_open());
  EXPECT_FALSE(delete_file(path));
  EXPECT_EQ(owner->size(), sizeof data - 1);
  owner.reset();
  EXPECT_EQ(test::read_file_text(dir / "store.pst"), "!BDN committed");
}

TEST(PlatformShareModes, ReadersOfTheFileLayerShareWithEachOther) {
  TempDir dir;
  test::write_file_bytes(dir / "input.pst", "0123456789", 10);
  const std::u16string path = u16(dir / "input.pst");
  auto first = CMyFile::open_for_reading(path);
  auto second = CMyFile::open_for_reading(path);
  ASSERT_TRUE(first->is_open());
  ASSERT_TRUE(second->is_open());
  char a[4] = {}, b[4] = {};
  EXPECT_EQ(first->read(a, 4), 4u);
  second->seek(6, 0);
  EXPECT_EQ(second->read(b, 4), 4u);
  EXPECT_EQ(std::string(a, 4), "0123");
  EXPECT_EQ(std::string(b, 4), "6789");
  // A reader keeps a writer that wants the file to itself out.
  EXPECT_THROW(CMyFile::create_for_writing(path), qm_cwf_error);
}

}  // namespace
}  // namespace vendrel::platform
