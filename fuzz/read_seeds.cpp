// Writes the seed corpora of the read-path fuzz targets into a directory:
//   file/  small PST files: an ANSI and a Unicode store written through the
//          exported calls (folders, a message with recipients and an
//          attachment, an embedded message), and the mail client's files
//          given on the command line;
//   heap/, pc/, tc/  the heap blocks of every property and table context of
//          those files, in the input format of read_fuzz_support.h.
// Usage: fuzz_read_seeds OUTPUT_DIR [CLIENT.pst ...]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "check/pst_reader.h"
#include "common/file.h"
#include "vendrel.h"

namespace fs = std::filesystem;
using namespace vendrel;

namespace {

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

void write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool make_store(const fs::path& path, bool unicode) {
  const std::u16string p = wide(path.string());
  if ((unicode ? CreatePst(w(p), w(u"Seed")) : CreatePstA(path.string().c_str(), "Seed")) != 0) return false;
  if ((unicode ? CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")) : CreateFolderA("", "Inbox", "IPF.Note")) != 0) return false;
  std::vector<uint8_t> data(300, 0x41);
  for (int level = 0; level < 2; ++level) {
    if (level == 0) Bind_attach(data.data(), static_cast<int32_t>(data.size()), "a.txt", nullptr, nullptr, nullptr, 1, 0);
    if (unicode) {
      Bind_subj(w(level ? u"Outer" : u"Inner"), 0);
      Bind_body(w(u"Body"));
      Bind_sender(w(u"s@example.org"), w(u"Sender"), nullptr);
      Bind_recipient(w(u"r@example.org"), w(u"Recipient"), w(u"SMTP"), 1, 1);
      Bind_recipient(w(u"c@example.org"), w(u"Copy"), w(u"SMTP"), 2, 1);
      if (CreateMessage(w(u"IPM.Note"), level == 0, level == 1) != 0) return false;
    } else {
      Bind_subjA(level ? "Outer" : "Inner", 0);
      Bind_bodyA("Body");
      Bind_senderA("s@example.org", "Sender", nullptr);
      Bind_recipientA("r@example.org", "Recipient", "SMTP", 1, 1);
      Bind_recipientA("c@example.org", "Copy", "SMTP", 2, 1);
      if (CreateMessageA("IPM.Note", level == 0, level == 1) != 0) return false;
    }
  }
  return (unicode ? CommitPst() : CommitPstA()) == 0;
}

// One heap seed: flags, then each block and the subnode data with 2-byte lengths.
std::vector<uint8_t> heap_seed(bool unicode, const block_list& blocks, const std::vector<uint8_t>& subnode) {
  std::vector<uint8_t> out{static_cast<uint8_t>(unicode ? 1 : 0)};
  auto chunk = [&](const std::vector<uint8_t>& b) {
    const size_t n = std::min<size_t>(b.size(), 0xFFFF);
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.insert(out.end(), b.begin(), b.begin() + n);
  };
  for (const auto& b : blocks) chunk(b);
  chunk(subnode);
  return out;
}

void heap_seeds(const fs::path& file, const fs::path& out, int& counter) {
  auto f = CMyFile::open_for_reading(wide(file.string()));
  file_check_source source(*f);
  pst_reader reader(source);
  std::string why;
  if (!reader.open(why)) return;
  std::vector<std::string> problems;
  reader.load_trees(problems);
  auto one = [&](uint32_t nid, uint64_t data, uint64_t sub) {
    auto blocks = reader.data_blocks(data, why, 1 << 20);
    if (!blocks || blocks->empty() || (*blocks)[0].size() < 4 || (*blocks)[0][2] != 0xEC) return;
    const uint8_t client = (*blocks)[0][3];
    const char* dir = client == 0xBC ? "pc" : client == 0x7C ? "tc" : "heap";
    std::vector<uint8_t> subnode;
    if (auto subs = reader.subnodes(sub, why); subs && !subs->empty()) {
      auto it = subs->find(0x3F);
      if (it == subs->end()) it = subs->begin();
      if (auto d = reader.data(it->second.bid_data, why, 0xFFFF)) subnode = *d;
    }
    write(out / dir / (std::to_string(counter++) + "-" + std::to_string(nid)), heap_seed(reader.unicode(), *blocks, subnode));
    if (client != 0x7C && counter % 4 == 0) write(out / "heap" / std::to_string(counter++), heap_seed(reader.unicode(), *blocks, {}));
  };
  for (const auto& [nid, node] : reader.nodes()) {
    one(nid, node.bid_data, node.bid_sub);
    if (auto subs = reader.subnodes(node.bid_sub, why))
      for (const auto& [snid, s] : *subs) one(snid, s.bid_data, s.bid_sub);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR [CLIENT.pst ...]\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  for (const char* dir : {"file", "heap", "pc", "tc"}) fs::create_directories(out / dir);
  SetLogFile((out / "seeds.log").string().c_str());
  std::vector<fs::path> files;
  for (bool unicode : {false, true}) {
    fs::path p = out / "file" / (unicode ? "unicode.pst" : "ansi.pst");
    if (!make_store(p, unicode)) {
      std::fprintf(stderr, "cannot write %s\n", p.string().c_str());
      return 1;
    }
    files.push_back(p);
  }
  for (int i = 2; i < argc; ++i) {
    fs::path p = out / "file" / fs::path(argv[i]).filename();
    fs::copy_file(argv[i], p, fs::copy_options::overwrite_existing);
    files.push_back(p);
  }
  int counter = 0;
  for (const auto& f : files) heap_seeds(f, out, counter);
  std::printf("%d heap seeds from %zu files\n", counter, files.size());
  return 0;
}
