// One message as a source gives it to the convert job, with where it came
// from, so that a skipped one can be named.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vendrel::cli {

// Where an input is: a file, and within an mbox the byte offset and line
// of its "From " line.
struct SourceLocation {
  std::filesystem::path file;
  std::optional<uint64_t> offset;  // bytes from the start of the file
  std::optional<uint64_t> line;    // 1-based
};

std::string describe(const SourceLocation& where);

// The state a mailbox records beside a message: Maildir file name flags,
// mbox Status / X-Status / X-Mozilla-Status headers.
struct MessageState {
  bool read = false;
  bool flagged = false;
  bool replied = false;
  bool forwarded = false;
  bool deleted = false;
  bool draft = false;
};

struct MessageInput {
  SourceLocation where;
  // The message's text (RFC 5322), line ends as in the source.
  std::string text;
  // True when `where.file` holds exactly `text`, so that the import can
  // read the file in place.
  bool whole_file = false;
  // The state the source's container records (Maildir flags); the
  // message's own status headers are read by the job.
  std::optional<MessageState> state;
  // A time for a message without a Date header (FILETIME, UTC): the mbox
  // "From " line's date, the Maildir delivery time, the file's time.
  std::optional<uint64_t> fallback_time;
  // Read or not when neither the container nor the message says: a saved
  // .eml file was read, a message of an mbox without a Status line was not.
  bool read_when_unknown = false;
};

// FILETIME from Unix seconds.
inline uint64_t filetime_from_unix(int64_t seconds) {
  return static_cast<uint64_t>((seconds + 11644473600ll) * 10000000ll);
}

}  // namespace vendrel::cli
