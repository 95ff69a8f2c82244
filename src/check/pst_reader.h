// A read-only, lenient view of a PST at the node-database level, for the
// checker's node level and the store listing. It decodes the layouts of
// [MS-PST] 2.2 itself from raw bytes: the header, both B-trees, blocks with
// their encoding, data trees and subnode trees. It judges nothing that the
// node-database walker judges; it only refuses what it cannot read safely.
// Every read is bounds-checked, every tree walk is bounded in depth and
// guarded against cycles, and every size is checked before it is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vendrel {

// The little-endian value of the `width` (at most 8) bytes at `p`.
inline uint64_t le_value(const uint8_t* p, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

class IFile;

// Where the bytes come from: a file or a buffer.
class check_source {
 public:
  virtual ~check_source() = default;
  virtual uint64_t size() const = 0;
  // True when all `count` bytes at `offset` were read.
  virtual bool read(uint64_t offset, void* buffer, size_t count) = 0;
};

class file_check_source final : public check_source {
 public:
  explicit file_check_source(IFile& file);
  uint64_t size() const override { return size_; }
  bool read(uint64_t offset, void* buffer, size_t count) override;

 private:
  IFile& file_;
  uint64_t size_ = 0;
};

class memory_check_source final : public check_source {
 public:
  explicit memory_check_source(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool read(uint64_t offset, void* buffer, size_t count) override;

 private:
  std::span<const uint8_t> bytes_;
};

struct pst_node {
  uint32_t nid = 0;
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
  uint32_t parent = 0;
};

struct pst_block_info {
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cref = 0;
};

struct pst_subnode {
  uint32_t nid = 0;
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
};

// Blocks of a node's data in order (one data block, or the leaves of its
// data tree).
using block_list = std::vector<std::vector<uint8_t>>;

class pst_reader {
 public:
  // Limits that keep a hostile file from costing without bound.
  static constexpr size_t max_tree_depth = 16;
  static constexpr uint64_t max_node_bytes = uint64_t{1} << 30;

  explicit pst_reader(check_source& source) : source_(source) {}

  // Reads the header; false with `reason` when the file is no PST.
  bool open(std::string& reason);
  // Reads both B-trees; what cannot be read is left out and noted in
  // `problems` (the walker reports it in detail).
  void load_trees(std::vector<std::string>& problems);

  bool unicode() const { return unicode_; }
  uint8_t crypt_method() const { return crypt_; }
  uint64_t file_size() const { return source_.size(); }
  uint64_t pages_read() const { return pages_; }
  // Bytes of blocks read so far (a block read twice counts twice).
  uint64_t block_bytes_read() const { return block_bytes_; }
  const std::map<uint32_t, pst_node>& nodes() const { return nodes_; }
  const std::unordered_map<uint64_t, pst_block_info>& blocks() const { return blocks_; }
  const pst_node* node(uint32_t nid) const;
  // The file offset of a node's NBT leaf entry; 0 when unknown.
  uint64_t node_entry_offset(uint32_t nid) const;

  // A block's payload, decoded when it is a data block. nullopt with `why`.
  std::optional<std::vector<uint8_t>> block(uint64_t bid, std::string& why);
  // The blocks of the data that `bid` names (a data block, XBLOCK or
  // XXBLOCK), at most `max_bytes` in all.
  std::optional<block_list> data_blocks(uint64_t bid, std::string& why, uint64_t max_bytes = max_node_bytes);
  // The same, joined.
  std::optional<std::vector<uint8_t>> data(uint64_t bid, std::string& why, uint64_t max_bytes = max_node_bytes);
  // The total size a data tree declares, without reading its leaves.
  std::optional<uint64_t> data_size(uint64_t bid, std::string& why);
  // The entries of a subnode tree, keyed by NID.
  std::optional<std::map<uint32_t, pst_subnode>> subnodes(uint64_t bid_sub, std::string& why);

 private:
  bool read_page(uint64_t ib, uint8_t* page);
  bool walk_btree(uint64_t bid, uint64_t ib, bool nbt, int level, size_t depth, std::vector<std::string>& problems);
  bool walk_subnodes(uint64_t bid, size_t depth, std::map<uint32_t, pst_subnode>& out, std::string& why);

  check_source& source_;
  bool unicode_ = false;
  uint8_t crypt_ = 0;
  uint64_t nbt_bid_ = 0, nbt_ib_ = 0, bbt_bid_ = 0, bbt_ib_ = 0;
  uint64_t pages_ = 0;
  uint64_t block_bytes_ = 0;
  std::map<uint32_t, pst_node> nodes_;
  std::map<uint32_t, uint64_t> node_entries_;
  std::unordered_map<uint64_t, pst_block_info> blocks_;
  std::unordered_map<uint64_t, bool> pages_seen_;
};

std::string check_hex(uint64_t value);

}  // namespace vendrel
