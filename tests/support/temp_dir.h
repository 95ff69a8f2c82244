// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vendrel::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> read_file_bytes(const std::filesystem::path& path);
std::string read_file_text(const std::filesystem::path& path);
void write_file_bytes(const std::filesystem::path& path, const void* data, size_t size);

// UTF-16 text from a UTF-8 literal, for tests that build wide strings.
std::u16string utf16(std::string_view utf8);
// UTF-8 text of a (well-formed) UTF-16 string, for comparing with readers' output.
std::string utf8(std::u16string_view utf16_text);

}  // namespace vendrel::test
