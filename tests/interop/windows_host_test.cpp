// The files that vendrel.dll wrote under wine (tests/windows/host.c) against
// the files that the Linux library writes from the same calls
// (windows_scenario.h): every independent reader must open both and show
// the same folders, items, texts, recipients, attachments and properties;
// the EML trees must hold the same files with the same text. Identifiers
// that the library generates (record and search keys, entry IDs, the
// boundary-free parts of a MIME date) are left out of the comparison.
//
// The Windows side comes from tools/windows_tests.sh, which runs the host
// and then this test with VENDREL_WINDOWS_HOST_OUTPUT naming the host's
// output folder. Without it the test skips.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

#include "interop/windows_scenario.h"

namespace {

using namespace vendrel::interop;

namespace fs = std::filesystem;
using vendrel::test::read_file_text;
using vendrel::test::TempDir;
using vendrel::test::utf8;

std::u16string wide(const std::string& utf8_text) { return vendrel::test::utf16(utf8_text); }

fs::path long_folder_of(const fs::path& folder) {
  fs::path p = folder;
  for (const vendrel_wchar* component : scenario_long_components)
    p /= utf8(std::u16string_view(component));
  return p;
}

// The scenario through the Linux library, in a child process: EML mode,
// once on, stays on for the life of the library, and the other tests of
// this program still write PST files.
int write_linux_side(const fs::path& folder) {
  fs::create_directories(long_folder_of(folder));
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    SetLogFile((folder / "linux.log").c_str());
    scenario_api api{};
#define SCENARIO_LINK(name, required) api.name = &::name;
    SCENARIO_CALLS(SCENARIO_LINK)
#undef SCENARIO_LINK
    const std::u16string wide_folder = wide(folder.string());
    const std::u16string wide_long = wide(long_folder_of(folder).string());
    scenario_paths paths{wide_folder.c_str(), folder.c_str(), wide_long.c_str()};
    std::fflush(stderr);
    _exit(std::min(scenario_write_all(&api, &paths), 100));
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

const char* windows_output() { return std::getenv("VENDREL_WINDOWS_HOST_OUTPUT"); }

class WindowsHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!windows_output()) return;
    dir_ = new TempDir();
    fs::create_directories(dir_->path() / "linux");
    linux_failures_ = write_linux_side(dir_->path() / "linux");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!windows_output())
      GTEST_SKIP() << "VENDREL_WINDOWS_HOST_OUTPUT is not set (tools/windows_tests.sh sets it)";
    ASSERT_EQ(linux_failures_, 0) << "the scenario failed through the Linux library";
  }

  static fs::path windows_folder() { return fs::path(windows_output()); }
  static fs::path linux_folder() { return dir_->path() / "linux"; }
  static fs::path scratch(const std::string& name) {
    const fs::path p = dir_->path() / "scratch" / name;
    fs::create_directories(p);
    return p;
  }

  static TempDir* dir_;
  static int linux_failures_;
};
TempDir* WindowsHost::dir_ = nullptr;
int WindowsHost::linux_failures_ = -1;

// The three PST files of the scenario, by their place below the output folder.
std::vector<fs::path> pst_files() {
  return {"unicode.pst", "ansi.pst", long_folder_of("") / utf8(u"tief \u00FCber MAX_PATH.pst")};
}

// Properties whose values the library makes up per run: record keys,
// search keys, entry IDs (they hold the store's record key), the
// conversation index and the per-item GUID (0x0E30), the creation and
// modification times it stamps, and the times of the item kinds that
// default to the time of writing (named PT_SYSTIME properties).
bool generated_record(const std::string& line) {
  static const std::string marker = "\trecord\t";
  const size_t at = line.find(marker);
  if (at == std::string::npos || line.size() < at + marker.size() + 9) return false;
  const std::string id = line.substr(at + marker.size(), 4), type = line.substr(at + marker.size() + 5, 4);
  static const char* const ids[] = {"0FF9", "300B", "0FFF", "0071", "0FF8", "0E0A", "3007", "3008", "0E30"};
  for (const char* generated : ids)
    if (id == generated) return true;
  return id >= "8000" && type == "0040";
}

std::vector<std::string> lines_of(const std::string& text, bool (*drop)(const std::string&) = nullptr) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!drop || !drop(line)) lines.push_back(line);
  return lines;
}

// The lines one side has and the other lacks, for the failure message.
std::string difference(const std::vector<std::string>& windows, const std::vector<std::string>& linux_lines) {
  std::multiset<std::string> w(windows.begin(), windows.end()), l(linux_lines.begin(), linux_lines.end());
  std::string out;
  int shown = 0;
  for (const auto& line : w)
    if (!l.count(line) && shown++ < 20) out += "  windows only: " + line + "\n";
  for (const auto& line : l)
    if (!w.count(line) && shown++ < 40) out += "  linux only:   " + line + "\n";
  return out;
}

