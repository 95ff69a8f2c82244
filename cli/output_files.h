// The files a job writes, made in a private directory beside the output and
// moved into place only once the store has been committed: an interrupted
// or failed job leaves no file under the output's name, and a killed one
// only that directory, named as temporary.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vendrel::cli {

class OutputFiles {
 public:
  explicit OutputFiles(std::filesystem::path output);
  ~OutputFiles();  // removes the work directory and what is in it

  // Makes the work directory; false with `error` set when it cannot.
  bool prepare(std::string& error);

  // The store's file in the work directory (its series follows it there).
  std::filesystem::path store_file() const { return work_ / "out.pst"; }
  // A scratch file for one message.
  std::filesystem::path message_file(uint64_t number) const {
    return work_ / ("message-" + std::to_string(number) + ".eml");
  }
  const std::filesystem::path& work_directory() const { return work_; }

  // Moves the store and the rest of its series to the output's name:
  // out.pst -> OUTPUT, "out - 001.pst" -> "OUTPUT - 001.pst" (without a
  // ".pst" ending of OUTPUT). Returns the final names, first file first.
  bool publish(std::vector<std::filesystem::path>& written, std::string& error);

  // Deletes the work directory now.
  void discard();

 private:
  std::filesystem::path output_, work_;
  bool made_ = false;
};

}  // namespace vendrel::cli
