// Shared pieces of the heap, property and table tests: the two variants as
// gtest type parameters, a block store in memory that keeps every write so
// that byte images can be checked before any file exists, and node
// databases on real files for the round trips.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "ltp/heap_reader.h"
#include "ltp/node_writer.h"
#include "ndb/ndb.h"
#include "support/temp_dir.h"

namespace vendrel::test {

using ltp_variants = ::testing::Types<uint32_t, uint64_t>;

struct ltp_variant_name {
  template <typename T>
  static std::string GetName(int) {
    return sizeof(T) == 4 ? "Ansi" : "Unicode";
  }
};

// Every write kept in memory, by BID. BIDs follow the node database's rule
// (data BIDs multiples of 4, internal ones 2 mod 4).
template <ndb_bidtype bidtype>
class memory_blocks final : public pst_node_writer<bidtype> {
 public:
  struct block {
    ltp_block_kind kind;
    std::vector<uint8_t> bytes;
  };

  bidtype write_block(ltp_block_kind kind, const uint8_t* data, size_t size) override {
    EXPECT_LE(size, ndb_format<bidtype>::max_block_payload);
    bidtype bid = next_data();
    blocks[bid] = {kind, std::vector<uint8_t>(data, data + size)};
    order.push_back(bid);
    return bid;
  }
  bidtype write_stream(const uint8_t* data, size_t size) override {
    if (size == 0) return 0;
    bidtype bid = next_data();
    streams[bid] = std::vector<uint8_t>(data, data + size);
    return bid;
  }
  bidtype commit_stream(pst_const_stream& stream) override {
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.size()));
    stream.read_at(0, bytes.data(), bytes.size());
    return write_stream(bytes.data(), bytes.size());
  }
  bidtype write_data_tree(const std::vector<bidtype>& bids, const std::vector<size_t>& sizes) override {
    EXPECT_EQ(bids.size(), sizes.size());
    for (size_t i = 0; i < bids.size(); ++i) EXPECT_EQ(blocks.at(bids[i]).bytes.size(), sizes[i]);
    bidtype bid = next_internal();
    trees[bid] = bids;
    return bid;
  }
  bidtype write_subnode_tree(const std::vector<ltp_subnode<bidtype>>& entries, bidtype previous) override {
    if (previous) released.push_back(previous);
    if (entries.empty()) return 0;
    bidtype bid = next_internal();
    subnode_trees[bid] = entries;
    return bid;
  }
  void release_block(bidtype bid) override { released.push_back(bid); }
  uint32_t new_subnode_nid() override { return (++subnode_counter << 5) | 0x1F; }

  // The heap blocks of a node's data BID.
  std::vector<std::vector<uint8_t>> heap_blocks(bidtype data_bid) const {
    std::vector<std::vector<uint8_t>> out;
    if (auto t = trees.find(data_bid); t != trees.end()) {
      for (bidtype b : t->second) out.push_back(blocks.at(b).bytes);
    } else {
      out.push_back(blocks.at(data_bid).bytes);
    }
    return out;
  }
  subnode_resolver resolver(bidtype sub_bid) const {
    return [this, sub_bid](uint32_t nid) -> std::optional<std::vector<uint8_t>> {
      auto t = subnode_trees.find(sub_bid);
      if (t == subnode_trees.end()) return std::nullopt;
      for (const auto& e : t->second)
        if (e.nid == nid) return e.data_bid ? node_data(e.data_bid) : std::vector<uint8_t>{};
      return std::nullopt;
    };
  }
  const std::vector<ltp_subnode<bidtype>>& subnodes(bidtype sub_bid) const { return subnode_trees.at(sub_bid); }
  // A node's data: a stream, a data tree's blocks in order, or one block.
  std::vector<uint8_t> node_data(bidtype bid) const {
    if (auto s = streams.find(bid); s != streams.end()) return s->second;
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& b : heap_blocks(bid)) out.insert(out.end(), b.begin(), b.end());
    return out;
  }

  std::map<bidtype, block> blocks;
  std::vector<bidtype> order;
  std::map<bidtype, std::vector<uint8_t>> streams;
  std::map<bidtype, std::vector<bidtype>> trees;
  std::map<bidtype, std::vector<ltp_subnode<bidtype>>> subnode_trees;
  std::vector<bidtype> released;
  uint32_t subnode_counter = 0;

 private:
  bidtype next_data() {
    next_ = (next_ + 3) & ~bidtype{3};
    bidtype bid = next_;
    next_ += 4;
    return bid;
  }
  bidtype next_internal() {
    while (next_ % 4 != 2) ++next_;
    bidtype bid = next_;
    next_ += 2;
    return bid;
  }
  bidtype next_ = 4;
};

inline std::u16string wide_path(const std::filesystem::path& path) { return utf16(path.string()); }

// Sends the library's log to a file while it lives.
class log_capture {
 public:
  explicit log_capture(std::filesystem::path path) : path_(std::move(path)) { logger().open(path_.string(), true); }
  ~log_capture() { logger().close(); }
  log_capture(const log_capture&) = delete;
  log_capture& operator=(const log_capture&) = delete;
  std::string text() const { return read_file_text(path_); }
  size_t count(const std::string& needle) const {
    std::string all = text();
    size_t n = 0;
    for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1)) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

}  // namespace vendrel::test