struct reader_case {
  const char* name;
  const char* probe;  // a command that succeeds when the reader is installed
  // The command for one file; %s is the quoted file, %t a scratch folder.
  std::string (*command)(const std::string& file, const std::string& scratch);
  bool drop_generated;
};

std::string lines_command(const char* reader, const std::string& file, const std::string& scratch) {
  return "/usr/bin/python3 '" + interop_dir + "/reader_lines.py' " + reader + " " + file + " " + scratch;
}

const reader_case reader_cases[] = {
    {"pypff", "/usr/bin/python3 -c 'import pypff'",
     [](const std::string& f, const std::string& s) { return lines_command("pypff", f, s); }, false},
    {"pypff_records", "/usr/bin/python3 -c 'import pypff'",
     [](const std::string& f, const std::string& s) { return lines_command("records", f, s); }, true},
    {"pypff_folders", "/usr/bin/python3 -c 'import pypff'",
     [](const std::string& f, const std::string&) {
       return "/usr/bin/python3 '" + interop_dir + "/pypff_dump.py' --folders " + f;
     },
     false},
    {"pffexport", "command -v pffexport",
     [](const std::string& f, const std::string& s) { return lines_command("pffexport", f, s); }, false},
    {"readpst", "command -v readpst",
     [](const std::string& f, const std::string& s) { return lines_command("readpst", f, s); }, false},
    {"pst_extractor", "node --version",
     [](const std::string& f, const std::string&) { return "node '" + interop_dir + "/pst_extractor_lines.js' " + f; },
     false},
    {"pst_extractor_folders", "node --version",
     [](const std::string& f, const std::string&) {
       return "node '" + interop_dir + "/pst_extractor_dump.js' --folders " + f;
     },
     false},
};

TEST_F(WindowsHost, ReadersShowTheSameFilesFromBothLibraries) {
  for (const fs::path& file : pst_files()) {
    const fs::path windows = windows_folder() / file, linux_file = linux_folder() / file;
    ASSERT_TRUE(fs::exists(windows)) << windows << " was not written by the Windows host";
    ASSERT_TRUE(fs::exists(linux_file)) << linux_file;
    for (const reader_case& reader : reader_cases) {
      SCOPED_TRACE(std::string(reader.name) + " on " + file.filename().string());
      if (!available(reader.probe)) {
        std::printf("[ SKIPPED  ] %s is not installed\n", reader.name);
        continue;
      }
      if (std::string(reader.name).rfind("pst_extractor", 0) == 0 &&
          !fs::exists(interop_dir + "/node_modules/pst-extractor"))
        continue;
      const std::string tag = std::string(reader.name) + "-" + std::to_string(std::hash<std::string>{}(file.string()));
      const run_result w = run(reader.command(quoted(windows), quoted(scratch("windows-" + tag))));
      const run_result l = run(reader.command(quoted(linux_file), quoted(scratch("linux-" + tag))));
      ASSERT_EQ(w.status, 0) << "the reader fails on the Windows file";
      ASSERT_EQ(l.status, 0) << "the reader fails on the Linux file";
      auto drop = reader.drop_generated ? generated_record : nullptr;
      const auto wl = lines_of(w.out, drop), ll = lines_of(l.out, drop);
      EXPECT_FALSE(wl.empty()) << "the reader shows nothing";
      EXPECT_TRUE(wl == ll) << "the readers show the two files differently:\n" << difference(wl, ll);
    }
  }
}

// Every file below `root`, relative to it, in UTF-8.
std::set<std::string> tree(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
  return files;
}

// An EML file without its Date header, whose local offset and the clock
// of the writing machine decide it.
std::string without_date(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Date:", 0) != 0) out += line + "\n";
  return out;
}

TEST_F(WindowsHost, EmlTreesHoldTheSameFiles) {
  const fs::path windows = windows_folder() / "eml", linux_root = linux_folder() / "eml";
  if (!fs::exists(linux_root)) GTEST_SKIP() << "the library has no EML calls yet";
  ASSERT_TRUE(fs::exists(windows)) << "the Windows host wrote no EML tree";
  const auto files = tree(windows);
  EXPECT_EQ(files, tree(linux_root));
  bool deep = false;
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    deep = deep || name.size() > 259;
    if (!fs::exists(linux_root / name)) continue;
    EXPECT_EQ(without_date(read_file_text(windows / name)), without_date(read_file_text(linux_root / name)));
  }
  EXPECT_TRUE(deep) << "no EML file lies deeper than the plain Win32 limit";
}

}  // namespace
