#include "common/file_proxies.h"

#include <optional>
#include <string>

namespace vendrel {

namespace {

constexpr uint32_t invalid_low = 0xFFFFFFFFu;
constexpr file_handle stream_handle = 1;

// SetFilePointer's distance: high:low as one signed 64-bit value, or the
// low half alone, sign-extended, when no high half is passed.
int64_t seek_distance(int32_t low, const int32_t* high) {
  if (high == nullptr) return low;
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                              static_cast<uint32_t>(low));
}

// Splits a new position into SetFilePointer's result and high half.
uint32_t report_position(uint64_t position, int32_t* high) {
  if (high != nullptr) *high = static_cast<int32_t>(static_cast<uint32_t>(position >> 32));
  platform::set_last_error(platform::error::success);
  return static_cast<uint32_t>(position);
}

uint32_t fail_seek(uint32_t code) {
  platform::set_last_error(code);
  return invalid_low;
}

// A failure must leave a code behind, whatever the lower layer did.
void ensure_error(uint32_t fallback) {
  if (platform::last_error() == platform::error::success) platform::set_last_error(fallback);
}

std::optional<stream_callbacks>& installed_stream() {
  static std::optional<stream_callbacks> table;
  return table;
}

std::optional<stream_callbacks> current_stream() {
  std::lock_guard lock(file_layer_mutex());
  const auto& table = installed_stream();
  if (table && table->read_at != nullptr) return table;
  return std::nullopt;
}

}  // namespace

std::mutex& file_layer_mutex() {
  static std::mutex mutex;
  return mutex;
}

void install_stream_callbacks(const stream_callbacks* callbacks) {
  std::lock_guard lock(file_layer_mutex());
  if (callbacks != nullptr)
    installed_stream() = *callbacks;
  else
    installed_stream().reset();
}

// ---------------------------------------------------------------- IReadProxy

namespace {

// The default positioned transfer: a seek to `offset` through the proxy's own
// seek (so injected faults see it), then its read or write.
bool seek_for_transfer(IReadProxy& proxy, file_handle handle, uint64_t offset, uint32_t* transferred) {
  if (transferred != nullptr) *transferred = 0;
  auto high = static_cast<int32_t>(static_cast<uint32_t>(offset >> 32));
  platform::set_last_error(platform::error::success);
  return !(proxy.seek(handle, static_cast<int32_t>(static_cast<uint32_t>(offset)), &high,
                      static_cast<uint32_t>(platform::seek_origin::begin)) == invalid_low &&
           platform::last_error() != platform::error::success);
}

}  // namespace

bool IReadProxy::read_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count,
                         uint32_t* transferred) {
  return seek_for_transfer(*this, handle, offset, transferred) && read(handle, buffer, count, transferred, nullptr);
}

bool IReadProxy::write_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                          uint32_t* transferred) {
  return seek_for_transfer(*this, handle, offset, transferred) && write(handle, buffer, count, transferred, nullptr);
}

// ---------------------------------------------------------------- WinApiReadProxy

file_handle WinApiReadProxy::open(std::u16string_view name, uint32_t desired_access,
                                  uint32_t share_mode, void*, uint32_t creation_disposition,
                                  uint32_t flags, void*) {
  file_handle handle =
      platform::open_file(name, desired_access, share_mode, creation_disposition, flags);
  if (handle == platform::invalid_file) ensure_error(platform::error::file_not_found);
  return handle;
}

bool WinApiReadProxy::close(file_handle handle) { return platform::close_file(handle); }

bool WinApiReadProxy::flush(file_handle handle) {
  bool ok = platform::flush_file(handle);
  if (!ok) ensure_error(platform::error::write_fault);
  return ok;
}

bool WinApiReadProxy::read(file_handle handle, void* buffer, uint32_t count,
                           uint32_t* transferred, void*) {
  uint32_t done = 0;
  bool ok = platform::read_file(handle, buffer, count, &done);
  if (transferred != nullptr) *transferred = done;
  if (!ok) ensure_error(platform::error::read_fault);
  return ok;
}

