// Identifiers of the node database and the constants of the two file
// variants. Every node-database class is a template over bidtype: uint32_t
// for the ANSI file, uint64_t for the Unicode file; ndb_format<bidtype>
// holds everything the width changes.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vendrel {

template <typename bidtype>
concept ndb_bidtype = std::is_same_v<bidtype, uint32_t> || std::is_same_v<bidtype, uint64_t>;

// NID ([MS-PST] 2.2.2.1): bits 0-4 the node type, bits 5-31 the index.
class node_id {
 public:
  constexpr node_id() = default;
  constexpr explicit node_id(uint32_t value) : value_(value) {}
  static constexpr node_id make(uint32_t type, uint32_t index) {
    return node_id((index << 5) | (type & 0x1F));
  }

  constexpr uint32_t value() const { return value_; }
  constexpr uint32_t type() const { return value_ & 0x1F; }
  constexpr uint32_t index() const { return value_ >> 5; }
  constexpr explicit operator bool() const { return value_ != 0; }
  friend constexpr auto operator<=>(node_id, node_id) = default;

 private:
  uint32_t value_ = 0;
};

// NID types the library hands out.
namespace nid_type {
inline constexpr uint32_t folder = 0x02;
inline constexpr uint32_t search_folder = 0x03;
inline constexpr uint32_t message = 0x04;
inline constexpr uint32_t attachment = 0x05;
inline constexpr uint32_t ole_attachment_data = 0x09;
inline constexpr uint32_t hierarchy_table = 0x0D;
inline constexpr uint32_t contents_table = 0x0E;
inline constexpr uint32_t associated_contents_table = 0x0F;
inline constexpr uint32_t internal = 0x1F;
}  // namespace nid_type

// BID ([MS-PST] 2.2.2.2): bit 0 reserved, bit 1 marks internal blocks (data
// and subnode trees), the rest is the counter.
template <ndb_bidtype bidtype>
class block_id {
 public:
  constexpr block_id() = default;
  constexpr explicit block_id(bidtype value) : value_(value) {}

  constexpr bidtype value() const { return value_; }
  constexpr bool internal() const { return (value_ & 2) != 0; }
  constexpr explicit operator bool() const { return value_ != 0; }
  friend constexpr auto operator<=>(block_id, block_id) = default;

 private:
  bidtype value_ = 0;
};

// BREF ([MS-PST] 2.2.2.4): a BID and the file offset (IB) it lives at.
template <ndb_bidtype bidtype>
struct block_ref {
  block_id<bidtype> bid;
  bidtype ib = 0;
  friend constexpr bool operator==(const block_ref&, const block_ref&) = default;
};

template <typename bidtype>
struct ndb_format;

template <>
struct ndb_format<uint32_t> {
  static constexpr bool unicode = false;
  static constexpr const char* name = "ANSI";
  static constexpr size_t bid_size = 4;
  static constexpr size_t bref_size = 8;
  static constexpr size_t header_kept_size = 479;  // bytes held in memory and covered by CRCs
  static constexpr size_t header_file_size = 512;
  static constexpr uint16_t version = 14;
  static constexpr size_t page_data_size = 500;
  static constexpr size_t block_trailer_size = 12;
  static constexpr size_t max_block_payload = 8180;
  // B-tree page fill limits (entries at which a page counts as full).
  static constexpr uint8_t bbt_leaf_limit = 39;
  static constexpr uint8_t bbt_internal_limit = 34;
  static constexpr uint8_t nbt_leaf_limit = 26;
  static constexpr uint8_t nbt_internal_limit = 34;
  // Entries of one data-tree block (XBLOCK / XXBLOCK).
  static constexpr size_t data_tree_limit = 1019;
};

template <>
struct ndb_format<uint64_t> {
  static constexpr bool unicode = true;
  static constexpr const char* name = "Unicode";
  static constexpr size_t bid_size = 8;
  static constexpr size_t bref_size = 16;
  static constexpr size_t header_kept_size = 528;
  static constexpr size_t header_file_size = 564;
  static constexpr uint16_t version = 23;
  static constexpr size_t page_data_size = 496;
  static constexpr size_t block_trailer_size = 16;
  static constexpr size_t max_block_payload = 8176;
  static constexpr uint8_t bbt_leaf_limit = 16;
  static constexpr uint8_t bbt_internal_limit = 16;
  static constexpr uint8_t nbt_leaf_limit = 13;
  static constexpr uint8_t nbt_internal_limit = 16;
  static constexpr size_t data_tree_limit = 1021;
};

// Sizes shared by both variants.
inline constexpr size_t page_size = 512;
inline constexpr size_t block_alignment = 64;
inline constexpr size_t max_block_size = 8192;
inline constexpr size_t header_area_size = 0x4400;  // the header up to the first AMap page
inline constexpr size_t subnode_tree_limit = 340;   // entries of one SLBLOCK / SIBLOCK

// Bytes a block of cb payload bytes takes on disk: payload and trailer,
// rounded up to 64.
template <ndb_bidtype bidtype>
constexpr size_t block_disk_size(size_t cb) {
  return (cb + ndb_format<bidtype>::block_trailer_size + block_alignment - 1) / block_alignment *
         block_alignment;
}

// [MS-PST] 5.5 ComputeSig: the signature of a page or block from its file
// offset and BID.
constexpr uint16_t compute_sig(uint64_t ib, uint64_t bid) {
  uint32_t x = static_cast<uint32_t>(ib ^ bid);
  return static_cast<uint16_t>((x >> 16) ^ x);
}

}  // namespace vendrel
