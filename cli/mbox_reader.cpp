#include "mbox_reader.h"

#include <cstring>
#include <ctime>

#include "text.h"

namespace vendrel::cli {

namespace {

constexpr size_t block_size = 1 << 20;   // read-ahead
constexpr size_t max_line_piece = 1 << 20;  // a longer line comes in pieces

bool is_blank(std::string_view line) { return line == "\n" || line == "\r\n"; }

bool starts_from(std::string_view line) { return line.size() >= 5 && line.substr(0, 5) == "From "; }

// ">From ", ">>From " ...: quoted "From " lines of a body.
bool is_quoted_from(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == '>') ++i;
  return i > 0 && starts_from(line.substr(i));
}

int month_number(std::string_view name) {
  static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i)
    if (iequals(name, months[i])) return i + 1;
  return 0;
}

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

std::optional<uint64_t> from_line_time(std::string_view line) {
  // "From sender Www Mmm dd hh:mm:ss yyyy" (asctime), sometimes with a
  // zone before the year; the sender may be missing.
  std::vector<std::string_view> words;
  size_t i = 5;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '\n') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  for (size_t w = 0; w + 3 < words.size(); ++w) {
    const int month = month_number(words[w]);
    if (!month) continue;
    int day = std::atoi(std::string(words[w + 1]).c_str());
    int hour = 0, minute = 0, second = 0;
    if (std::sscanf(std::string(words[w + 2]).c_str(), "%d:%d:%d", &hour, &minute, &second) < 2) continue;
    int year = 0;
    for (size_t k = w + 3; k < words.size() && k < w + 5 && !year; ++k)
      if (words[k].size() == 4 && std::isdigit(static_cast<unsigned char>(words[k][0]))) year = std::atoi(std::string(words[k]).c_str());
    if (year < 1970 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    const int64_t seconds = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                            hour * 3600 + minute * 60 + second;
    return filetime_from_unix(seconds);
  }
  return std::nullopt;
}

MboxReader::MboxReader(const std::filesystem::path& file, uint64_t message_limit)
    : path_(file), in_(file, std::ios::binary), limit_(message_limit), buffer_(block_size * 2) {
  open_ = static_cast<bool>(in_);
}

bool MboxReader::fill() {
  if (eof_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < block_size) buffer_.resize(end_ + block_size);
  in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
  const auto got = static_cast<size_t>(in_.gcount());
  if (got == 0) {
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool MboxReader::read_line(Line& line) {
  line.offset = position_;
  line.number = line_number_;
  line.text.clear();
  size_t scanned = begin_;
  for (;;) {
    const void* found = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (found) {
      const size_t stop = static_cast<size_t>(static_cast<const char*>(found) - buffer_.data()) + 1;
      line.text.assign(buffer_.data() + begin_, stop - begin_);
      position_ += stop - begin_;
      begin_ = stop;
      ++line_number_;
      return true;
    }
    const size_t seen = end_ - begin_;
    if (seen >= max_line_piece || !fill()) {
      if (end_ == begin_) return false;
      // A piece of an over-long line, or the last line without a line end.
      const size_t take = std::min(end_ - begin_, max_line_piece);
      line.text.assign(buffer_.data() + begin_, take);
      position_ += take;
      begin_ += take;
      return true;
    }
    scanned = begin_ + seen;  // fill() moved the unread bytes to the front
  }
}

void MboxReader::seek(uint64_t offset, uint64_t line_number) {
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset));
  begin_ = end_ = 0;
  eof_ = false;
  position_ = offset;
  line_number_ = line_number;
}

bool MboxReader::read_exact(uint64_t count, std::string& out) {
  if (count > limit_) return false;
  out.clear();
  out.reserve(static_cast<size_t>(count));
  while (out.size() < count) {
    if (begin_ == end_ && !fill()) return false;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(count - out.size(), end_ - begin_));
    const char* from = buffer_.data() + begin_;
    for (size_t k = 0; k < take; ++k)
      if (from[k] == '\n') ++line_number_;
    out.append(from, take);
    begin_ += take;
    position_ += take;
  }
  return true;
}

