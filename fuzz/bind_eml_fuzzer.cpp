// Bind_EML on a file that holds the input, into an open PST: no input may
// crash the import or leave the library unusable. The store is committed
// and started again every few hundred inputs so that it stays small.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "vendrel.h"

namespace {

std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
const vendrel_wchar* w(const std::u16string& text) { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }

struct Workspace {
  Workspace() {
    std::random_device random;
    const auto dir = std::filesystem::temp_directory_path() / ("vendrel-fuzz-" + std::to_string(random()));
    std::filesystem::create_directories(dir);
    directory = dir.string();
    eml = wide(directory + "/input.eml");
    pst = wide(directory + "/fuzz.pst");
    SetLogFile((directory + "/fuzz.log").c_str());
    open();
  }
  void open() {
    if (CreatePst(w(pst), w(u"Fuzz")) != 0) std::abort();
    if (CreateFolder(w(u""), w(u"Inbox"), w(u"IPF.Note")) != 0) std::abort();
  }
  std::string directory;
  std::u16string eml, pst;
  int count = 0;
};

Workspace& workspace() {
  static Workspace instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Workspace& space = workspace();
  const std::string path(space.eml.begin(), space.eml.end());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);
  const int32_t result = Bind_EML(w(space.eml));
  if (result != 0 && result != 1) std::abort();
  if (++space.count % 300 == 0) {
    if (CommitPst() != 0) std::abort();
    space.open();
  }
  return 0;
}
