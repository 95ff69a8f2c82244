// What the read-path fuzz targets share: the input as a file the library's
// readers open (the stream source, file name ":stream:"), and the input cut
// into heap blocks for the heap, BTH, PC and TC targets, with its subnode
// data served to the checker's decoders and to the read path's readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "check/node_decode.h"
#include "common/file.h"
#include "ltp/heap_reader.h"

namespace vendrel::fuzz {

// Serves `bytes` as the library-wide stream while it lives.
class memory_stream {
 public:
  explicit memory_stream(std::span<const uint8_t> bytes) : bytes_(bytes) {
    stream_callbacks callbacks;
    callbacks.context = this;
    callbacks.size = [](void* context) -> uint64_t { return static_cast<memory_stream*>(context)->bytes_.size(); };
    callbacks.read_at = [](void* context, uint64_t offset, void* buffer, uint32_t count, uint32_t* transferred) {
      auto& bytes = static_cast<memory_stream*>(context)->bytes_;
      if (offset > bytes.size()) return false;
      const size_t n = std::min<uint64_t>(count, bytes.size() - offset);
      if (n) std::memcpy(buffer, bytes.data() + offset, n);
      *transferred = static_cast<uint32_t>(n);
      return true;
    };
    install_stream_callbacks(&callbacks);
  }
  ~memory_stream() { install_stream_callbacks(nullptr); }
  memory_stream(const memory_stream&) = delete;
  memory_stream& operator=(const memory_stream&) = delete;

  std::unique_ptr<CMyFile> open() const { return CMyFile::open_for_reading(stream_file_name); }

 private:
  std::span<const uint8_t> bytes_;
};

// The input of the heap-level targets: a flags byte (bit 0: Unicode), then
// chunks of a 2-byte little-endian length and that many bytes. Every chunk
// but the last is a heap block; the last is the data of any subnode asked
// for (a row matrix, a value).
struct heap_input {
  bool unicode = false;
  std::vector<std::vector<uint8_t>> blocks;
  std::vector<uint8_t> subnode;
};

inline heap_input split_heap_input(const uint8_t* data, size_t size) {
  heap_input in;
  if (size == 0) return in;
  in.unicode = data[0] & 1;
  size_t at = 1;
  std::vector<std::vector<uint8_t>> chunks;
  while (at + 2 <= size && chunks.size() < 300) {
    const size_t n = std::min<size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
    chunks.emplace_back(data + at + 2, data + at + 2 + n);
    at += 2 + n;
  }
  if (chunks.size() > 1) {
    in.subnode = std::move(chunks.back());
    chunks.pop_back();
  }
  in.blocks = std::move(chunks);
  return in;
}

// Every subnode of `in` (which must outlive the result) as the checker's
// decoders ask for it: the last chunk, refused when larger than the limit.
inline subnode_access heap_subnodes(const heap_input& in) {
  subnode_access access;
  access.size = [&in](uint32_t, std::string&) -> std::optional<uint64_t> { return in.subnode.size(); };
  access.bytes = [&in](uint32_t, uint64_t limit, std::string& why) -> std::optional<std::vector<uint8_t>> {
    if (in.subnode.size() > limit) {
      why = "too large";
      return std::nullopt;
    }
    return in.subnode;
  };
  return access;
}

// The same subnodes as the read path's readers ask for them.
inline subnode_resolver heap_resolver(const heap_input& in) {
  return [&in](uint32_t) -> std::optional<std::vector<uint8_t>> { return in.subnode; };
}

}  // namespace vendrel::fuzz
