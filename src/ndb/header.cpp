#include "ndb/header.h"

#include <cinttypes>
#include <cstring>

#include "common/crc32.h"
#include "common/errors.h"
#include "common/logger.h"

namespace vendrel {

namespace {

// NID High Water Table at creation: every type starts at 0x400 except
// search folders (3), normal messages (4) and associated messages (8).
constexpr uint32_t initial_rgnid(uint32_t type) {
  switch (type) {
    case 3: return 0x4000;
    case 4: return 0x10000;
    case 8: return 0x8000;
    default: return 0x400;
  }
}

}  // namespace

// One dump line: eight blanks, the label padded to 43 characters, "= ".
#define NDB_FIELD "[PST]        %-43s= "

template <ndb_bidtype bidtype>
pst_ndb_header<bidtype>::pst_ndb_header(uint32_t file_kind) {
  uint8_t* b = bytes_.data();
  layout::dwMagic::put(b, ndb_magic);
  layout::wMagicClient::put(b, file_kind == 1 ? ndb_magic_client_pst : ndb_magic_client_other);
  layout::wVer::put(b, format::version);
  layout::wVerClient::put(b, file_kind == 1 ? 19 : 11);
  layout::bPlatformCreate::put(b, 0x01);
  layout::bPlatformAccess::put(b, 0x01);
  layout::bidNextB::put(b, 4);
  layout::bidNextP::put(b, 4);
  for (uint32_t type = 0; type < 32; ++type)
    put_le<uint32_t>(layout::rgnid::at(b) + 4 * type, initial_rgnid(type));
  std::memset(layout::rgbFP::at(b), 0xFF, layout::rgbFP::size);
  layout::bSentinel::put(b, 0x80);
  layout::bCryptMethod::put(b, crypt_method::none);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
pst_ndb_header<bidtype>::pst_ndb_header(const uint8_t* stored, size_t size) {
  if (stored == nullptr || size < kept_size) throw qm_invalid_arg("pst_ndb_header: stored header too short");
  std::memcpy(bytes_.data(), stored, kept_size);
  dirty_ = false;
  dump();
  check_crcs();
}

template <ndb_bidtype bidtype>
uint32_t pst_ndb_header<bidtype>::compute_crc_partial() const {
  return crc32(bytes_.data() + layout::crc_partial_start, layout::crc_partial_size);
}

template <ndb_bidtype bidtype>
uint32_t pst_ndb_header<bidtype>::compute_crc_full() const {
  if constexpr (format::unicode)
    return crc32(bytes_.data() + layout::crc_full_start, layout::crc_full_size);
  else
    return 0;
}

template <ndb_bidtype bidtype>
uint32_t pst_ndb_header<bidtype>::stored_crc_full() const {
  if constexpr (format::unicode)
    return layout::dwCRCFull::get(bytes_.data());
  else
    return 0;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::serialize(uint8_t* buffer, size_t size) {
  if (buffer == nullptr || size < kept_size) throw qm_invalid_arg("pst_ndb_header::serialize: buffer too small");
  layout::dwCRCPartial::put(bytes_.data(), compute_crc_partial());
  // The full CRC covers the partial one, so it comes second.
  if constexpr (format::unicode) layout::dwCRCFull::put(bytes_.data(), compute_crc_full());
  std::memcpy(buffer, bytes_.data(), kept_size);
  dirty_ = false;
}

template <ndb_bidtype bidtype>
uint32_t pst_ndb_header<bidtype>::rgnid(uint32_t type) const {
  if (type >= 32) throw qm_invalid_arg("pst_ndb_header::rgnid: NID type out of range");
  return get_le<uint32_t>(layout::rgnid::at(bytes_.data()) + 4 * type);
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_rgnid(uint32_t type, uint32_t index) {
  if (type >= 32) throw qm_invalid_arg("pst_ndb_header::set_rgnid: NID type out of range");
  put_le<uint32_t>(layout::rgnid::at(bytes_.data()) + 4 * type, index);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_bref_nbt(block_ref<bidtype> value) {
  layout::brefNBT::put(bytes_.data(), value);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_bref_bbt(block_ref<bidtype> value) {
  layout::brefBBT::put(bytes_.data(), value);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_rgbfm(size_t index, uint8_t value) {
  if (index >= layout::rgbFM::size) throw qm_invalid_arg("pst_ndb_header::set_rgbfm: index out of range");
  layout::rgbFM::at(bytes_.data())[index] = value;
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_rgbfp(size_t index, uint8_t value) {
  if (index >= layout::rgbFP::size) throw qm_invalid_arg("pst_ndb_header::set_rgbfp: index out of range");
  layout::rgbFP::at(bytes_.data())[index] = value;
  dirty_ = true;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::set_pmap_full(size_t pmap, bool full) {
  if (pmap >= 8 * layout::rgbFP::size) throw qm_invalid_arg("pst_ndb_header::set_pmap_full: index out of range");
  uint8_t* byte = layout::rgbFP::at(bytes_.data()) + pmap / 8;
  uint8_t mask = static_cast<uint8_t>(0x80 >> (pmap % 8));
  *byte = full ? static_cast<uint8_t>(*byte | mask) : static_cast<uint8_t>(*byte & ~mask);
  dirty_ = true;
}

template <ndb_bidtype bidtype>
int pst_ndb_header<bidtype>::find_amap(size_t bytes) const {
  size_t slots = bytes / block_alignment;
  const uint8_t* fm = layout::rgbFM::at(bytes_.data());
  for (size_t i = 0; i < layout::rgbFM::size; ++i)
    if (fm[i] >= slots) return static_cast<int>(i);
  return -1;
}

template <ndb_bidtype bidtype>
int pst_ndb_header<bidtype>::find_pmap() const {
  const uint8_t* fp = layout::rgbFP::at(bytes_.data());
  for (size_t i = 0; i < layout::rgbFP::size; ++i) {
    if (fp[i] == 0xFF) continue;
    for (int bit = 0; bit < 8; ++bit)
      if ((fp[i] & (0x80 >> bit)) == 0) return static_cast<int>(8 * i + bit);
  }
  return -1;
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::dump() const {
  Logger& log = logger();
  const uint8_t* b = bytes_.data();
  log.write_formatted("[PST]     NDB header dump ------------------------------------------");
  log.write_formatted(NDB_FIELD "%08X", "dwMagic", layout::dwMagic::get(b));
  if constexpr (format::unicode) {
    log.write_formatted(NDB_FIELD "%08X", "dwCRCFull", layout::dwCRCPartial::get(b));
    log.write_formatted(NDB_FIELD "%08X", "dwCRCPartial", layout::dwCRCFull::get(b));
  } else {
    log.write_formatted(NDB_FIELD "%08X", "dwCRC", layout::dwCRCPartial::get(b));
  }
  log.write_formatted(NDB_FIELD "%04X", "wVer", layout::wVer::get(b));
  log.write_formatted(NDB_FIELD "%04X", "wMagicClient", layout::wMagicClient::get(b));
  log.write_formatted(NDB_FIELD "%04X", "wVerClient", layout::wVerClient::get(b));
  log.write_formatted(NDB_FIELD "%02X", "bPlatformCreate", layout::bPlatformCreate::get(b));
  log.write_formatted(NDB_FIELD "%02X", "bPlatformAccess", layout::bPlatformAccess::get(b));
  log.write_formatted(NDB_FIELD "%08X", "dwOpenDBID", layout::dwOpenDBID::get(b));
  log.write_formatted(NDB_FIELD "%08X", "dwOpenClaimID", layout::dwOpenClaimID::get(b));
  if constexpr (format::unicode) {
    log.write_formatted(NDB_FIELD "%08" PRIX64, "bidNextB", static_cast<uint64_t>(bid_next_b()));
    log.write_formatted(NDB_FIELD "%08" PRIX64, "bidNextP", static_cast<uint64_t>(bid_next_p()));
  } else {
    log.write_formatted(NDB_FIELD "%08X", "bidNextB", static_cast<uint32_t>(bid_next_b()));
    log.write_formatted(NDB_FIELD "%08X", "bidNextP", static_cast<uint32_t>(bid_next_p()));
  }
  log.write_formatted(NDB_FIELD "%08X", "dwUnique", layout::dwUnique::get(b));
  log.write_formatted(NDB_FIELD "%d", "root.cOrphans", static_cast<int32_t>(layout::cOrphans::get(b)));
  const char* sizes[] = {"root.libFileEof", "root.libAMapLast", "root.lcbAMapFree", "root.lcbPMapFree"};
  bidtype values[] = {file_eof(), amap_last(), amap_free(), pmap_free()};
  for (int i = 0; i < 4; ++i) {
    if constexpr (format::unicode)
      log.write_formatted(NDB_FIELD "%" PRId64, sizes[i], static_cast<int64_t>(values[i]));
    else
      log.write_formatted(NDB_FIELD "%d", sizes[i], static_cast<int32_t>(values[i]));
  }
  const char* brefs[] = {"root.brefNBT", "root.brefBBT"};
  block_ref<bidtype> refs[] = {bref_nbt(), bref_bbt()};
  for (int i = 0; i < 2; ++i) {
    if constexpr (format::unicode)
      log.write_formatted(NDB_FIELD "<%" PRIX64 " @%" PRId64 ">", brefs[i],
                          static_cast<uint64_t>(refs[i].bid.value()), static_cast<int64_t>(refs[i].ib));
    else
      log.write_formatted(NDB_FIELD "<%X @%d>", brefs[i], static_cast<uint32_t>(refs[i].bid.value()),
                          static_cast<int32_t>(refs[i].ib));
  }
  log.write_formatted(NDB_FIELD "%02X", "root.fAMapValid", layout::fAMapValid::get(b));
  log.write_formatted(NDB_FIELD "%d", "root.bARVec", layout::bARVec::get(b));
  log.write_formatted(NDB_FIELD "%d", "root.cARVec", layout::cARVec::get(b));
  log.write_formatted(NDB_FIELD "%02X", "bSentinel", layout::bSentinel::get(b));
  log.write_formatted(NDB_FIELD "%d", "bCryptMethod", layout::bCryptMethod::get(b));

  log.write_formatted("[PST]");
  log.write_formatted("[PST]        NID High Water Table:");
  for (uint32_t line = 0; line < 8; ++line) {
    uint32_t i = 4 * line;
    log.write_formatted("[PST]        % 4d: %8X % 4d: %8X % 4d: %8X % 4d: %8X", i, rgnid(i), i + 1,
                        rgnid(i + 1), i + 2, rgnid(i + 2), i + 3, rgnid(i + 3));
  }
  const uint8_t* fm = layout::rgbFM::at(b);
  log.write_formatted("[PST]");
  log.write_formatted("[PST]        AMap Free Slots Table:");
  for (int line = 0; line < 8; ++line) {
    const uint8_t* v = fm + 16 * line;
    log.write_formatted(
        "[PST]        % 4d% 4d %4d %4d %4d% 4d% 4d% 4d% 4d% 4d% 4d% 4d% 4d% 4d% 4d% 4d", v[0], v[1], v[2],
        v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]);
  }
  const uint8_t* fp = layout::rgbFP::at(b);
  log.write_formatted("[PST]");
  log.write_formatted("[PST]        PMap Free Slots Table:");
  for (int line = 0; line < 8; ++line) {
    const uint8_t* v = fp + 16 * line;
    log.write_formatted("[PST]        %3X%3X %3X %3X %3X%3X%3X%3X%3X%3X%3X%3X%3X%3X%3X%3X", v[0], v[1],
                        v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14],
                        v[15]);
  }
  log.write_formatted("[PST]");
  log.write_formatted("[PST]     END NDB header dump --------------------------------------");
}

template <ndb_bidtype bidtype>
void pst_ndb_header<bidtype>::check_crcs() const {
  uint32_t computed = compute_crc_partial();
  if (computed != stored_crc_partial())
    logger().write_formatted("[PST] header corrupt: actual crc = %08X, computed = %08X", stored_crc_partial(),
                             computed);
  if constexpr (format::unicode) {
    uint32_t full = compute_crc_full();
    if (full != stored_crc_full())
      logger().write_formatted("[PST] header corrupt: actual partial crc = %08X, computed prtial crc = %08X",
                               stored_crc_full(), full);
  }
}

template class pst_ndb_header<uint32_t>;
template class pst_ndb_header<uint64_t>;

}  // namespace vendrel
