// An mbox file read one message at a time in bounded memory: the buffer
// holds one message (up to a limit) and a read-ahead block, never the file.
//
// Messages begin at "From " lines that start the file or follow an empty
// line. Quoted ">From " lines in a body are unquoted the mboxrd way (one ">"
// taken off ">>...From "), which also reads mboxo files. A Content-Length
// header is honoured when it is right: when the message's body of that
// length ends the file or is followed by the next "From " line; then the
// body is taken as it stands (mboxcl2), "From " lines in it included.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "message_input.h"

namespace vendrel::cli {

class MboxReader {
 public:
  // Messages larger than this are skipped without being held.
  static constexpr uint64_t default_message_limit = 1ull << 30;

  explicit MboxReader(const std::filesystem::path& file, uint64_t message_limit = default_message_limit);
  bool is_open() const { return open_; }

  enum class Result { message, skipped, end, error };
  // The next message into `out`. On `skipped`, `out.where` names the bytes
  // left out and `reason` says why; on `error`, `reason` says what failed.
  Result next(MessageInput& out, std::string& reason);

  uint64_t bytes_read() const { return position_; }

 private:
  struct Line {
    uint64_t offset = 0;
    uint64_t number = 0;
    std::string text;  // with its line end
  };
  bool read_line(Line& line);           // false at the end of the file
  bool fill();                          // more bytes into the buffer
  void seek(uint64_t offset, uint64_t line_number);
  bool peek_from_line_at(uint64_t offset);
  bool read_exact(uint64_t count, std::string& out);

  std::filesystem::path path_;
  std::ifstream in_;
  bool open_ = false;
  uint64_t limit_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;  // unread bytes of buffer_
  uint64_t position_ = 0;       // file offset of buffer_[begin_]
  uint64_t line_number_ = 1;    // of the next line
  bool eof_ = false;
  std::optional<Line> pending_;  // a "From " line read ahead
  bool previous_blank_ = true;   // the line before the pending one was empty
};

// "From sender Www Mmm dd hh:mm:ss yyyy" -> FILETIME; nullopt when the line
// carries no date in that form.
std::optional<uint64_t> from_line_time(std::string_view line);

}  // namespace vendrel::cli
