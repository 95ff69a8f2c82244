// Files of a series and folder parts, made through the exported calls with
// the store's test limits lowered, and read by the independent readers:
// past the size limit messages go to "name - 001.pst" and "name - 002.pst",
// each file shows the same folder tree and exactly the messages that went
// to it, and one CommitPst writes them all; past the part limit a folder
// goes on in part folders beside it, which the readers show with the
// messages each part took. A reader that is not installed is left out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "items_test_support.h"
#include "vendrel.h"

namespace vendrel::test {
namespace {

const std::string interop_dir = VENDREL_SOURCE_DIR "/tests/interop";

std::string run_reader(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  *status = pclose(pipe);
  return out;
}
bool available(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }
std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// The readers that print "<path>\t<field>\t<value>" lines, by name.
struct line_reader {
  const char* name;
  std::string probe;
  std::string command;  // the file's path follows
};
std::vector<line_reader> line_readers(const std::filesystem::path& scratch) {
  const std::string lines = "/usr/bin/python3 '" + interop_dir + "/reader_lines.py' ";
  return {
      {"pypff", "/usr/bin/python3 -c 'import pypff'", lines + "pypff"},
      {"readpst", "command -v readpst", lines + "readpst"},
      {"pst-extractor", "node --version && test -d '" + interop_dir + "/node_modules/pst-extractor'",
       "node '" + interop_dir + "/pst_extractor_lines.js'"},
  };
}

// (message path) -> subject for every message a reader shows in a file.
std::multiset<std::string> shown_messages(const line_reader& r, const std::filesystem::path& file,
                                          const std::filesystem::path& scratch) {
  int status = -1;
  std::string command = r.command + " " + quoted(file);
  if (std::string(r.name) != "pst-extractor") command += " " + quoted(scratch);
  const std::string out = run_reader(command, &status);
  EXPECT_EQ(status, 0) << command;
  std::multiset<std::string> paths;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) {
    const size_t tab = l.find('\t');
    if (l.compare(tab + 1, 8, "subject\t") == 0) paths.insert(l.substr(0, tab));
  }
  return paths;
}

// The folder tree as pypff or pst-extractor print it with --folders.
std::string folder_tree(const std::string& command, const std::filesystem::path& file) {
  int status = -1;
  std::string out = run_reader(command + " --folders " + quoted(file), &status);
  EXPECT_EQ(status, 0) << command;
  return out;
}

class SeriesReaders : public items_test {
 protected:
  void SetUp() override {
    items_test::SetUp();
    CommitPst();
    SetLogFile((dir / "series.log").string().c_str());
  }
  void TearDown() override {
    CommitPst();
    items_test::TearDown();
  }
};

TEST_F(SeriesReaders, MessagesPastTheSizeLimitGoToTheNextFilesOfTheSeries) {
  const std::filesystem::path files[] = {dir / "mail.pst", dir / "mail - 001.pst", dir / "mail - 002.pst"};
  auto w = [](const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); };
  set_file_size_limit_for_testing(true, 1 << 20);
  ASSERT_EQ(CreatePst(w(utf16(files[0].string())), w(u"Series")), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
  ASSERT_EQ(CreateFolder(w(u"Inbox"), w(u"Projects"), w(u"IPF.Note")), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Tasks"), w(u"IPF.Task")), 0);

  // Which file each message went to: the newest file of the series that
  // exists once the message is created.
  std::multiset<std::string> went_to[3];
  const std::vector<uint8_t> payload(150 * 1024, 0x5A);
  int made = 0;
  bool late_folder = false;
  while (made < 60 && (!std::filesystem::exists(files[2]) || went_to[2].size() < 2)) {
    const std::u16string folder = made % 2 ? u"Inbox\\Projects" : u"Inbox";
    ASSERT_EQ(ChangeFolder(w(folder)), 0);
    const std::string subject = "Message " + std::to_string(made);
    Bind_subj(w(utf16(subject)), 0);
    Bind_body(w(u"In a series."));
    Bind_attach(payload.data(), static_cast<int32_t>(payload.size()), "payload.bin", nullptr, nullptr, nullptr, 1, 0);
    ASSERT_EQ(CreateMessage(w(u"IPM.Note"), 0, 0), 0) << subject;
    int newest = std::filesystem::exists(files[2]) ? 2 : std::filesystem::exists(files[1]) ? 1 : 0;
    went_to[newest].insert((made % 2 ? "Inbox/Projects/" : "Inbox/") + subject);
    // A folder made once the series has begun reaches every file of it.
    if (newest == 1 && !late_folder) {
      ASSERT_EQ(CreateFolder(w(u""), w(u"Late"), w(u"IPF.Note")), 0);
      late_folder = true;
    }
    ++made;
  }
  ASSERT_TRUE(std::filesystem::exists(files[2]));
  ASSERT_FALSE(went_to[0].empty());
  ASSERT_FALSE(went_to[1].empty());
  ASSERT_EQ(CommitPst(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "mail - 003.pst"));

  std::string trees[2];
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(files[i].filename().string());
    EXPECT_EQ(walker_findings(files[i]), "");
    {
      stored_file<uint64_t> stored(files[i]);
      EXPECT_EQ(undecodable_messages(stored), "");
    }
    const auto scratch = dir / ("scratch-" + std::to_string(i));
    std::filesystem::create_directories(scratch);
    for (const line_reader& r : line_readers(scratch)) {
      if (!available(r.probe)) continue;
      SCOPED_TRACE(r.name);
      EXPECT_EQ(shown_messages(r, files[i], scratch), went_to[i]);
    }
    const std::pair<std::string, std::string> tree_readers[] = {
        {"/usr/bin/python3 -c 'import pypff'", "/usr/bin/python3 '" + interop_dir + "/pypff_dump.py'"},
        {"node --version && test -d '" + interop_dir + "/node_modules/pst-extractor'",
         "node '" + interop_dir + "/pst_extractor_dump.js'"}};
    for (size_t k = 0; k < 2; ++k) {
      if (!available(tree_readers[k].first)) continue;
      const std::string tree = folder_tree(tree_readers[k].second, files[i]);
      if (i == 0) {
        trees[k] = tree;
        EXPECT_NE(tree.find("\tLate\t"), std::string::npos) << tree;
        EXPECT_NE(tree.find("\tProjects\t"), std::string::npos) << tree;
      } else {
        EXPECT_EQ(tree, trees[k]);
      }
    }
  }
}

TEST_F(SeriesReaders, AFolderPastThePartLimitGoesOnInPartFolders) {
  // The ANSI file, whose row indexes hold 16-bit row numbers.
  set_part_message_limit_for_testing(3);
  const auto path = dir / "parts.pst";
  ASSERT_EQ(CreatePstA(path.string().c_str(), "Parts"), 0);
  ASSERT_EQ(CreateFolderA("", "Inbox", "IPF.Note"), 0);
  for (int i = 0; i < 7; ++i) {
    const std::string subject = "Part message " + std::to_string(i);
    Bind_subjA(subject.c_str(), 0);
    ASSERT_EQ(CreateMessageA("IPM.Note", 0, 0), 0);
  }
  ASSERT_EQ(CommitPstA(), 0);
  EXPECT_EQ(walker_findings(path), "");
  // readpst names its output directories with "_" for ":".
  const std::regex part_name(R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d[:_]\d\d[:_]\d\d\]_\d+)");
  const auto scratch = dir / "scratch";
  std::filesystem::create_directories(scratch);
  for (const line_reader& r : line_readers(scratch)) {
    if (!available(r.probe)) continue;
    SCOPED_TRACE(r.name);
    std::map<std::string, std::vector<std::string>> by_folder;
    for (const std::string& p : shown_messages(r, path, scratch)) {
      const size_t slash = p.rfind('/');
      by_folder[p.substr(0, slash)].push_back(p.substr(slash + 1));
    }
    ASSERT_EQ(by_folder.size(), 3u);
    size_t total = 0, parts = 0;
    std::multiset<size_t> sizes;
    for (const auto& [folder, subjects] : by_folder) {
      total += subjects.size();
      sizes.insert(subjects.size());
      if (folder != "Inbox") {
        EXPECT_TRUE(std::regex_match(folder, part_name)) << folder;
        ++parts;
      }
    }
    EXPECT_EQ(by_folder["Inbox"].size(), 3u);
    EXPECT_EQ(parts, 2u);
    EXPECT_EQ(total, 7u);
    EXPECT_EQ(sizes, (std::multiset<size_t>{1, 3, 3}));
  }
}

}  // namespace
}  // namespace vendrel::test
