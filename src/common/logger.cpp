#include "common/logger.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace vendrel {

namespace {

constexpr size_t format_buffer_size = 16384;
constexpr std::string_view rule = "====================================================";
constexpr char hex_digits[] = "0123456789ABCDEF";

// Columns of a hex dump line.
constexpr size_t dump_width = 78;
constexpr size_t dump_colon = 8;
constexpr size_t dump_bytes = 11;
constexpr size_t dump_bar = 60;
constexpr size_t dump_chars = 62;

}  // namespace

LogWriter::~LogWriter() {
  if (handle != platform::invalid_file) platform::close_file(handle);
}

QmLog::QmLog() : format_buffer_(format_buffer_size, '\0') {
  try {
    prime_stamp();
  } catch (...) {
  }
}

QmLog::~QmLog() {
  enabled_ = 1;
  delete writer_;
  writer_ = nullptr;
}

platform::system_time QmLog::now() const {
  return clock_ != nullptr ? clock_() : platform::local_time();
}

void QmLog::prime_stamp() {
  platform::system_time time = now();
  time.second = static_cast<uint16_t>((time.second + 59) % 60);
  std::lock_guard lock(file_lock_);
  last_stamp_ = time;
}

void QmLog::set_clock(clock_function clock) {
  try {
    clock_ = clock;
    prime_stamp();
  } catch (...) {
  }
}

bool QmLog::open(std::string_view path, bool truncate) {
  try {
    close();
    auto writer = std::make_unique<LogWriter>();
    writer->handle = platform::open_file_narrow(
        path, platform::access::write, platform::share::read | platform::share::write,
        truncate ? platform::creation::create_always : platform::creation::open_always,
        platform::file_flag::normal);
    if (writer->handle != platform::invalid_file && !truncate) {
      uint64_t end = 0;
      platform::seek_file(writer->handle, 0, platform::seek_origin::end, &end);
    }
    {
      std::lock_guard lock(file_lock_);
      writer_ = writer.release();
    }
    // Every log file starts with a stamp line, even when the previous file
    // got a line in this same second.
    prime_stamp();
    enable();
  } catch (...) {
  }
  return true;
}

void QmLog::write_machine_info() {
  try {
    write_line(rule);
    write_line("============== LOGGER MACHINE INFO =================");
    write_line(rule);
    write_formatted("__DATE__ [%s]", __DATE__);
    write_formatted("__TIME__ [%s]", __TIME__);
    struct fact {
      const char* format;
      std::optional<std::string> (*value)();
    };
    static constexpr fact facts[] = {
        {"Logging output for [%s]", platform::module_path},
        {"GetCurrentDirectory [%s]", platform::current_directory},
        {"GetSystemDirectory [%s]", platform::system_directory},
        {"GetWindowsDirectory [%s]", platform::windows_directory},
        {"GetTempPath [%s]", platform::temp_path},
        {"GetComputerName [%s]", platform::computer_name},
    };
    for (const fact& f : facts) {
      std::optional<std::string> value;
      try {
        value = f.value();
      } catch (...) {
      }
      if (value) write_formatted(f.format, value->c_str());
    }
    write_line(rule);
  } catch (...) {
  }
}

void QmLog::close() {
  try {
    std::lock_guard lock(file_lock_);
    delete writer_;
    writer_ = nullptr;
  } catch (...) {
  }
}

void QmLog::enable() {
  try {
    std::lock_guard lock(file_lock_);
    enabled_ = 1;
  } catch (...) {
  }
}

void QmLog::enable_again() { enable(); }

bool QmLog::writing() {
  std::lock_guard lock(file_lock_);
  return enabled_ != 0 && writer_ != nullptr && writer_->handle != platform::invalid_file;
}

void QmLog::write_raw(const void* data, size_t size) {
  std::lock_guard lock(file_lock_);
  if (enabled_ == 0 || writer_ == nullptr || writer_->handle == platform::invalid_file) return;
  auto bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    uint32_t chunk = size > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(size);
    uint32_t written = 0;
    if (!platform::write_file(writer_->handle, bytes, chunk, &written) || written == 0) return;
    bytes += written;
    size -= written;
  }
}

