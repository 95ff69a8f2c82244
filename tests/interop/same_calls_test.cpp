// The same calls show the same in every reader. same_calls_host writes one
// fixed set of calls (a folder of 300 small messages, 256 KiB and 1 MiB
// attachments, an HTML body, 300 subfolders, a deep folder, a contact, an
// appointment, a task and a sticky note) with this build of the shared
// library; each reader's view of the file, dumped by same_calls_dump.py and
// same_calls_pst_extractor.js, must be the view kept in same_calls/ of the
// same calls written by the library as it was before its write path was
// reworked for speed (same_calls/README.md says how those were made). A
// change to the block writer, the space allocator, the B-trees or the
// tables that a reader can see shows here as a diff.
//
// The file is also checked by the node-database walker and the checker (no
// findings), and both of its B-trees must have more than one level, or the
// calls no longer load what they are meant to. Set VENDREL_SAME_CALLS_DIR
// to keep the files and the readers' dumps there (run the test program
// alone, not under ctest -j, which would write them from several
// processes). A reader that is not installed skips its test.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "check/pst_check.h"
#include "interop_support.h"
#include "ndb/walker.h"
#include "support/temp_dir.h"

namespace {

using namespace vendrel::interop;

using vendrel::test::TempDir;
using vendrel::test::utf16;

const char* variant_name(bool unicode) { return unicode ? "unicode" : "ansi"; }

// The lines of a dump by their key: the path, and "folder" on a folder's
// line; the value is the rest of the line, "<field>=<value>" by tabs.
std::map<std::string, std::vector<std::string>> dump_lines(const std::string& text) {
  std::map<std::string, std::vector<std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      parts.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    std::string key = parts[0];
    size_t first = 1;
    if (parts.size() > 1 && parts[1] == "folder") key += "\tfolder", first = 2;
    lines[key].assign(parts.begin() + static_cast<std::ptrdiff_t>(first), parts.end());
  }
  return lines;
}

std::string cut(const std::string& text, size_t size = 300) {
  return text.size() > size ? text.substr(0, size) + "..." : text;
}

// What differs between two dumps, field by field: a line only one of them
// has, and for a line both have, each field whose value differs.
std::string difference(const std::string& expected, const std::string& shown) {
  const auto before = dump_lines(expected), now = dump_lines(shown);
  std::string out;
  size_t count = 0;
  const auto note = [&](const std::string& text) {
    if (++count <= 60) out += text + "\n";
  };
  for (const auto& [key, fields] : before) {
    const auto it = now.find(key);
    if (it == now.end()) {
      note("  only before: " + cut(key));
      continue;
    }
    std::map<std::string, std::string> was, is;
    for (const std::string& f : fields) was[f.substr(0, f.find('='))] = f;
    for (const std::string& f : it->second) is[f.substr(0, f.find('='))] = f;
    for (const auto& [name, field] : was)
      if (!is.count(name) || is[name] != field)
        note("  " + cut(key, 120) + ": < " + cut(field) + (is.count(name) ? "\n    > " + cut(is[name]) : ""));
    for (const auto& [name, field] : is)
      if (!was.count(name)) note("  " + cut(key, 120) + ": > " + cut(field));
  }
  for (const auto& [key, fields] : now)
    if (!before.count(key)) note("  only now: " + cut(key));
  if (count > 60) out += "  ... " + std::to_string(count - 60) + " more\n";
  if (out.empty()) out = "  the same lines, repeated or left out\n";
  return out;
}

