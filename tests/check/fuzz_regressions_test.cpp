// Inputs the read-path fuzz targets once failed on, kept in
// fuzz/seeds/read-regressions: each goes through what its target runs and
// gives a clear result. A name starting with "file-" is a PST image (the
// checker and the store listing); any other is heap blocks in the targets'
// format (a flags byte, then chunks of a 2-byte length and bytes, the last
// chunk a subnode's data).
#include <gtest/gtest.h>

#include <filesystem>

#include "../../fuzz/read_fuzz_support.h"
#include "check/node_decode.h"
#include "check/pst_check.h"
#include "check/store_listing.h"
#include "common/errors.h"
#include "ltp/pc_reader.h"
#include "ltp/tc_reader.h"
#include "support/temp_dir.h"

namespace vendrel::test {
namespace {

const std::filesystem::path regressions = std::filesystem::path(VENDREL_SOURCE_DIR) / "fuzz" / "seeds" / "read-regressions";

using fuzz::heap_input;

// The input cut as the heap-level targets cut it.
heap_input split(const std::vector<uint8_t>& data) { return fuzz::split_heap_input(data.data(), data.size()); }

// The strict readers of the read path reject what is malformed with
// qm_crf_error; the checker's decoders report it. Neither may do anything else.
template <typename F>
void rejects_or_reads(F&& f) {
  try {
    f();
  } catch (const qm_error&) {
  }
}

TEST(ReadPathRegressions, EveryKeptInputGivesAClearResult) {
  if (!std::filesystem::exists(regressions)) GTEST_SKIP();
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(regressions)) {
    const std::string name = entry.path().filename().string();
    if (name.front() == '.') continue;
    SCOPED_TRACE(name);
    ++count;
    const auto bytes = read_file_bytes(entry.path());
    if (name.rfind("file-", 0) == 0) {
      TempDir dir;
      write_file_bytes(dir / "input.pst", bytes.data(), bytes.size());
      check_report r = check_pst(utf16((dir / "input.pst").string()));
      EXPECT_TRUE(!r.readable || r.count(check_severity::error) > 0) << "a damaged file comes out with an ERROR";
      std::string error;
      list_store(utf16((dir / "input.pst").string()), {}, error);
      continue;
    }
    heap_input in = split(bytes);
    subnode_access access;
    access.size = [&](uint32_t, std::string&) -> std::optional<uint64_t> { return in.subnode.size(); };
    access.bytes = [&](uint32_t, uint64_t, std::string&) -> std::optional<std::vector<uint8_t>> { return in.subnode; };
    const subnode_resolver resolver = fuzz::heap_resolver(in);
    diag d;
    auto tc = decode_tc(in.blocks, in.unicode, access, d);
    auto pc = decode_pc(in.blocks, access, d);
    EXPECT_TRUE((tc || pc) || d.has_error()) << "what the checker cannot read, it reports";
    rejects_or_reads([&] {
      decoded_tc t = in.unicode ? decode_table_context<uint64_t>(in.blocks, resolver)
                                : decode_table_context<uint32_t>(in.blocks, resolver);
      for (size_t r = 0; r < t.rows.size(); ++r)
        for (const auto& c : t.layout.columns) rejects_or_reads([&] { (void)t.cell_bytes(r, c.tag); });
    });
    rejects_or_reads([&] {
      if (in.unicode)
        (void)decode_property_context<uint64_t>(in.blocks, resolver);
      else
        (void)decode_property_context<uint32_t>(in.blocks, resolver);
    });
  }
  EXPECT_GT(count, 0u);
}

// A column of 16 bytes in a table: the strict reader rejects it instead of
// reading a cell wider than a value.
TEST(ReadPathRegressions, TableColumnWiderThanAValueIsRejected) {
  const auto bytes = read_file_bytes(regressions / "tc-cell-wider-than-8");
  heap_input in = split(bytes);
  const subnode_resolver resolver = fuzz::heap_resolver(in);
  EXPECT_THROW((in.unicode ? decode_table_context<uint64_t>(in.blocks, resolver)
                           : decode_table_context<uint32_t>(in.blocks, resolver)),
               qm_crf_error);
}

}  // namespace
}  // namespace vendrel::test
