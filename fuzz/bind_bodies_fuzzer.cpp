// The body calls of the exported interface on arbitrary bytes: the input
// becomes an HTML body (narrow, or wide as UTF-16 code units) or a Base64
// RTF body (either twin), optionally with a code page, and CreateMessage
// runs the body path over it into an open PST of either variant. No input
// may crash the call or leave the library unusable. The stores are
// committed and started again every few hundred inputs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bind_fuzz_support.h"
#include "vendrel.h"

namespace {

using vendrel::fuzz::w;
using vendrel::fuzz::wide;

constexpr uint32_t code_pages[] = {1252, 1251, 932, 936, 65001, 0};

struct Workspace {
  Workspace() : directory(vendrel::fuzz::scratch_directory("vendrel-fuzz-bodies-")) { open(); }
  void open() {
    const std::u16string path = wide(directory + (ansi ? "/fuzz-ansi.pst" : "/fuzz.pst"));
    const int32_t created = ansi ? CreatePstA((directory + "/fuzz-ansi.pst").c_str(), "Fuzz") : CreatePst(w(path), w(u"Fuzz"));
    if (created != 0) std::abort();
    vendrel::fuzz::create_inbox();
  }
  std::string directory;
  bool ansi = false;
  int count = 0;
};

Workspace& workspace() {
  static Workspace instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Workspace& space = workspace();
  const uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);  // NUL-terminated by c_str()
  const bool narrow = (mode & 0x04) != 0;

  if (narrow) {
    BClearA();
    if (mode & 0x08) Bind_codepageA(code_pages[(mode >> 4) % 6]);
  } else {
    BClear();
    if (mode & 0x08) Bind_codepage(code_pages[(mode >> 4) % 6]);
  }
  int32_t bound = 0;
  switch (mode & 0x03) {
    case 0:
      bound = narrow ? Bind_html_bodyA(text.c_str()) : Bind_html_body(w(wide("")));
      if (!narrow) {
        std::u16string units((size - 1) / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i)
          units[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
        bound = Bind_html_body(w(units));
      }
      break;
    case 1:
      bound = narrow ? Bind_rtf_bodyA(text.c_str()) : Bind_rtf_body(text.c_str());
      break;
    case 2:
      // RTF and HTML both bound: the RTF path wins.
      bound = narrow ? Bind_rtf_bodyA(text.c_str()) : Bind_rtf_body(text.c_str());
      if (narrow) Bind_html_bodyA(text.c_str());
      break;
    default:
      // A plain body beside the HTML: nothing is derived.
      bound = narrow ? Bind_html_bodyA(text.c_str()) : Bind_html_body(w(wide(text.substr(0, text.find('\0')))));
      if (narrow) Bind_bodyA("plain"); else Bind_body(w(u"plain"));
      break;
  }
  if (bound != 0) std::abort();
  const int32_t created = narrow ? CreateMessageA("IPM.Note", 0, 0) : CreateMessage(w(u"IPM.Note"), 0, 0);
  // A body the library cannot take is an error code, never a crash.
  if (created != 0 && created != -1 && created != -2 && created != -3) std::abort();
  if (++space.count % 200 == 0) {
    if (CommitPst() != 0) std::abort();
    space.ansi = !space.ansi;
    space.open();
  }
  return 0;
}