bool WinApiReadProxy::write(file_handle handle, const void* buffer, uint32_t count,
                            uint32_t* transferred, void*) {
  uint32_t done = 0;
  bool ok = platform::write_file(handle, buffer, count, &done);
  if (transferred != nullptr) *transferred = done;
  if (!ok) ensure_error(platform::error::write_fault);
  return ok;
}

bool WinApiReadProxy::read_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count,
                              uint32_t* transferred) {
  uint32_t done = 0;
  bool ok = platform::read_file_at(handle, offset, buffer, count, &done);
  if (transferred != nullptr) *transferred = done;
  if (!ok) ensure_error(platform::error::read_fault);
  return ok;
}

bool WinApiReadProxy::write_at(file_handle handle, uint64_t offset, const void* buffer,
                               uint32_t count, uint32_t* transferred) {
  uint32_t done = 0;
  bool ok = platform::write_file_at(handle, offset, buffer, count, &done);
  if (transferred != nullptr) *transferred = done;
  if (!ok) ensure_error(platform::error::write_fault);
  return ok;
}

uint32_t WinApiReadProxy::seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) {
  if (method > static_cast<uint32_t>(platform::seek_origin::end))
    return fail_seek(platform::error::invalid_parameter);
  uint64_t position = 0;
  if (!platform::seek_file(handle, seek_distance(low, high),
                           static_cast<platform::seek_origin>(method), &position)) {
    ensure_error(platform::error::invalid_parameter);
    return invalid_low;
  }
  return report_position(position, high);
}

uint32_t WinApiReadProxy::size(file_handle handle, uint32_t* high) {
  uint64_t size = 0;
  if (!platform::file_size(handle, &size)) {
    ensure_error(platform::error::invalid_handle);
    return invalid_low;
  }
  if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
  platform::set_last_error(platform::error::success);
  return static_cast<uint32_t>(size);
}

bool WinApiReadProxy::set_end(file_handle handle) {
  bool ok = platform::set_end_of_file(handle);
  if (!ok) ensure_error(platform::error::write_fault);
  return ok;
}

bool WinApiReadProxy::times(file_handle handle, platform::file_times* times) {
  return platform::get_file_times(handle, times);
}

// ---------------------------------------------------------------- StreamReadProxy

file_handle StreamReadProxy::open(std::u16string_view, uint32_t, uint32_t, void*, uint32_t,
                                  uint32_t, void*) {
  if (!current_stream()) {
    platform::set_last_error(platform::error::file_not_found);
    return platform::invalid_file;
  }
  position_ = 0;
  length_ = unknown_length;
  return stream_handle;
}

bool StreamReadProxy::close(file_handle) { return true; }

bool StreamReadProxy::flush(file_handle) { return true; }

bool StreamReadProxy::known_length() {
  if (length_ != unknown_length) return true;
  auto stream = current_stream();
  if (!stream || stream->size == nullptr) return false;
  length_ = stream->size(stream->context);
  return length_ != unknown_length;
}

bool StreamReadProxy::read(file_handle handle, void* buffer, uint32_t count,
                           uint32_t* transferred, void*) {
  uint32_t done = 0;
  if (transferred != nullptr) *transferred = 0;
  auto stream = current_stream();
  if (handle != stream_handle || !stream) {
    platform::set_last_error(platform::error::invalid_handle);
    return false;
  }
  if (length_ != unknown_length && position_ >= length_) return true;  // end of the stream
  if (!stream->read_at(stream->context, position_, buffer, count, &done) || done > count) {
    ensure_error(platform::error::read_fault);
    return false;
  }
  position_ += done;
  if (transferred != nullptr) *transferred = done;
  return true;
}

bool StreamReadProxy::write(file_handle, const void*, uint32_t, uint32_t* transferred, void*) {
  if (transferred != nullptr) *transferred = 0;
  platform::set_last_error(platform::error::access_denied);
  return false;
}

