// A node database on a real file for the round-trip tests: nodes are added
// as the store adds them, the file is committed, the whole-file walker must
// find nothing in it, and the file is reopened for reading.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ltp/heap.h"
#include "ndb/ndb.h"
#include "ndb/walker.h"
#include "ltp_test_support.h"

namespace vendrel::test {

template <typename bidtype>
using file_chartype = std::conditional_t<sizeof(bidtype) == 4, char, char16_t>;

template <typename bidtype>
class ndb_file {
 public:
  explicit ndb_file(const std::string& name = "roundtrip.pst")
      : path_(dir_ / name), ndb_(std::make_unique<pst_ndb<bidtype>>(wide_path(path_), ndb_mode::create)) {}

  pst_ndb<bidtype>* operator->() { return ndb_.get(); }
  pst_ndb<bidtype>* get() { return ndb_.get(); }
  const std::filesystem::path& path() const { return path_; }

  // A NID the header's counter knows of (the walker checks rgnid).
  uint32_t new_nid(uint32_t type) { return ndb_->allocate_nid(type).value(); }
  void add(uint32_t nid, bidtype data, bidtype sub, uint32_t parent = 0) {
    ndb_->add_node(node_id(nid), block_id<bidtype>(data), block_id<bidtype>(sub), node_id(parent));
  }

  // Commits, walks the file and reopens it for reading.
  pst_ndb<bidtype>& reopen() {
    ndb_->commit();
    ndb_.reset();
    expect_clean_file(path_);
    ndb_ = std::make_unique<pst_ndb<bidtype>>(wide_path(path_), ndb_mode::open_read);
    return *ndb_;
  }

  static void expect_clean_file(const std::filesystem::path& path) {
    std::vector<ndb_finding> findings = check_file(wide_path(path));
    std::string text;
    for (size_t i = 0; i < findings.size() && i < 20; ++i) text += to_string(findings[i]) + "\n";
    EXPECT_TRUE(findings.empty()) << findings.size() << " finding(s) in " << path.string() << ":\n" << text;
  }

 private:
  TempDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<pst_ndb<bidtype>> ndb_;
};

// Little-endian bytes of a number.
template <typename T>
std::vector<uint8_t> le_bytes(T value, size_t size = sizeof(T)) {
  std::vector<uint8_t> out(size);
  uint64_t v = static_cast<uint64_t>(value);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
  return out;
}

inline std::vector<uint8_t> utf16le(std::u16string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

inline std::vector<uint8_t> bytes_of(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A small generator from a fixed seed (splitmix64): cheap to start, which
// matters for the many short values of the large tables.
class seeded_bytes {
 public:
  explicit seeded_bytes(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t state_;
};

inline std::vector<uint8_t> random_bytes(size_t size, uint32_t seed) {
  seeded_bytes gen(seed);
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t v = gen.next();
    for (size_t j = 0; j < 8 && i + j < size; ++j) out[i + j] = static_cast<uint8_t>(v >> (8 * j));
  }
  return out;
}

// Printable ASCII text of `size` characters from a fixed seed: the same
// code units in every code page.
inline std::string ascii_text(size_t size, uint32_t seed) {
  seeded_bytes gen(uint64_t{seed} << 1 | 1);
  std::string out(size, ' ');
  for (auto& c : out) c = static_cast<char>(0x20 + gen.next() % 0x5F);
  return out;
}

// The used size of a stored heap block, from its page map.
inline size_t stored_heap_used_size(const std::vector<uint8_t>& block) {
  const size_t ib = get_le<uint16_t>(block.data());
  const size_t c_alloc = get_le<uint16_t>(block.data() + ib);
  return ib + 4 + 2 * (c_alloc + 1);
}

}  // namespace vendrel::test
