// Bind_EML through the shared library on every message of the shared EML
// corpus (real-world mail, malformed messages among them): each one imports
// without a crash into a folder of its own, and the independent readers
// (pypff, pffexport, readpst, pst-extractor) show for each the subject,
// sender, To recipients, plain or HTML text, attachments with their bytes
// and the nested messages as embedded ones, as Python's email package reads
// them from the same file (eml_import_check.py). Plus the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

namespace fs = std::filesystem;
using vendrel::test::TempDir;
using vendrel::test::utf16;

// The shared folder beside the checkout, or $VENDREL_SHARED_DIR.
const fs::path corpus = (std::getenv("VENDREL_SHARED_DIR") ? fs::path(std::getenv("VENDREL_SHARED_DIR"))
                                                            : fs::path(VENDREL_INTEROP_DIR) / ".." / ".." / ".." / "shared") /
                        "corpus" / "eml";

class EmlImport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::is_directory(corpus)) return;
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "import.log").string().c_str());
    for (const auto& entry : fs::recursive_directory_iterator(corpus))
      if (entry.is_regular_file() && entry.path().extension() == ".eml") files_.push_back(entry.path());
    std::sort(files_.begin(), files_.end());
    pst_ = dir_->path() / "imported.pst";
    if (CreatePst(wide(pst_.string()), wide("Imported")) != 0) return;
    std::ofstream listing(dir_->path() / "list.txt");
    for (size_t i = 0; i < files_.size(); ++i) {
      char folder[32];
      std::snprintf(folder, sizeof folder, "f%03zu", i);
      CreateFolder(wide(""), wide(folder), wide("IPF.Note"));
      results_.push_back(Bind_EML(wide(files_[i].string())));
      listing << folder << "\t" << files_[i].string() << "\n";
    }
    committed_ = CommitPst() == 0;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!dir_) GTEST_SKIP() << "no EML corpus at " << corpus;
    ASSERT_TRUE(committed_);
  }

  // Runs a reader into a file, then compares it with the expected values.
  void check(const std::string& reader, const std::string& command) {
    const fs::path shown = dir_->path() / (reader + ".txt");
    const run_result shown_run = run(command + " > " + quoted(shown), true);
    ASSERT_EQ(shown_run.status, 0) << command << "\n" << shown_run.out;
    const run_result checked = run("/usr/bin/python3 " + quoted(fs::path(interop_dir) / "eml_import_check.py") + " " +
                                       reader + " " + quoted(dir_->path() / "list.txt") + " " + quoted(shown),
                                   true);
    EXPECT_EQ(checked.status, 0) << checked.out.substr(0, 20000);
  }

  static TempDir* dir_;
  static fs::path pst_;
  static std::vector<fs::path> files_;
  static std::vector<int32_t> results_;
  static bool committed_;
};
TempDir* EmlImport::dir_ = nullptr;
fs::path EmlImport::pst_;
std::vector<fs::path> EmlImport::files_;
std::vector<int32_t> EmlImport::results_;
bool EmlImport::committed_ = false;

TEST_F(EmlImport, EveryCorpusMessageImports) {
  EXPECT_GE(files_.size(), 100u);
  for (size_t i = 0; i < files_.size(); ++i) EXPECT_EQ(results_[i], 1) << files_[i];
}

TEST_F(EmlImport, PypffShowsTheMessages) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  check("pypff", "/usr/bin/python3 " + quoted(fs::path(interop_dir) / "eml_import_check.py") + " --dump " + quoted(pst_));
}

TEST_F(EmlImport, PffexportShowsTheMessages) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  check("pffexport", "/usr/bin/python3 " + quoted(fs::path(interop_dir) / "reader_lines.py") + " pffexport " +
                         quoted(pst_) + " " + quoted(dir_->path()));
}

TEST_F(EmlImport, ReadpstShowsTheMessages) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  check("readpst", "/usr/bin/python3 " + quoted(fs::path(interop_dir) / "reader_lines.py") + " readpst " +
                       quoted(pst_) + " " + quoted(dir_->path()));
}

TEST_F(EmlImport, PstExtractorShowsTheMessages) {
  if (!available("node --version") || !fs::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  check("pst_extractor", "node " + quoted(fs::path(interop_dir) / "pst_extractor_lines.js") + " " + quoted(pst_));
}

// Import failures give 0 and leave the library usable.
TEST(EmlImportFailures, MissingFileNoStoreAndNull) {
  TempDir dir;
  const fs::path file = dir.path() / "in.eml";
  vendrel::test::write_file_bytes(file, "Subject: x\r\n\r\nbody", 17);
  EXPECT_EQ(Bind_EML(wide(file.string())), 0);  // no store open
  ASSERT_EQ(CreatePst(wide((dir.path() / "f.pst").string()), wide("F")), 0);
  EXPECT_EQ(Bind_EML(wide((dir.path() / "missing.eml").string())), 0);
  EXPECT_EQ(Bind_EML(nullptr), 0);
  EXPECT_EQ(Bind_EML(wide(dir.path().string())), 0);  // a directory
  EXPECT_EQ(Bind_EML(wide(file.string())), 1);
  EXPECT_EQ(CommitPst(), 0);
}

}  // namespace
