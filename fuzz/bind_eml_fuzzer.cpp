// Bind_EML on a file that holds the input, into an open PST: no input may
// crash the import or leave the library unusable. The store is committed
// and started again every few hundred inputs so that it stays small.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bind_fuzz_support.h"
#include "vendrel.h"

namespace {

using vendrel::fuzz::w;
using vendrel::fuzz::wide;

struct Workspace {
  Workspace()
      : directory(vendrel::fuzz::scratch_directory("vendrel-fuzz-")),
        eml(wide(directory + "/input.eml")),
        pst(wide(directory + "/fuzz.pst")) {
    open();
  }
  void open() {
    if (CreatePst(w(pst), w(u"Fuzz")) != 0) std::abort();
    vendrel::fuzz::create_inbox();
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
