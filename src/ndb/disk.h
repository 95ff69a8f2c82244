// Every on-disk structure of the node database, declared once. A layout is a
// list of fields at explicit offsets, in the order of the [MS-PST] table it
// follows; fields are read and written little-endian through get/put, never
// by copying a C struct. The static_asserts tie each layout to its section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "ndb/types.h"

namespace vendrel {

template <typename T>
inline T get_le(const uint8_t* p) {
  static_assert(std::is_unsigned_v<T>);
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
  return value;
}

template <typename T>
inline void put_le(uint8_t* p, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One little-endian integer field.
template <typename T, size_t Offset>
struct disk_field {
  using type = T;
  static constexpr size_t offset = Offset;
  static constexpr size_t size = sizeof(T);
  static constexpr size_t end = Offset + sizeof(T);
  static T get(const uint8_t* base) { return get_le<T>(base + Offset); }
  static void put(uint8_t* base, T value) { put_le<T>(base + Offset, value); }
};

// A run of bytes (tables, padding, reserved areas).
template <size_t Offset, size_t Size>
struct disk_bytes {
  static constexpr size_t offset = Offset;
  static constexpr size_t size = Size;
  static constexpr size_t end = Offset + Size;
  static uint8_t* at(uint8_t* base) { return base + Offset; }
  static const uint8_t* at(const uint8_t* base) { return base + Offset; }
};

// A BREF at an offset: the BID, then the IB.
template <typename bidtype, size_t Offset>
struct disk_bref {
  using bid = disk_field<bidtype, Offset>;
  using ib = disk_field<bidtype, Offset + sizeof(bidtype)>;
  static constexpr size_t offset = Offset;
  static constexpr size_t size = 2 * sizeof(bidtype);
  static constexpr size_t end = Offset + size;
  static block_ref<bidtype> get(const uint8_t* base) {
    return {block_id<bidtype>(bid::get(base)), ib::get(base)};
  }
  static void put(uint8_t* base, block_ref<bidtype> value) {
    bid::put(base, value.bid.value());
    ib::put(base, value.ib);
  }
};

// Fields follow each other without gaps.
template <typename A, typename B>
inline constexpr bool adjacent = A::end == B::offset;

// ------------------------------------------------------------------ HEADER

// [MS-PST] 2.2.2.6 HEADER with its embedded 2.2.2.5 ROOT.
template <typename bidtype>
struct header_layout;

template <>
struct header_layout<uint32_t> {
  using dwMagic = disk_field<uint32_t, 0>;
  using dwCRCPartial = disk_field<uint32_t, 4>;
  using wMagicClient = disk_field<uint16_t, 8>;
  using wVer = disk_field<uint16_t, 10>;
  using wVerClient = disk_field<uint16_t, 12>;
  using bPlatformCreate = disk_field<uint8_t, 14>;
  using bPlatformAccess = disk_field<uint8_t, 15>;
  using dwOpenDBID = disk_field<uint32_t, 16>;
  using dwOpenClaimID = disk_field<uint32_t, 20>;
  using bidNextB = disk_field<uint32_t, 24>;
  using bidNextP = disk_field<uint32_t, 28>;
  using dwUnique = disk_field<uint32_t, 32>;
  using rgnid = disk_bytes<36, 128>;
  // ROOT
  using cOrphans = disk_field<uint32_t, 164>;
  using ibFileEof = disk_field<uint32_t, 168>;
  using ibAMapLast = disk_field<uint32_t, 172>;
  using cbAMapFree = disk_field<uint32_t, 176>;
  using cbPMapFree = disk_field<uint32_t, 180>;
  using brefNBT = disk_bref<uint32_t, 184>;
  using brefBBT = disk_bref<uint32_t, 192>;
  using fAMapValid = disk_field<uint8_t, 200>;
  using bARVec = disk_field<uint8_t, 201>;
  using cARVec = disk_field<uint16_t, 202>;
  // end of ROOT
  using rgbFM = disk_bytes<204, 128>;
  using rgbFP = disk_bytes<332, 128>;
  using bSentinel = disk_field<uint8_t, 460>;
  using bCryptMethod = disk_field<uint8_t, 461>;
  using reserved = disk_bytes<462, 17>;

  // The partial CRC covers wMagicClient up to the kept bytes' end.
  static constexpr size_t crc_partial_start = 8;
  static constexpr size_t crc_partial_size = 471;
};

template <>
struct header_layout<uint64_t> {
  using dwMagic = disk_field<uint32_t, 0>;
  using dwCRCPartial = disk_field<uint32_t, 4>;
  using wMagicClient = disk_field<uint16_t, 8>;
  using wVer = disk_field<uint16_t, 10>;
  using wVerClient = disk_field<uint16_t, 12>;
  using bPlatformCreate = disk_field<uint8_t, 14>;
  using bPlatformAccess = disk_field<uint8_t, 15>;
  using dwOpenDBID = disk_field<uint32_t, 16>;
  using dwOpenClaimID = disk_field<uint32_t, 20>;
  using bidUnused = disk_field<uint64_t, 24>;
  using bidNextP = disk_field<uint64_t, 32>;
  using dwUnique = disk_field<uint32_t, 40>;
  using rgnid = disk_bytes<44, 128>;
  using qwUnused = disk_field<uint64_t, 172>;
  // ROOT
  using cOrphans = disk_field<uint32_t, 180>;  // ROOT dwReserved
  using ibFileEof = disk_field<uint64_t, 184>;
  using ibAMapLast = disk_field<uint64_t, 192>;
  using cbAMapFree = disk_field<uint64_t, 200>;
  using cbPMapFree = disk_field<uint64_t, 208>;
  using brefNBT = disk_bref<uint64_t, 216>;
  using brefBBT = disk_bref<uint64_t, 232>;
  using fAMapValid = disk_field<uint8_t, 248>;
  using bARVec = disk_field<uint8_t, 249>;
  using cARVec = disk_field<uint16_t, 250>;
  // end of ROOT
  using dwAlign = disk_field<uint32_t, 252>;
  using rgbFM = disk_bytes<256, 128>;
  using rgbFP = disk_bytes<384, 128>;
  using bSentinel = disk_field<uint8_t, 512>;
  using bCryptMethod = disk_field<uint8_t, 513>;
  using reserved = disk_bytes<514, 2>;
  using bidNextB = disk_field<uint64_t, 516>;
  using dwCRCFull = disk_field<uint32_t, 524>;

  static constexpr size_t crc_partial_start = 8;
  static constexpr size_t crc_partial_size = 471;
  static constexpr size_t crc_full_start = 8;
  static constexpr size_t crc_full_size = 516;
};

namespace layout_checks {
using HA = header_layout<uint32_t>;
static_assert(adjacent<HA::dwMagic, HA::dwCRCPartial> && adjacent<HA::dwCRCPartial, HA::wMagicClient> &&
                  adjacent<HA::wMagicClient, HA::wVer> && adjacent<HA::wVer, HA::wVerClient> &&
                  adjacent<HA::wVerClient, HA::bPlatformCreate> &&
                  adjacent<HA::bPlatformCreate, HA::bPlatformAccess> &&
                  adjacent<HA::bPlatformAccess, HA::dwOpenDBID> &&
                  adjacent<HA::dwOpenDBID, HA::dwOpenClaimID> && adjacent<HA::dwOpenClaimID, HA::bidNextB> &&
                  adjacent<HA::bidNextB, HA::bidNextP> && adjacent<HA::bidNextP, HA::dwUnique> &&
                  adjacent<HA::dwUnique, HA::rgnid> && adjacent<HA::rgnid, HA::cOrphans>,
              "[MS-PST] 2.2.2.6 HEADER (ANSI): fields up to ROOT are contiguous");
static_assert(adjacent<HA::cOrphans, HA::ibFileEof> && adjacent<HA::ibFileEof, HA::ibAMapLast> &&
                  adjacent<HA::ibAMapLast, HA::cbAMapFree> && adjacent<HA::cbAMapFree, HA::cbPMapFree> &&
                  adjacent<HA::cbPMapFree, HA::brefNBT> && adjacent<HA::brefNBT, HA::brefBBT> &&
                  adjacent<HA::brefBBT, HA::fAMapValid> && adjacent<HA::fAMapValid, HA::bARVec> &&
                  adjacent<HA::bARVec, HA::cARVec> && HA::cARVec::end - HA::cOrphans::offset == 40,
              "[MS-PST] 2.2.2.5 ROOT (ANSI) is 40 bytes");
static_assert(adjacent<HA::cARVec, HA::rgbFM> && adjacent<HA::rgbFM, HA::rgbFP> &&
                  adjacent<HA::rgbFP, HA::bSentinel> && adjacent<HA::bSentinel, HA::bCryptMethod> &&
                  adjacent<HA::bCryptMethod, HA::reserved> &&
                  HA::reserved::end == ndb_format<uint32_t>::header_kept_size &&
                  HA::crc_partial_start + HA::crc_partial_size == ndb_format<uint32_t>::header_kept_size,
              "[MS-PST] 2.2.2.6 HEADER (ANSI): dwCRCPartial covers wMagicClient .. offset 478");

using HU = header_layout<uint64_t>;
static_assert(adjacent<HU::dwMagic, HU::dwCRCPartial> && adjacent<HU::dwCRCPartial, HU::wMagicClient> &&
                  adjacent<HU::wMagicClient, HU::wVer> && adjacent<HU::wVer, HU::wVerClient> &&
                  adjacent<HU::wVerClient, HU::bPlatformCreate> &&
                  adjacent<HU::bPlatformCreate, HU::bPlatformAccess> &&
                  adjacent<HU::bPlatformAccess, HU::dwOpenDBID> &&
                  adjacent<HU::dwOpenDBID, HU::dwOpenClaimID> && adjacent<HU::dwOpenClaimID, HU::bidUnused> &&
                  adjacent<HU::bidUnused, HU::bidNextP> && adjacent<HU::bidNextP, HU::dwUnique> &&
                  adjacent<HU::dwUnique, HU::rgnid> && adjacent<HU::rgnid, HU::qwUnused> &&
                  adjacent<HU::qwUnused, HU::cOrphans>,
              "[MS-PST] 2.2.2.6 HEADER (Unicode): fields up to ROOT are contiguous");
static_assert(adjacent<HU::cOrphans, HU::ibFileEof> && adjacent<HU::ibFileEof, HU::ibAMapLast> &&
                  adjacent<HU::ibAMapLast, HU::cbAMapFree> && adjacent<HU::cbAMapFree, HU::cbPMapFree> &&
                  adjacent<HU::cbPMapFree, HU::brefNBT> && adjacent<HU::brefNBT, HU::brefBBT> &&
                  adjacent<HU::brefBBT, HU::fAMapValid> && adjacent<HU::fAMapValid, HU::bARVec> &&
                  adjacent<HU::bARVec, HU::cARVec> && HU::cARVec::end - HU::cOrphans::offset == 72,
              "[MS-PST] 2.2.2.5 ROOT (Unicode) is 72 bytes");
static_assert(adjacent<HU::cARVec, HU::dwAlign> && adjacent<HU::dwAlign, HU::rgbFM> &&
                  adjacent<HU::rgbFM, HU::rgbFP> && adjacent<HU::rgbFP, HU::bSentinel> &&
                  adjacent<HU::bSentinel, HU::bCryptMethod> && adjacent<HU::bCryptMethod, HU::reserved> &&
                  adjacent<HU::reserved, HU::bidNextB> && adjacent<HU::bidNextB, HU::dwCRCFull> &&
                  HU::dwCRCFull::end == ndb_format<uint64_t>::header_kept_size &&
                  HU::crc_full_start + HU::crc_full_size == HU::dwCRCFull::offset,
              "[MS-PST] 2.2.2.6 HEADER (Unicode): dwCRCFull covers wMagicClient .. bidNextB");
}  // namespace layout_checks

// ------------------------------------------------------------------ pages

// [MS-PST] 2.2.2.7.1 PAGETRAILER, at the end of every 512-byte page.
template <typename bidtype>
struct page_trailer_layout;

template <>
struct page_trailer_layout<uint32_t> {
  using ptype = disk_field<uint8_t, 500>;
  using ptypeRepeat = disk_field<uint8_t, 501>;
  using wSig = disk_field<uint16_t, 502>;
  using bid = disk_field<uint32_t, 504>;
  using dwCRC = disk_field<uint32_t, 508>;
  static constexpr size_t data_size = 500;
};

template <>
struct page_trailer_layout<uint64_t> {
  using ptype = disk_field<uint8_t, 496>;
  using ptypeRepeat = disk_field<uint8_t, 497>;
  using wSig = disk_field<uint16_t, 498>;
  using dwCRC = disk_field<uint32_t, 500>;
  using bid = disk_field<uint64_t, 504>;
  static constexpr size_t data_size = 496;
};

namespace layout_checks {
using PA = page_trailer_layout<uint32_t>;
static_assert(PA::ptype::offset == PA::data_size && adjacent<PA::ptype, PA::ptypeRepeat> &&
                  adjacent<PA::ptypeRepeat, PA::wSig> && adjacent<PA::wSig, PA::bid> &&
                  adjacent<PA::bid, PA::dwCRC> && PA::dwCRC::end == page_size &&
                  PA::data_size == ndb_format<uint32_t>::page_data_size,
              "[MS-PST] 2.2.2.7.1 PAGETRAILER (ANSI): 12 bytes, BID before CRC");
using PU = page_trailer_layout<uint64_t>;
static_assert(PU::ptype::offset == PU::data_size && adjacent<PU::ptype, PU::ptypeRepeat> &&
                  adjacent<PU::ptypeRepeat, PU::wSig> && adjacent<PU::wSig, PU::dwCRC> &&
                  adjacent<PU::dwCRC, PU::bid> && PU::bid::end == page_size &&
                  PU::data_size == ndb_format<uint64_t>::page_data_size,
              "[MS-PST] 2.2.2.7.1 PAGETRAILER (Unicode): 16 bytes, CRC before BID");
}  // namespace layout_checks

// [MS-PST] 2.2.2.7.2.1 AMAPPAGE, 2.2.2.7.3.1 PMAPPAGE, 2.2.2.7.5.1 FMAPPAGE
// and 2.2.2.7.6.1 FPMAPPAGE: an ANSI map page opens with 4 bytes of zero
// padding; the 496 map bytes follow, then the trailer. A Unicode page has
// no padding.
template <typename bidtype>
struct map_page_layout;

template <>
struct map_page_layout<uint32_t> {
  using dwPadding = disk_field<uint32_t, 0>;
  using rgbMap = disk_bytes<4, 496>;
};

template <>
struct map_page_layout<uint64_t> {
  using rgbMap = disk_bytes<0, 496>;
};

namespace layout_checks {
static_assert(adjacent<map_page_layout<uint32_t>::dwPadding, map_page_layout<uint32_t>::rgbMap> &&
                  map_page_layout<uint32_t>::rgbMap::end == page_trailer_layout<uint32_t>::data_size,
              "[MS-PST] 2.2.2.7.2.1 AMAPPAGE (ANSI): padding, 496 map bytes, trailer");
static_assert(map_page_layout<uint64_t>::rgbMap::end == page_trailer_layout<uint64_t>::data_size,
              "[MS-PST] 2.2.2.7.2.1 AMAPPAGE (Unicode): 496 map bytes, trailer");
}  // namespace layout_checks

// [MS-PST] 2.2.2.7.7.1 BTPAGE: entries from offset 0, then the counts.
template <typename bidtype>
struct btpage_layout;

template <>
struct btpage_layout<uint32_t> {
  using rgentries = disk_bytes<0, 496>;
  using cEnt = disk_field<uint8_t, 496>;
  using cEntMax = disk_field<uint8_t, 497>;
  using cbEnt = disk_field<uint8_t, 498>;
  using cLevel = disk_field<uint8_t, 499>;
};

template <>
struct btpage_layout<uint64_t> {
  using rgentries = disk_bytes<0, 488>;
  using cEnt = disk_field<uint8_t, 488>;
  using cEntMax = disk_field<uint8_t, 489>;
  using cbEnt = disk_field<uint8_t, 490>;
  using cLevel = disk_field<uint8_t, 491>;
  using dwPadding = disk_field<uint32_t, 492>;
};

// [MS-PST] 2.2.2.7.7.2 BTENTRY: an internal entry of either tree.
template <typename bidtype>
struct btentry_layout {
  using btkey = disk_field<bidtype, 0>;
  using bref = disk_bref<bidtype, sizeof(bidtype)>;
  static constexpr size_t size = bref::end;
};

// [MS-PST] 2.2.2.7.7.3 BBTENTRY: a leaf entry of the block B-tree.
template <typename bidtype>
struct bbtentry_layout {
  using bref = disk_bref<bidtype, 0>;
  using cb = disk_field<uint16_t, bref::end>;
  using cRef = disk_field<uint16_t, cb::end>;
  static constexpr size_t size = sizeof(bidtype) == 4 ? 12 : 24;  // Unicode: 4 bytes of padding
};

// [MS-PST] 2.2.2.7.7.4 NBTENTRY: a leaf entry of the node B-tree. The NID
// field is bidtype wide; the NID sits in its low 4 bytes.
template <typename bidtype>
struct nbtentry_layout {
  using nid = disk_field<uint32_t, 0>;
  using bidData = disk_field<bidtype, sizeof(bidtype)>;
  using bidSub = disk_field<bidtype, bidData::end>;
  using nidParent = disk_field<uint32_t, bidSub::end>;
  static constexpr size_t size = sizeof(bidtype) == 4 ? 16 : 32;
};

namespace layout_checks {
static_assert(btpage_layout<uint32_t>::cLevel::end == page_trailer_layout<uint32_t>::data_size &&
                  adjacent<btpage_layout<uint32_t>::rgentries, btpage_layout<uint32_t>::cEnt>,
              "[MS-PST] 2.2.2.7.7.1 BTPAGE (ANSI): 496 entry bytes, counts at 496..499");
static_assert(adjacent<btpage_layout<uint64_t>::cLevel, btpage_layout<uint64_t>::dwPadding> &&
                  btpage_layout<uint64_t>::dwPadding::end == page_trailer_layout<uint64_t>::data_size,
              "[MS-PST] 2.2.2.7.7.1 BTPAGE (Unicode): 488 entry bytes, counts at 488..491, padding");
static_assert(btentry_layout<uint32_t>::size == 12 && btentry_layout<uint64_t>::size == 24,
              "[MS-PST] 2.2.2.7.7.2 BTENTRY: key and BREF");
static_assert(bbtentry_layout<uint32_t>::cRef::end == 12 && bbtentry_layout<uint64_t>::cRef::end == 20,
              "[MS-PST] 2.2.2.7.7.3 BBTENTRY: BREF, cb, cRef (Unicode padded to 24)");
static_assert(nbtentry_layout<uint32_t>::nidParent::end == 16 &&
                  nbtentry_layout<uint64_t>::nidParent::end == 28,
              "[MS-PST] 2.2.2.7.7.4 NBTENTRY: nid, bidData, bidSub, nidParent (Unicode padded to 32)");
static_assert(btpage_layout<uint32_t>::rgentries::size / bbtentry_layout<uint32_t>::size == 41 &&
                  btpage_layout<uint32_t>::rgentries::size / nbtentry_layout<uint32_t>::size == 31 &&
                  btpage_layout<uint64_t>::rgentries::size / bbtentry_layout<uint64_t>::size == 20 &&
                  btpage_layout<uint64_t>::rgentries::size / nbtentry_layout<uint64_t>::size == 15,
              "[MS-PST] 2.2.2.7.7.1 BTPAGE: cEntMax of each entry size");
}  // namespace layout_checks

// ------------------------------------------------------------------ blocks

// [MS-PST] 2.2.2.8.1 BLOCKTRAILER, at the end of every block's 64-byte-aligned image.
template <typename bidtype>
struct block_trailer_layout;

template <>
struct block_trailer_layout<uint32_t> {
  using cb = disk_field<uint16_t, 0>;
  using wSig = disk_field<uint16_t, 2>;
  using bid = disk_field<uint32_t, 4>;
  using dwCRC = disk_field<uint32_t, 8>;
  static constexpr size_t size = 12;
};

template <>
struct block_trailer_layout<uint64_t> {
  using cb = disk_field<uint16_t, 0>;
  using wSig = disk_field<uint16_t, 2>;
  using dwCRC = disk_field<uint32_t, 4>;
  using bid = disk_field<uint64_t, 8>;
  static constexpr size_t size = 16;
};

namespace layout_checks {
using BA = block_trailer_layout<uint32_t>;
static_assert(adjacent<BA::cb, BA::wSig> && adjacent<BA::wSig, BA::bid> && adjacent<BA::bid, BA::dwCRC> &&
                  BA::dwCRC::end == BA::size && BA::size == ndb_format<uint32_t>::block_trailer_size &&
                  ndb_format<uint32_t>::max_block_payload + BA::size == max_block_size,
              "[MS-PST] 2.2.2.8.1 BLOCKTRAILER (ANSI): cb, wSig, bid, dwCRC");
using BU = block_trailer_layout<uint64_t>;
static_assert(adjacent<BU::cb, BU::wSig> && adjacent<BU::wSig, BU::dwCRC> && adjacent<BU::dwCRC, BU::bid> &&
                  BU::bid::end == BU::size && BU::size == ndb_format<uint64_t>::block_trailer_size &&
                  ndb_format<uint64_t>::max_block_payload + BU::size == max_block_size,
              "[MS-PST] 2.2.2.8.1 BLOCKTRAILER (Unicode): cb, wSig, dwCRC, bid");
}  // namespace layout_checks

// [MS-PST] 2.2.2.8.3.2.1 XBLOCK and 2.2.2.8.3.2.2 XXBLOCK.
template <typename bidtype>
struct xblock_layout {
  using btype = disk_field<uint8_t, 0>;
  using cLevel = disk_field<uint8_t, 1>;
  using cEnt = disk_field<uint16_t, 2>;
  using lcbTotal = disk_field<uint32_t, 4>;
  static constexpr size_t rgbid = 8;
  static constexpr size_t entry_size = sizeof(bidtype);
  static constexpr uint8_t btype_value = 0x01;
};

// [MS-PST] 2.2.2.8.3.3.1 SLBLOCK / 2.2.2.8.3.3.2 SIBLOCK and their entries.
template <typename bidtype>
struct slblock_layout {
  using btype = disk_field<uint8_t, 0>;
  using cLevel = disk_field<uint8_t, 1>;
  using cEnt = disk_field<uint16_t, 2>;
  // Unicode blocks carry 4 bytes of padding before the entries.
  static constexpr size_t rgentries = sizeof(bidtype) == 4 ? 4 : 8;
  static constexpr uint8_t btype_value = 0x02;
};

// [MS-PST] 2.2.2.8.3.3.1.1 SLENTRY: nid (bidtype wide, NID in the low 4 bytes), bidData, bidSub.
template <typename bidtype>
struct slentry_layout {
  using nid = disk_field<uint32_t, 0>;
  using bidData = disk_field<bidtype, sizeof(bidtype)>;
  using bidSub = disk_field<bidtype, bidData::end>;
  static constexpr size_t size = bidSub::end;
};

// [MS-PST] 2.2.2.8.3.3.2.1 SIENTRY: nid, bid of an SLBLOCK.
template <typename bidtype>
struct sientry_layout {
  using nid = disk_field<uint32_t, 0>;
  using bid = disk_field<bidtype, sizeof(bidtype)>;
  static constexpr size_t size = bid::end;
};

namespace layout_checks {
static_assert(xblock_layout<uint32_t>::rgbid + 1019 * 4 == 4084 &&
                  xblock_layout<uint64_t>::rgbid + 1021 * 8 == ndb_format<uint64_t>::max_block_payload,
              "[MS-PST] 2.2.2.8.3.2.1 XBLOCK: 8-byte header, then the BIDs");
static_assert(slentry_layout<uint32_t>::size == 12 && slentry_layout<uint64_t>::size == 24 &&
                  sientry_layout<uint32_t>::size == 8 && sientry_layout<uint64_t>::size == 16,
              "[MS-PST] 2.2.2.8.3.3.1.1 SLENTRY and 2.2.2.8.3.3.2.1 SIENTRY sizes");
static_assert(slblock_layout<uint64_t>::rgentries + subnode_tree_limit * slentry_layout<uint64_t>::size <=
                  ndb_format<uint64_t>::max_block_payload,
              "[MS-PST] 2.2.2.8.3.3.1.2 SLBLOCK: 340 entries fit one Unicode block");
}  // namespace layout_checks

}  // namespace vendrel
