// The file header (HEADER with its ROOT) of one open file: the bytes kept in
// memory (479 ANSI, 528 Unicode), a dirty flag, and the field accessors the
// rest of the node database uses. Serialisation recomputes the CRCs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ndb/disk.h"
#include "ndb/types.h"

namespace vendrel {

inline constexpr uint32_t ndb_magic = 0x4E444221;  // "!BDN"
inline constexpr uint16_t ndb_magic_client_pst = 0x4D53;  // "SM"
inline constexpr uint16_t ndb_magic_client_other = 0x4F53;  // "SO"

// bCryptMethod values ([MS-PST] 2.2.2.6).
namespace crypt_method {
inline constexpr uint8_t none = 0;
inline constexpr uint8_t permute = 1;
inline constexpr uint8_t cyclic = 2;
}  // namespace crypt_method

template <ndb_bidtype bidtype>
class pst_ndb_header {
 public:
  using format = ndb_format<bidtype>;
  using layout = header_layout<bidtype>;
  static constexpr size_t kept_size = format::header_kept_size;

  // A new header with the creation values. File kind 1 is a PST file
  // ("SM", client version 19); any other kind gives "SO" and 11.
  explicit pst_ndb_header(uint32_t file_kind = 1);
  // A header read from a file: the first kept_size bytes of the image. The
  // field dump and the CRC checks go to the log; a mismatch is only logged.
  pst_ndb_header(const uint8_t* stored, size_t size);

  // Recomputes the CRC(s), copies the kept bytes to the buffer (at least
  // kept_size bytes) and clears the dirty flag.
  void serialize(uint8_t* buffer, size_t size);
  // The CRCs the stored bytes should carry.
  uint32_t compute_crc_partial() const;
  uint32_t compute_crc_full() const;  // Unicode only; 0 for ANSI

  bool dirty() const { return dirty_; }
  void set_dirty() { dirty_ = true; }
  const uint8_t* bytes() const { return bytes_.data(); }

  // Field access. Every setter marks the header dirty.
  uint32_t magic() const { return layout::dwMagic::get(bytes_.data()); }
  uint16_t version() const { return layout::wVer::get(bytes_.data()); }
  uint16_t magic_client() const { return layout::wMagicClient::get(bytes_.data()); }
  uint16_t client_version() const { return layout::wVerClient::get(bytes_.data()); }
  uint32_t stored_crc_partial() const { return layout::dwCRCPartial::get(bytes_.data()); }
  uint32_t stored_crc_full() const;

  bidtype bid_next_b() const { return layout::bidNextB::get(bytes_.data()); }
  void set_bid_next_b(bidtype value) { put<typename layout::bidNextB>(value); }
  bidtype bid_next_p() const { return layout::bidNextP::get(bytes_.data()); }
  void set_bid_next_p(bidtype value) { put<typename layout::bidNextP>(value); }

  // NID High Water Table: the last index handed out per NID type.
  uint32_t rgnid(uint32_t type) const;
  void set_rgnid(uint32_t type, uint32_t index);

  bidtype file_eof() const { return layout::ibFileEof::get(bytes_.data()); }
  void set_file_eof(bidtype value) { put<typename layout::ibFileEof>(value); }
  bidtype amap_last() const { return layout::ibAMapLast::get(bytes_.data()); }
  void set_amap_last(bidtype value) { put<typename layout::ibAMapLast>(value); }
  bidtype amap_free() const { return layout::cbAMapFree::get(bytes_.data()); }
  void set_amap_free(bidtype value) { put<typename layout::cbAMapFree>(value); }
  bidtype pmap_free() const { return layout::cbPMapFree::get(bytes_.data()); }
  void set_pmap_free(bidtype value) { put<typename layout::cbPMapFree>(value); }
  block_ref<bidtype> bref_nbt() const { return layout::brefNBT::get(bytes_.data()); }
  void set_bref_nbt(block_ref<bidtype> value);
  block_ref<bidtype> bref_bbt() const { return layout::brefBBT::get(bytes_.data()); }
  void set_bref_bbt(block_ref<bidtype> value);
  // fAMapValid: 0 the maps are to be rebuilt, 2 (VALID_AMAP2) they are
  // valid. 1 (VALID_AMAP1) is deprecated and never written.
  static constexpr uint8_t amap_invalid = 0, amap_valid2 = 2;
  uint8_t amap_valid() const { return layout::fAMapValid::get(bytes_.data()); }
  void set_amap_valid(uint8_t value) { put<typename layout::fAMapValid>(value); }

  // AMap Free Slots Table (one byte per AMap 0..127) and PMap Free Slots
  // Table (one bit per PMap 0..1023, set = no free page).
  uint8_t rgbfm(size_t index) const { return layout::rgbFM::at(bytes_.data())[index]; }
  void set_rgbfm(size_t index, uint8_t value);
  uint8_t rgbfp(size_t index) const { return layout::rgbFP::at(bytes_.data())[index]; }
  void set_rgbfp(size_t index, uint8_t value);
  bool pmap_full(size_t pmap) const { return (rgbfp(pmap / 8) & (0x80 >> (pmap % 8))) != 0; }
  void set_pmap_full(size_t pmap, bool full);

  uint8_t sentinel() const { return layout::bSentinel::get(bytes_.data()); }
  uint8_t crypt() const { return layout::bCryptMethod::get(bytes_.data()); }

  // The first AMap (0..127) whose free-slot value covers a request of
  // `bytes` (a multiple of 64), or -1.
  int find_amap(size_t bytes) const;
  // The first PMap (0..1023) with a free page, or -1.
  int find_pmap() const;

  // Writes the field dump and the table dump to the log.
  void dump() const;
  // Logs the CRC mismatches of stored bytes.
  void check_crcs() const;

 private:
  template <typename Field>
  void put(typename Field::type value) {
    Field::put(bytes_.data(), value);
    dirty_ = true;
  }

  std::array<uint8_t, kept_size> bytes_{};
  bool dirty_ = true;
};

extern template class pst_ndb_header<uint32_t>;
extern template class pst_ndb_header<uint64_t>;

}  // namespace vendrel
