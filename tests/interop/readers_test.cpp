// Independent PST readers on files written through the shared library:
// libpst (readpst, lspst), libpff (pffinfo, pffexport, pypff) and
// pst-extractor must each open a Unicode and an ANSI file and show exactly
// the folder tree that was made, empty folders and standard folders included.
// A reader that is not installed skips its test (CI installs them all).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

using vendrel::test::TempDir;
using vendrel::test::utf16;

struct folder_spec {
  std::string name;  // UTF-8
  std::string container_class;
  std::vector<folder_spec> children;
  bool by_change = false;  // made by ChangeFolder (always "IPF.Note")
};

struct written_file {
  std::filesystem::path path;
  std::string store_name;
  bool unicode = false;
  folder_spec ipm;  // the IPM subtree as the calls made it, Deleted Items first
};

folder_spec many_children(const std::string& name, int count) {
  folder_spec many{name, "IPF.Note", {}};
  for (int i = 0; i < count; ++i) {
    char sub[16];
    std::snprintf(sub, sizeof sub, "Sub %03d", i);
    many.children.push_back({sub, i % 2 ? "IPF.Note" : "IPF.Task", {}});
  }
  return many;
}

folder_spec unicode_tree() {
  return {"Start of IPM tree", "",
          {{"Deleted Items", "", {}},
           {"Inbox", "IPF.Note",
            {{"2024", "IPF.Note", {{"March", "IPF.Note", {}}}},
             {"\xC3\x89t\xC3\xA9 \xC3\xA0 Z\xC3\xBCrich", "IPF.Note", {}}}},
           {"\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B", "IPF.Contact", {}},
           {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "IPF.Task", {{"\xE5\x86\x85\xE9\x83\xA8", "IPF.Note", {}}}},
           {"\xF0\x9F\x98\x80 Smile \xF0\xA0\x80\x8B", "IPF.Appointment", {}},
           {"Notes", "IPF.Note", {{"Ideas", "IPF.Note", {}, true}}, true},
           {"Empty", "IPF.StickyNote", {}},
           many_children("Many", 130)}};
}

folder_spec ansi_tree() {
  return {"Start of IPM tree", "",
          {{"Deleted Items", "", {}},
           {"Inbox", "IPF.Note", {{"2024", "IPF.Note", {{"March", "IPF.Note", {}}}}, {"Old Mail", "IPF.Note", {}}}},
           {"Contacts", "IPF.Contact", {}},
           {"Tasks", "IPF.Task", {{"Done", "IPF.Task", {}}}},
           {"Notes", "IPF.Note", {{"Ideas", "IPF.Note", {}, true}}, true},
           {"Empty", "IPF.StickyNote", {}},
           many_children("Many", 130)}};
}

// Makes the folders below `node` through the calls of the file's width.
void make_folders(const folder_spec& node, const std::string& path, bool unicode) {
  for (const folder_spec& child : node.children) {
    if (child.name == "Deleted Items") continue;  // a standard folder
    const std::string full = path.empty() ? child.name : path + "\\" + child.name;
    int32_t result;
    if (child.by_change)
      result = unicode ? ChangeFolder(reinterpret_cast<const vendrel_wchar*>(utf16(full).c_str()))
                       : ChangeFolderA(full.c_str());
    else if (unicode)
      result = CreateFolder(reinterpret_cast<const vendrel_wchar*>(utf16(path).c_str()),
                            reinterpret_cast<const vendrel_wchar*>(utf16(child.name).c_str()),
                            reinterpret_cast<const vendrel_wchar*>(utf16(child.container_class).c_str()));
    else
      result = CreateFolderA(path.c_str(), child.name.c_str(), child.container_class.c_str());
    ASSERT_EQ(result, 0) << full;
    make_folders(child, full, unicode);
  }
}

