// BTree-on-heap ([MS-PST] 2.3.2): the 8-byte BTHHEADER and the packing of
// leaf and intermediate records. The clients (property and table contexts)
// build their record arrays themselves from sorted records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/errors.h"
#include "ltp/heap.h"
#include "ndb/disk.h"

namespace vendrel {

// [MS-PST] 2.3.2.1 BTHHEADER.
struct bth_header_layout {
  using bType = disk_field<uint8_t, 0>;
  using cbKey = disk_field<uint8_t, 1>;
  using cbEnt = disk_field<uint8_t, 2>;
  using bIdxLevels = disk_field<uint8_t, 3>;
  using hidRoot = disk_field<uint32_t, 4>;
  static constexpr size_t size = 8;
};
namespace layout_checks {
static_assert(adjacent<bth_header_layout::bType, bth_header_layout::cbKey> &&
                  adjacent<bth_header_layout::cbKey, bth_header_layout::cbEnt> &&
                  adjacent<bth_header_layout::cbEnt, bth_header_layout::bIdxLevels> &&
                  adjacent<bth_header_layout::bIdxLevels, bth_header_layout::hidRoot> &&
                  bth_header_layout::hidRoot::end == bth_header_layout::size,
              "[MS-PST] 2.3.2.1 BTHHEADER is 8 bytes");
}  // namespace layout_checks

struct bth_header {
  uint8_t type = bth_signature;
  uint8_t key_size = 0;
  uint8_t entry_size = 0;
  uint8_t index_levels = 0;
  uint32_t root = 0;

  void put(uint8_t* p) const {
    bth_header_layout::bType::put(p, type);
    bth_header_layout::cbKey::put(p, key_size);
    bth_header_layout::cbEnt::put(p, entry_size);
    bth_header_layout::bIdxLevels::put(p, index_levels);
    bth_header_layout::hidRoot::put(p, root);
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out(bth_header_layout::size);
    put(out.data());
    return out;
  }
  static bth_header get(const uint8_t* p) {
    return {bth_header_layout::bType::get(p), bth_header_layout::cbKey::get(p),
            bth_header_layout::cbEnt::get(p), bth_header_layout::bIdxLevels::get(p),
            bth_header_layout::hidRoot::get(p)};
  }
  friend bool operator==(const bth_header&, const bth_header&) = default;
};

// Property context BTH: 2-byte property ID key, 6-byte (type, HNID) data.
inline constexpr uint8_t pc_bth_key_size = 2;
inline constexpr uint8_t pc_bth_entry_size = 6;
// [MS-PST] 2.3.3.3 PC BTH record: wPropId, wPropType, dwValueHnid.
struct pc_record_layout {
  using wPropId = disk_field<uint16_t, 0>;
  using wPropType = disk_field<uint16_t, 2>;
  using dwValueHnid = disk_field<uint32_t, 4>;
  static constexpr size_t size = 8;
};

// Table row index BTH: 4-byte row ID key, row number of 2 (ANSI) or 4 (Unicode) bytes.
template <ndb_bidtype bidtype>
inline constexpr uint8_t tc_row_number_size = sizeof(bidtype) == 4 ? 2 : 4;
inline constexpr uint8_t tc_row_id_size = 4;
// Intermediate record: the key of the first record below, then the HID of that array.
inline constexpr size_t bth_intermediate_size = 8;

}  // namespace vendrel