void QmLog::write_line(std::string_view text) {
  try {
    if (!writing()) return;
    platform::system_time time = now();
    bool stamp = false;
    {
      std::lock_guard lock(file_lock_);
      if (time.hour != last_stamp_.hour || time.minute != last_stamp_.minute ||
          time.second != last_stamp_.second) {
        last_stamp_ = time;
        stamp = true;
      }
    }
    if (stamp) {
      char buffer[32];
      int length = std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d]", time.hour, time.minute,
                                 time.second);
      if (length > 0) write_raw(buffer, static_cast<size_t>(length));
      write_raw("\n", 1);
    }
    write_raw(text.data(), text.size());
    write_raw("\n", 1);
  } catch (...) {
  }
}

void QmLog::write_formatted(const char* format, ...) {
  if (format == nullptr || !writing()) return;
  va_list args;
  va_start(args, format);
  try {
    std::lock_guard lock(format_lock_);
    va_list first;
    va_copy(first, args);
    int length = std::vsnprintf(format_buffer_.data(), format_buffer_size, format, first);
    va_end(first);
    if (length >= 0 && static_cast<size_t>(length) < format_buffer_size) {
      write_line(std::string_view(format_buffer_.data(), static_cast<size_t>(length)));
    } else if (length >= 0) {
      // Too long for the buffer: format once more into one that fits, so
      // that long messages are written whole.
      std::string large(static_cast<size_t>(length) + 1, '\0');
      std::vsnprintf(large.data(), large.size(), format, args);
      large.resize(static_cast<size_t>(length));
      write_line(large);
    }
  } catch (...) {
  }
  va_end(args);
}

void QmLog::write_error(std::string_view text) {
  try {
    std::string line = "[ERROR]: ";
    line.append(text);
    write_line(line);
    write_line(text);
  } catch (...) {
  }
}

void QmLog::write_error_code(std::string_view text, int32_t code) {
  try {
    std::string line = "[ERROR]: ";
    line.append(text);
    line.append(" [").append(std::to_string(code)).append("]");
    write_line(line);
  } catch (...) {
  }
}

void QmLog::write_with_code(std::string_view text, int32_t code) {
  try {
    std::string line(text);
    line.append(" [").append(std::to_string(code)).append("]");
    write_line(line);
  } catch (...) {
  }
}

void QmLog::hex_dump(const void* data, size_t size) {
  try {
    if (!writing()) return;
    if (size == 0) {
      write_line("");
      return;
    }
    if (data == nullptr) {
      write_line("The binary data here seems to be an invalid memory block");
      write_formatted("There is no way to show it, the pointer was 0x%08" PRIXPTR,
                      reinterpret_cast<uintptr_t>(data));
      return;
    }
    auto bytes = static_cast<const uint8_t*>(data);
    char line[dump_width];
    for (size_t start = 0; start < size; start += 16) {
      std::memset(line, ' ', sizeof line);
      auto offset = static_cast<uint32_t>(start);
      for (int digit = 0; digit < 8; ++digit)
        line[digit] = hex_digits[(offset >> (28 - 4 * digit)) & 0xF];
      line[dump_colon] = ':';
      line[dump_bar] = '|';
      size_t count = size - start < 16 ? size - start : 16;
      for (size_t j = 0; j < count; ++j) {
        uint8_t byte = bytes[start + j];
        line[dump_bytes + 3 * j] = hex_digits[byte >> 4];
        line[dump_bytes + 3 * j + 1] = hex_digits[byte & 0xF];
        line[dump_chars + j] = byte < 32 ? '.' : static_cast<char>(byte);
      }
      write_line(std::string_view(line, sizeof line));
    }
  } catch (...) {
  }
}

Logger& logger() {
  static Logger instance;
  return instance;
}

namespace {
// Builds the library-wide logger while the library loads.
[[maybe_unused]] Logger& loaded_logger = logger();
}  // namespace

}  // namespace vendrel