class Readers : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "interop.log").string().c_str());
    files_[1] = {dir_->path() / "unicode.pst", "Interop (Unicode)", true, unicode_tree()};
    files_[0] = {dir_->path() / "ansi.pst", "Interop (ANSI)", false, ansi_tree()};
    for (const written_file& f : files_) {
      if (f.unicode)
        ASSERT_EQ(CreatePst(reinterpret_cast<const vendrel_wchar*>(utf16(f.path.string()).c_str()),
                            reinterpret_cast<const vendrel_wchar*>(utf16(f.store_name).c_str())),
                  0);
      else
        ASSERT_EQ(CreatePstA(f.path.string().c_str(), f.store_name.c_str()), 0);
      make_folders(f.ipm, "", f.unicode);
      ASSERT_EQ(f.unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  const written_file& file() const { return files_[GetParam() ? 1 : 0]; }
  std::string quoted_path() const { return "'" + file().path.string() + "'"; }
  std::filesystem::path scratch(const std::string& name) const {
    return dir_->path() / ((GetParam() ? "unicode-" : "ansi-") + name);
  }

  // The whole tree as the readers that show the root see it.
  folder_spec root() const {
    return {"", "", {file().ipm, {"Search start", "", {}}}};
  }

  static TempDir* dir_;
  static written_file files_[2];
};
TempDir* Readers::dir_ = nullptr;
written_file Readers::files_[2];

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "depth<TAB>name<TAB>class" in preorder, the format of the dump scripts.
void preorder(const folder_spec& node, int depth, std::vector<std::string>& out) {
  out.push_back(std::to_string(depth) + "\t" + node.name + "\t" + node.container_class);
  for (const folder_spec& child : node.children) preorder(child, depth + 1, out);
}

// A name as libpff 20180714 (Debian 12) spells it in UTF-8: it decodes UTF-16
// surrogate pairs to code points 0x3FF too low (U+1F600 becomes U+1F201).
// The stored UTF-16 is right: pst-extractor and the raw record pypff parses
// show it unchanged.
std::string as_libpff_shows(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0xF0) {
      const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
      out.append(utf8, i, n);
      i += n;
      continue;
    }
    uint32_t cp = ((lead & 0x07u) << 18) | ((utf8[i + 1] & 0x3Fu) << 12) | ((utf8[i + 2] & 0x3Fu) << 6) |
                  (utf8[i + 3] & 0x3Fu);
    i += 4;
    cp -= 0x3FF;
    if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

void paths_of(const folder_spec& node, const std::string& prefix, std::set<std::string>& out) {
  for (const folder_spec& child : node.children) {
    const std::string path = (prefix.empty() ? "" : prefix + "/") + as_libpff_shows(child.name);
    out.insert(path);
    paths_of(child, path, out);
  }
}

// Names and nesting only, children in name order.
std::string shape(const folder_spec& node) {
  std::vector<std::string> children;
  for (const folder_spec& child : node.children) children.push_back(shape(child));
  std::sort(children.begin(), children.end());
  std::string out = node.name + "{";
  for (const auto& c : children) out += c + ",";
  return out + "}";
}

TEST_P(Readers, PypffShowsTheTreeWithItsClasses) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  run_result r = run("/usr/bin/python3 '" + interop_dir + "/pypff_dump.py' --folders " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;
  std::vector<std::string> expected;
  preorder(root(), 0, expected);
  EXPECT_EQ(lines_of(r.out), expected);
}

TEST_P(Readers, PstExtractorShowsTheTreeWithItsClasses) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  run_result r = run("node '" + interop_dir + "/pst_extractor_dump.js' --folders " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;
  std::vector<std::string> expected;
  preorder(root(), 0, expected);
  EXPECT_EQ(lines_of(r.out), expected);
  run_result full = run("node '" + interop_dir + "/pst_extractor_dump.js' " + quoted_path());
  ASSERT_EQ(full.status, 0);
  EXPECT_NE(full.out.find("\"store\": \"" + file().store_name + "\""), std::string::npos);
}

TEST_P(Readers, PffexportMakesADirectoryPerFolder) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  const auto target = scratch("pffexport");
  run_result r = run("pffexport -q -t '" + target.string() + "' " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;
  const std::filesystem::path exported = target.string() + ".export";
  std::set<std::string> shown;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(exported))
    if (entry.is_directory()) shown.insert(std::filesystem::relative(entry.path(), exported).generic_string());
  std::set<std::string> expected;
  paths_of(root(), "", expected);
  EXPECT_EQ(shown, expected);
  EXPECT_FALSE(std::filesystem::exists(target.string() + ".orphans"));
}

TEST_P(Readers, PffinfoFindsTheStandardFolders) {
  if (!available("command -v pffinfo")) GTEST_SKIP() << "pffinfo is not installed";
  run_result r = run("pffinfo " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;
  EXPECT_NE(r.out.find(GetParam() ? "File type:\t\t64-bit" : "File type:\t\t32-bit"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Folders:\t\tSubtree, Wastbox, Finder"), std::string::npos) << r.out;
}

TEST_P(Readers, ReadpstProcessesEveryFolderUnderTheStore) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  const auto target = scratch("readpst");
  std::filesystem::create_directories(target);
  // One process (-j 0), so that the lines come in the order of the walk.
  run_result r = run("readpst -j 0 -D -o '" + target.string() + "' " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;

  // "Processing Folder" opens a folder; '"name" - n items done' closes a
  // folder with children, which are the last n folders still open.
  std::vector<folder_spec> open;
  folder_spec top{file().store_name, "", {}};
  bool closed = false;
  for (const std::string& line : lines_of(r.out)) {
    const std::string opening = "Processing Folder \"";
    if (line.rfind(opening, 0) == 0 && line.back() == '"') {
      open.push_back({line.substr(opening.size(), line.size() - opening.size() - 1), "", {}});
      continue;
    }
    const size_t done = line.find("\" - ");
    if (line.rfind("\t\"", 0) != 0 || done == std::string::npos) continue;
    const std::string name = line.substr(2, done - 2);
    const size_t count = std::stoul(line.substr(done + 4));
    ASSERT_GE(open.size(), count) << line;
    std::vector<folder_spec> children(open.end() - static_cast<std::ptrdiff_t>(count), open.end());
    open.resize(open.size() - count);
    if (open.empty() && name == file().store_name) {
      top.children = children;
      closed = true;
    } else {
      ASSERT_FALSE(open.empty()) << line;
      ASSERT_EQ(open.back().name, name) << line;
      open.back().children = children;
    }
  }
  EXPECT_TRUE(closed) << r.out;
  EXPECT_TRUE(open.empty());
  folder_spec expected = file().ipm;
  expected.name = file().store_name;
  EXPECT_EQ(shape(top), shape(expected));
}

TEST_P(Readers, LspstListsEveryFolderThatHasSubfolders) {
  if (!available("command -v lspst")) GTEST_SKIP() << "lspst is not installed";
  run_result r = run("lspst " + quoted_path());
  ASSERT_EQ(r.status, 0) << r.command << "\n" << r.out;
  std::vector<std::string> shown;
  for (const std::string& line : lines_of(r.out))
    if (line.rfind("Folder \"", 0) == 0) shown.push_back(line.substr(8, line.size() - 9));
  std::vector<std::string> expected;
  std::function<void(const folder_spec&)> walk = [&](const folder_spec& node) {
    for (const folder_spec& child : node.children) {
      if (!child.children.empty()) expected.push_back(child.name);
      walk(child);
    }
  };
  walk(file().ipm);
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(shown, expected) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Files, Readers, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
