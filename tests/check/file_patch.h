// Changes to a written file at the structure level, for the checker tests:
// a block's payload edited in place with its CRC kept right, an NBT entry's
// parent changed with its page's CRC kept right, and the whole file
// re-encoded with another bCryptMethod. Each change leaves everything else
// as it was, so the finding it causes is the one the test is about.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "check/node_decode.h"
#include "check/pst_reader.h"
#include "common/crc32.h"
#include "common/file.h"
#include "ndb/encoding.h"
#include "support/temp_dir.h"

namespace vendrel::test {

class pst_patch {
 public:
  explicit pst_patch(const std::filesystem::path& path) : path_(path), bytes_(read_file_bytes(path)) {
    source_ = std::make_unique<memory_check_source>(std::span<const uint8_t>(bytes_));
    reader_ = std::make_unique<pst_reader>(*source_);
    std::string why;
    EXPECT_TRUE(reader_->open(why)) << why;
    std::vector<std::string> problems;
    reader_->load_trees(problems);
    EXPECT_TRUE(problems.empty());
  }
  ~pst_patch() { write_file_bytes(path_, bytes_.data(), bytes_.size()); }

  pst_reader& reader() { return *reader_; }
  bool unicode() const { return reader_->unicode(); }

  // Edits the payload of data block `bid` (as stored: the files written
  // here use no encoding) and sets its trailer's CRC again.
  void edit_block(uint64_t bid, const std::function<void(std::vector<uint8_t>&)>& edit) {
    const pst_block_info& info = reader_->blocks().at(bid & ~uint64_t{1});
    std::vector<uint8_t> payload(bytes_.begin() + info.ib, bytes_.begin() + info.ib + info.cb);
    edit(payload);
    ASSERT_EQ(payload.size(), info.cb);
    std::copy(payload.begin(), payload.end(), bytes_.begin() + info.ib);
    const size_t trailer = unicode() ? 16 : 12;
    const size_t disk = (info.cb + trailer + 63) / 64 * 64;
    uint8_t* t = bytes_.data() + info.ib + disk - trailer;
    put32(t + (unicode() ? 4 : 8), crc32(payload.data(), payload.size()));
  }

  // The data blocks of a node or subnode.
  std::vector<uint64_t> leaf_bids(uint64_t bid) {
    std::vector<uint64_t> out;
    if (!(bid & 2)) return {bid};
    std::string why;
    auto x = reader_->block(bid, why);
    const size_t w = unicode() ? 8 : 4;
    const size_t count = (*x)[2] | ((*x)[3] << 8);
    for (size_t i = 0; i < count; ++i) {
      uint64_t child = 0;
      for (size_t k = 0; k < w; ++k) child |= uint64_t{(*x)[8 + i * w + k]} << (8 * k);
      for (uint64_t leaf : leaf_bids(child)) out.push_back(leaf);
    }
    return out;
  }

  // Sets nidParent of a node's NBT entry.
  void set_parent(uint32_t nid, uint32_t parent) {
    const uint64_t entry = reader_->node_entry_offset(nid);
    ASSERT_NE(entry, 0u);
    const uint64_t page = entry / 512 * 512;
    put32(bytes_.data() + entry + (unicode() ? 24 : 12), parent);
    const size_t data = unicode() ? 496 : 500;
    put32(bytes_.data() + page + (unicode() ? 500 : 508), crc32(bytes_.data() + page, data));
  }

  // Encodes every data block with `method` and records it in the header.
  void reencode(uint8_t method) {
    for (const auto& [bid, info] : reader_->blocks()) {
      if (bid & 2) continue;
      std::vector<uint8_t> payload(bytes_.begin() + info.ib, bytes_.begin() + info.ib + info.cb);
      encode_block_data(method, payload.data(), payload.size(), bid);
      std::copy(payload.begin(), payload.end(), bytes_.begin() + info.ib);
      const size_t trailer = unicode() ? 16 : 12;
      const size_t disk = (info.cb + trailer + 63) / 64 * 64;
      put32(bytes_.data() + info.ib + disk - trailer + (unicode() ? 4 : 8), crc32(payload.data(), payload.size()));
    }
    uint8_t* h = bytes_.data();
    h[unicode() ? 513 : 461] = method;
    put32(h + 4, crc32(h + 8, 471));
    if (unicode()) put32(h + 524, crc32(h + 8, 516));
  }

 private:
  static void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }

  std::filesystem::path path_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<memory_check_source> source_;
  std::unique_ptr<pst_reader> reader_;
};

}  // namespace vendrel::test
