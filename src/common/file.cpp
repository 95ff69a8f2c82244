#include "common/file.h"

#include <string>

#include "common/errors.h"
#include "common/file_proxies.h"

namespace vendrel {

namespace {

constexpr uint32_t utf8_code_page = 65001;
constexpr uint32_t invalid_low = 0xFFFFFFFFu;

std::string describe(std::string_view what, const std::u16string& name, uint32_t code) {
  std::string text(what);
  text += " \"";
  text += platform::wide_to_multibyte(utf8_code_page, name);
  text += "\" (error ";
  text += std::to_string(code);
  text += ")";
  return text;
}

std::string describe_short(std::string_view what, const std::u16string& name, uint32_t done,
                           uint32_t count) {
  std::string text(what);
  text += " \"";
  text += platform::wide_to_multibyte(utf8_code_page, name);
  text += "\" (";
  text += std::to_string(done);
  text += " of ";
  text += std::to_string(count);
  text += " bytes)";
  return text;
}

}  // namespace

void IFile::read_at(uint64_t offset, void* buffer, uint32_t count) {
  seek(offset, 0);
  uint32_t done = read(buffer, count);
  if (done != count)
    throw qm_crf_error(describe_short("cannot read the file", name_, done, count));
}

void IFile::write_at(uint64_t offset, const void* buffer, uint32_t count) {
  seek(offset, 0);
  write(buffer, count);
}

std::unique_ptr<CMyFile> CMyFile::create_for_writing(std::u16string_view name,
                                                     uint32_t desired_access,
                                                     const external_file_callbacks* external) {
  std::unique_ptr<CMyFile> file(new CMyFile());
  file->name_ = name;
  file->access_ = desired_access;
  file->flags_ = platform::file_flag::random_access;
  file->external_ = external;
  file->proxy_ = make_read_proxy(name, external);
  platform::set_last_error(platform::error::success);
  file->handle_ = file->proxy_->open(name, desired_access, platform::share::none, nullptr,
                                     platform::creation::create_always,
                                     platform::file_flag::random_access, nullptr);
  if (!file->is_open())
    throw qm_cwf_error(describe("cannot create the file", file->name_, platform::last_error()));
  return file;
}

std::unique_ptr<CMyFile> CMyFile::open_for_reading(std::u16string_view name,
                                                   const external_file_callbacks* external) {
  std::unique_ptr<CMyFile> file(new CMyFile());
  file->name_ = name;
  file->access_ = platform::access::read;
  file->flags_ = platform::file_flag::random_access;
  file->external_ = external;
  file->proxy_ = make_read_proxy(name, external);
  for (int attempt = 0; attempt < 2 && !file->is_open(); ++attempt) {
    if (attempt > 0) platform::sleep_ms(10);
    platform::set_last_error(platform::error::success);
    file->handle_ = file->proxy_->open(name, platform::access::read,
                                       platform::share::read | platform::share::write, nullptr,
                                       platform::creation::open_existing,
                                       platform::file_flag::random_access, nullptr);
  }
  return file;
}

void IFile::flush_and_close() {
  if (!is_open() || !proxy_) return;
  const file_handle handle = handle_;
  handle_ = platform::invalid_file;
  platform::set_last_error(platform::error::success);
  const bool flushed = (access_ & platform::access::write) == 0 || proxy_->flush(handle);
  const uint32_t flush_error = platform::last_error();
  platform::set_last_error(platform::error::success);
  const bool closed = proxy_->close(handle);
  if (!flushed) throw qm_cwf_error(describe("cannot flush the file to disk", name_, flush_error));
  if (!closed) throw qm_cwf_error(describe("cannot close the file", name_, platform::last_error()));
}

CMyFile::~CMyFile() {
  if (is_open() && proxy_) {
    try {
      proxy_->close(handle_);
    } catch (...) {
    }
  }
}

uint64_t CMyFile::size() {
  if (!is_open()) return 0;
  uint32_t high = 0;
  platform::set_last_error(platform::error::success);
  uint32_t low = proxy_->size(handle_, &high);
  if (low == invalid_low && platform::last_error() != platform::error::success)
    throw qm_crf_error(describe("cannot get the size of the file", name_, platform::last_error()));
  return (static_cast<uint64_t>(high) << 32) | low;
}

void CMyFile::seek(uint64_t position, uint32_t mode) {
  seek_mode_ = mode;
  uint32_t method = mode == 1 ? static_cast<uint32_t>(platform::seek_origin::current)
                              : static_cast<uint32_t>(platform::seek_origin::begin);
  if (!is_open()) {
    // Nothing to position; the next read or write reports the missing file.
    position_ = mode == 1 ? position_ + position : position;
    return;
  }
  auto low = static_cast<int32_t>(static_cast<uint32_t>(position));
  auto high = static_cast<int32_t>(static_cast<uint32_t>(position >> 32));
  platform::set_last_error(platform::error::success);
  uint32_t result = proxy_->seek(handle_, low, &high, method);
  if (result == invalid_low && platform::last_error() != platform::error::success) {
    std::string message = describe("cannot position the file", name_, platform::last_error());
    if ((access_ & platform::access::write) != 0) throw qm_cwf_error(message);
    throw qm_crf_error(message);
  }
  position_ = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | result;
}

uint32_t CMyFile::read(void* buffer, uint32_t count) {
  if (!is_open())
    throw qm_crf_error(describe("cannot read the file", name_, platform::error::invalid_handle));
  uint32_t done = 0;
  platform::set_last_error(platform::error::success);
  if (!proxy_->read(handle_, buffer, count, &done, nullptr) || done > count)
    throw qm_crf_error(describe("cannot read the file", name_, platform::last_error()));
  position_ += done;
  return done;
}

void CMyFile::write(const void* buffer, uint32_t count) {
  if (!is_open())
    throw qm_cwf_error(describe("cannot write the file", name_, platform::error::invalid_handle));
  uint32_t done = 0;
  platform::set_last_error(platform::error::success);
  // A write counts as done only when every byte went out, whatever code the
  // source left behind.
  if (!proxy_->write(handle_, buffer, count, &done, nullptr))
    throw qm_cwf_error(describe("cannot write the file", name_, platform::last_error()));
  if (done != count)
    throw qm_cwf_error(describe_short("cannot write the file", name_, done, count));
  position_ += done;
}

void CMyFile::read_at(uint64_t offset, void* buffer, uint32_t count) {
  if (!is_open())
    throw qm_crf_error(describe("cannot read the file", name_, platform::error::invalid_handle));
  uint32_t done = 0;
  platform::set_last_error(platform::error::success);
  if (!proxy_->read_at(handle_, offset, buffer, count, &done))
    throw qm_crf_error(describe("cannot read the file", name_, platform::last_error()));
  if (done != count) throw qm_crf_error(describe_short("cannot read the file", name_, done, count));
}

void CMyFile::write_at(uint64_t offset, const void* buffer, uint32_t count) {
  if (!is_open())
    throw qm_cwf_error(describe("cannot write the file", name_, platform::error::invalid_handle));
  uint32_t done = 0;
  platform::set_last_error(platform::error::success);
  if (!proxy_->write_at(handle_, offset, buffer, count, &done))
    throw qm_cwf_error(describe("cannot write the file", name_, platform::last_error()));
  if (done != count)
    throw qm_cwf_error(describe_short("cannot write the file", name_, done, count));
}

void CMyFile::write_and_set_end(const void* buffer, uint32_t count) {
  write(buffer, count);
  platform::set_last_error(platform::error::success);
  if (!proxy_->set_end(handle_))
    throw qm_cwf_error(describe("cannot set the end of the file", name_, platform::last_error()));
}

platform::file_times CMyFile::times() {
  platform::file_times result;
  if (!is_open()) return result;
  platform::file_times utc;
  if (!proxy_->times(handle_, &utc)) return result;
  auto local = [](uint64_t time) -> uint64_t {
    uint64_t converted = 0;
    if (time == 0 || !platform::filetime_to_local_filetime(time, &converted)) return 0;
    return converted;
  };
  result.creation = local(utc.creation);
  result.last_access = local(utc.last_access);
  result.last_write = local(utc.last_write);
  return result;
}

}  // namespace vendrel
