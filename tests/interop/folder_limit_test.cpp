// The real folder limit, through the shared library: a folder that receives
// 250,001 messages holds 250,000 and goes on in a part folder beside it,
// named after it and the time it was opened, which takes the last one;
// pypff counts the messages of each. Writing takes seconds, but pypff
// 20180714 builds its item tree at open in time that grows with the square
// of the items (20,000 messages: 7 s, 65,536: over 2 min, 250,001: beyond
// a quarter of an hour), so this test is left out of the normal run; the
// same file is checked in CI by tests_items (FolderPartLimitInFile), and the
// readers check part folders on a smaller limit there. Run it alone with
//   tests_interop --gtest_also_run_disabled_tests --gtest_filter='FolderPartLimit.*'
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::TempDir;
using vendrel::test::utf16;

std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  *status = pclose(pipe);
  return out;
}

TEST(FolderPartLimit, DISABLED_PypffCountsTheRealLimitOf250000AndOne) {
  TempDir dir;
  const auto path = dir / "limit.pst";
  auto w = [](const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); };
  SetLogFile((dir / "limit.log").string().c_str());
  ASSERT_EQ(CreatePst(w(utf16(path.string())), w(u"Limit")), 0);
  ASSERT_EQ(CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")), 0);
  constexpr int messages = 250001;
  int failed = 0;
  for (int i = 0; i < messages; ++i)
    if (CreateMessage(w(u"IPM.Note"), 0, 0) != 0) ++failed;
  ASSERT_EQ(failed, 0);
  ASSERT_EQ(CommitPst(), 0);
  SetLogFile(nullptr);

  if (std::system("/usr/bin/python3 -c 'import pypff' >/dev/null 2>&1") != 0) GTEST_SKIP() << "pypff is not installed";
  int status = -1;
  const std::string out = run(
      "/usr/bin/python3 -c \"import pypff,sys\n"
      "f=pypff.file(); f.open(sys.argv[1]); top=f.get_root_folder().get_sub_folder(0)\n"
      "for i in range(top.get_number_of_sub_folders()):\n"
      "  s=top.get_sub_folder(i); print('%s\\t%d' % (s.get_name(), s.get_number_of_sub_messages()))\" '" +
          path.string() + "'",
      &status);
  ASSERT_EQ(status, 0) << out;
  std::istringstream in(out);
  std::vector<std::pair<std::string, int>> folders;
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    folders.emplace_back(line.substr(0, tab), std::stoi(line.substr(tab + 1)));
  }
  ASSERT_EQ(folders.size(), 3u) << out;
  EXPECT_EQ(folders[0], (std::pair<std::string, int>{"Deleted Items", 0}));
  EXPECT_EQ(folders[1], (std::pair<std::string, int>{"Inbox", 250000}));
  EXPECT_TRUE(std::regex_match(folders[2].first,
                               std::regex(R"(Inbox \[Part created \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]_0)")))
      << folders[2].first;
  EXPECT_EQ(folders[2].second, 1);
}

}  // namespace