class SameCalls : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    if (const char* keep = std::getenv("VENDREL_SAME_CALLS_DIR")) {
      dir_ = keep;
      std::filesystem::create_directories(dir_);
    } else {
      temp_ = new TempDir();
      dir_ = temp_->path();
    }
    for (bool unicode : {false, true}) {
      const std::filesystem::path pst = file(unicode);
      std::filesystem::remove(pst);
      host_[unicode] = run(quoted(VENDREL_SAME_CALLS_HOST) + " " + quoted(pst) + " " + variant_name(unicode), true);
    }
  }
  static void TearDownTestSuite() {
    delete temp_;
    temp_ = nullptr;
  }
  void SetUp() override {
    const run_result& host = host_[GetParam()];
    ASSERT_EQ(host.status, 0) << host.command << "\n" << host.out;
    ASSERT_TRUE(std::filesystem::exists(file(GetParam())));
  }

  static std::filesystem::path file(bool unicode) { return dir_ / (std::string(variant_name(unicode)) + ".pst"); }
  std::filesystem::path pst() const { return file(GetParam()); }

  // Runs a reader's dump and compares it with the kept view; on a
  // difference, prints what differs field by field (with
  // VENDREL_SAME_CALLS_DIR set, the dump stays there for `diff`).
  void compare(const std::string& reader, const std::string& command) {
    const std::string name = std::string(variant_name(GetParam())) + "." + reader + ".txt";
    const std::filesystem::path shown = dir_ / name, errors = dir_ / (name + ".stderr");
    const std::filesystem::path expected = std::filesystem::path(interop_dir) / "same_calls" / name;
    run_result r = run("(" + command + ") 2>" + quoted(errors));
    vendrel::test::write_file_bytes(shown, r.out.data(), r.out.size());
    ASSERT_EQ(r.status, 0) << command << "\n" << vendrel::test::read_file_text(errors).substr(0, 3000);
    ASSERT_TRUE(std::filesystem::exists(expected)) << expected;
    const std::string kept = vendrel::test::read_file_text(expected);
    if (r.out == kept) return;
    ADD_FAILURE() << reader << " shows the calls differently from the library they were kept from (< "
                  << expected.string() << ", > " << shown.string() << "):\n"
                  << difference(kept, r.out);
  }

  std::string python(const std::string& reader) const {
    return "/usr/bin/python3 '" + interop_dir + "/same_calls_dump.py' " + reader + " " + quoted(pst()) + " " +
           quoted(dir_ / (std::string(variant_name(GetParam())) + "-" + reader));
  }

  static TempDir* temp_;
  static std::filesystem::path dir_;
  static run_result host_[2];
};
TempDir* SameCalls::temp_ = nullptr;
std::filesystem::path SameCalls::dir_;
run_result SameCalls::host_[2];

TEST_P(SameCalls, TheWalkerFindsNothing) {
  std::string findings;
  for (const vendrel::ndb_finding& f : vendrel::check_file(std::u16string_view(utf16(pst().string()))))
    findings += vendrel::to_string(f) + "\n";
  EXPECT_EQ(findings, "");
}

TEST_P(SameCalls, TheCheckerFindsNothing) {
  const vendrel::check_report report = vendrel::check_pst(std::u16string_view(utf16(pst().string())));
  ASSERT_TRUE(report.readable) << report.unreadable_reason;
  std::string findings;
  for (const vendrel::check_finding& f : report.findings) {
    char where[64];
    std::snprintf(where, sizeof where, " at 0x%llx nid 0x%x: ", static_cast<unsigned long long>(f.offset), f.nid);
    findings += std::string(vendrel::to_string(f.severity)) + " " + vendrel::to_string(f.area) + where + f.message + "\n";
  }
  EXPECT_EQ(findings, "");
  EXPECT_EQ(report.messages, 300u + 3 + 3 + 2 + 4);
}

// The levels of the node and block B-trees' root pages ([MS-PST] 2.2.2.6
// and 2.2.2.7.7.1): the ROOT's BREFs at 0xD8 and 0xE8 of a Unicode header
// (BID and IB of 8 bytes), at 0xB8 and 0xC0 of an ANSI one (4 bytes each);
// cLevel is the last byte before a page's trailer, at 491 (Unicode) or
// 499 (ANSI).
TEST_P(SameCalls, BothBTreesHaveMoreThanOneLevel) {
  const std::vector<uint8_t> bytes = vendrel::test::read_file_bytes(pst());
  const bool unicode = GetParam();
  const auto field = [&](size_t at, size_t size) {
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(bytes.at(at + i)) << (8 * i);
    return v;
  };
  const size_t width = unicode ? 8 : 4, level_at = unicode ? 491 : 499;
  const uint64_t nbt = field(unicode ? 0xD8 + 8 : 0xB8 + 4, width), bbt = field(unicode ? 0xE8 + 8 : 0xC0 + 4, width);
  ASSERT_LT(nbt + level_at, bytes.size());
  ASSERT_LT(bbt + level_at, bytes.size());
  EXPECT_GE(bytes[nbt + level_at], 1) << "the node B-tree's root is a leaf";
  EXPECT_GE(bytes[bbt + level_at], 1) << "the block B-tree's root is a leaf";
}

TEST_P(SameCalls, PypffShowsWhatItShowedBefore) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  compare("pypff", python("pypff"));
}

TEST_P(SameCalls, PffexportShowsWhatItShowedBefore) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  compare("pffexport", python("pffexport"));
}

TEST_P(SameCalls, ReadpstShowsWhatItShowedBefore) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  compare("readpst", python("readpst"));
}

TEST_P(SameCalls, PstExtractorShowsWhatItShowedBefore) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  compare("pst-extractor", "node '" + interop_dir + "/same_calls_pst_extractor.js' " + quoted(pst()));
}

INSTANTIATE_TEST_SUITE_P(Variants, SameCalls, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