// True when the bytes at the read position end the file, or are a "From "
// line, possibly after one empty line.
bool MboxReader::peek_from_line_at(uint64_t) {
  while (end_ - begin_ < 7 && fill()) {
  }
  const std::string_view ahead(buffer_.data() + begin_, end_ - begin_);
  if (ahead.empty()) return true;
  if (starts_from(ahead)) return true;
  if (ahead.size() >= 6 && ahead[0] == '\n' && starts_from(ahead.substr(1))) return true;
  if (ahead.size() >= 7 && ahead.substr(0, 2) == "\r\n" && starts_from(ahead.substr(2))) return true;
  return false;
}

MboxReader::Result MboxReader::next(MessageInput& out, std::string& reason) {
  out = MessageInput{};
  out.where.file = path_;
  if (!open_) {
    reason = "cannot be read";
    return Result::error;
  }
  Line line;
  if (!pending_) {
    std::optional<Line> stray;
    while (read_line(line)) {
      if (starts_from(line.text) && (previous_blank_ || from_line_time(line.text))) {
        pending_ = std::move(line);
        break;
      }
      if (!is_blank(line.text) && !stray) stray = line;
      previous_blank_ = is_blank(line.text);
    }
    if (in_.bad()) {
      reason = "read error";
      return Result::error;
    }
    if (stray) {
      out.where.offset = stray->offset;
      out.where.line = stray->number;
      reason = "text outside any message (no \"From \" line before it)";
      return Result::skipped;
    }
    if (!pending_) return Result::end;
  }
  const Line from = std::move(*pending_);
  pending_.reset();
  previous_blank_ = false;
  out.where.offset = from.offset;
  out.where.line = from.number;
  out.fallback_time = from_line_time(from.text);

  bool in_headers = true;
  bool too_large = false;
  std::optional<uint64_t> content_length;
  uint64_t size = 0;
  bool by_length = false;
  auto append = [&](std::string_view text) {
    size += text.size();
    if (size > limit_) {
      too_large = true;
      out.text.clear();
      out.text.shrink_to_fit();
    }
    if (!too_large) out.text.append(text);
  };
  while (read_line(line)) {
    const bool blank = is_blank(line.text);
    if (starts_from(line.text) && (previous_blank_ || from_line_time(line.text))) {
      pending_ = std::move(line);
      break;
    }
    if (in_headers) {
      const bool folded = !line.text.empty() && (line.text[0] == ' ' || line.text[0] == '\t');
      if (blank || (!folded && line.text.find(':') == std::string::npos)) in_headers = false;
      if (!in_headers) {
        if (blank) append(line.text);
        previous_blank_ = blank;
        if (blank && content_length && !too_large) {
          const uint64_t body_start = position_;
          const uint64_t body_line = line_number_;
          std::string body;
          if (read_exact(*content_length, body) && peek_from_line_at(position_)) {
            append(body);
            previous_blank_ = true;  // the next "From " line starts a message
            by_length = true;        // what follows up to it is the separator
            break;
          }
          seek(body_start, body_line);
        }
        if (blank) continue;
      } else {
        if (istarts_with(line.text, "content-length:")) {
          const std::string value(line.text.substr(15));
          char* stop = nullptr;
          const unsigned long long n = std::strtoull(value.c_str(), &stop, 10);
          if (stop != value.c_str()) content_length = n;
        }
        append(line.text);
        previous_blank_ = false;
        continue;
      }
    }
    if (is_quoted_from(line.text))
      append(std::string_view(line.text).substr(1));
    else
      append(line.text);
    previous_blank_ = blank;
  }
  if (in_.bad()) {
    reason = "read error";
    return Result::error;
  }
  if (too_large) {
    reason = "message larger than " + byte_size(limit_);
    return Result::skipped;
  }
  // The empty line before the next "From " line separates; it is not text.
  if (!by_length && (pending_ || eof_)) {
    if (out.text.size() >= 2 && out.text.ends_with("\n\n")) out.text.pop_back();
    else if (out.text.size() >= 4 && out.text.ends_with("\r\n\r\n")) out.text.resize(out.text.size() - 2);
  }
  bool empty = true;
  for (char c : out.text)
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') {
      empty = false;
      break;
    }
  if (empty) {
    reason = "empty message";
    return Result::skipped;
  }
  return Result::message;
}

std::string describe(const SourceLocation& where) {
  std::string text = path_utf8(where.file);
  if (where.offset) text += ", byte " + std::to_string(*where.offset);
  if (where.line) text += " (line " + std::to_string(*where.line) + ")";
  return text;
}

}  // namespace vendrel::cli