uint32_t StreamReadProxy::seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) {
  if (handle != stream_handle) return fail_seek(platform::error::invalid_handle);
  int64_t distance = seek_distance(low, high);
  uint64_t base = 0;
  switch (static_cast<platform::seek_origin>(method)) {
    case platform::seek_origin::begin: base = 0; break;
    case platform::seek_origin::current: base = position_; break;
    case platform::seek_origin::end:
      if (!known_length()) return fail_seek(platform::error::not_supported);
      base = length_;
      break;
    default: return fail_seek(platform::error::invalid_parameter);
  }
  // The new position must not fall before the start nor wrap past 2^64.
  uint64_t position = base + static_cast<uint64_t>(distance);
  if (distance < 0 && position > base) return fail_seek(platform::error::negative_seek);
  if (distance >= 0 && position < base) return fail_seek(platform::error::invalid_parameter);
  position_ = position;
  return report_position(position_, high);
}

uint32_t StreamReadProxy::size(file_handle handle, uint32_t* high) {
  if (handle != stream_handle) return fail_seek(platform::error::invalid_handle);
  if (!known_length()) return fail_seek(platform::error::not_supported);
  if (high != nullptr) *high = static_cast<uint32_t>(length_ >> 32);
  platform::set_last_error(platform::error::success);
  return static_cast<uint32_t>(length_);
}

bool StreamReadProxy::set_end(file_handle) {
  platform::set_last_error(platform::error::access_denied);
  return false;
}

bool StreamReadProxy::times(file_handle, platform::file_times*) { return false; }

// ---------------------------------------------------------------- ExternalReadProxy

file_handle ExternalReadProxy::open(std::u16string_view name, uint32_t desired_access, uint32_t,
                                    void*, uint32_t creation_disposition, uint32_t, void*) {
  if (callbacks_->open == nullptr) {
    platform::set_last_error(platform::error::not_supported);
    return platform::invalid_file;
  }
  std::u16string terminated(name);
  file_handle handle =
      callbacks_->open(callbacks_->context, terminated.c_str(), desired_access, creation_disposition);
  if (handle == platform::invalid_file) ensure_error(platform::error::file_not_found);
  return handle;
}

bool ExternalReadProxy::close(file_handle handle) {
  if (callbacks_->close == nullptr) return true;
  return callbacks_->close(callbacks_->context, handle);
}

bool ExternalReadProxy::flush(file_handle handle) {
  if (callbacks_->flush == nullptr) return true;
  return callbacks_->flush(callbacks_->context, handle);
}

bool ExternalReadProxy::read(file_handle handle, void* buffer, uint32_t count,
                             uint32_t* transferred, void*) {
  uint32_t done = 0;
  bool ok = callbacks_->read != nullptr &&
            callbacks_->read(callbacks_->context, handle, buffer, count, &done);
  if (transferred != nullptr) *transferred = done <= count ? done : count;
  if (!ok || done != count) {
    ensure_error(platform::error::read_fault);
    return false;
  }
  return true;
}

bool ExternalReadProxy::write(file_handle handle, const void* buffer, uint32_t count,
                              uint32_t* transferred, void*) {
  uint32_t done = 0;
  bool ok = callbacks_->write != nullptr &&
            callbacks_->write(callbacks_->context, handle, buffer, count, &done);
  if (transferred != nullptr) *transferred = done <= count ? done : count;
  if (!ok || done != count) {
    ensure_error(platform::error::write_fault);
    return false;
  }
  return true;
}

uint32_t ExternalReadProxy::seek(file_handle handle, int32_t low, int32_t* high, uint32_t method) {
  if (callbacks_->seek == nullptr) return fail_seek(platform::error::not_supported);
  return callbacks_->seek(callbacks_->context, handle, low, high, method);
}

uint32_t ExternalReadProxy::size(file_handle handle, uint32_t* high) {
  if (callbacks_->size == nullptr) return fail_seek(platform::error::not_supported);
  return callbacks_->size(callbacks_->context, handle, high);
}

bool ExternalReadProxy::set_end(file_handle) { return true; }

bool ExternalReadProxy::times(file_handle, platform::file_times*) { return false; }

// ---------------------------------------------------------------- choice

std::unique_ptr<IReadProxy> make_read_proxy(std::u16string_view name,
                                            const external_file_callbacks* external) {
  if (external != nullptr) return std::make_unique<ExternalReadProxy>(external);
  if (name == stream_file_name) return std::make_unique<StreamReadProxy>();
  return std::make_unique<WinApiReadProxy>();
}

}  // namespace vendrel
