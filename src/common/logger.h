// The diagnostic log. One library-wide Logger; logging is off until
// SetLogFile names a file, and every call before that is accepted and writes
// nothing. Lines end in a bare line feed, and a time stamp line "[hh:mm:ss]"
// stands before the first line of each new second. Logging never fails and
// never changes a caller's result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vendrel {

// Owns the open log file.
class LogWriter {
 public:
  LogWriter() = default;
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;
  virtual ~LogWriter();

  platform::file_handle handle = platform::invalid_file;
  uint8_t flag = 0;
};

class QmLog {
 public:
  using clock_function = platform::system_time (*)();

  QmLog();
  QmLog(const QmLog&) = delete;
  QmLog& operator=(const QmLog&) = delete;
  virtual ~QmLog();

  // Opens the log file (appending unless truncate); returns true even when
  // the file cannot be opened, in which case later writes produce nothing.
  virtual bool open(std::string_view path, bool truncate);
  virtual void write_machine_info();
  virtual void close();
  virtual void enable();
  virtual void enable_again();
  virtual void write_line(std::string_view text);
  // printf-style; "%s" takes an 8-bit string.
  virtual void write_formatted(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  virtual void hex_dump(const void* data, size_t size);

  // "[ERROR]: <text>", then the text again on a line of its own.
  void write_error(std::string_view text);
  // "[ERROR]: <text> [<code>]"
  void write_error_code(std::string_view text, int32_t code);
  // "<text> [<code>]"
  void write_with_code(std::string_view text, int32_t code);

  // The clock read for the time stamps; tests set one of their own.
  void set_clock(clock_function clock);

 private:
  void write_raw(const void* data, size_t size);
  // Whether a line would reach a file: checked before any formatting or
  // clock read, so that a library with no log file pays nothing per line.
  bool writing();
  platform::system_time now() const;
  // Sets the last stamp one second before the clock's current time, so that
  // the next line is preceded by a stamp.
  void prime_stamp();

  uint8_t enabled_ = 1;
  LogWriter* writer_ = nullptr;
  std::mutex file_lock_;
  std::mutex format_lock_;
  std::string format_buffer_;
  platform::system_time last_stamp_{};
  clock_function clock_ = nullptr;
};

class Logger : public QmLog {};

// The library-wide instance, constructed at load.
Logger& logger();

}  // namespace vendrel
