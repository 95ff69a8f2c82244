// Helpers of the MIME tests: readable inline fixtures and the shared corpus.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "mime/registry.h"

namespace vendrel::test {

// Fixtures are written with "\n"; mail text has CR LF.
inline std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

inline std::filesystem::path eml_corpus() { return std::filesystem::path(VENDREL_SHARED_DIR) / "corpus" / "eml"; }

inline std::string read_binary(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sets automatic folding for one test and puts the old setting back.
class FoldingScope {
 public:
  explicit FoldingScope(bool on) : saved_(CMimeEnvironment::auto_folding()) { CMimeEnvironment::set_auto_folding(on); }
  ~FoldingScope() { CMimeEnvironment::set_auto_folding(saved_); }
  FoldingScope(const FoldingScope&) = delete;
  FoldingScope& operator=(const FoldingScope&) = delete;

 private:
  bool saved_;
};

}  // namespace vendrel::test
