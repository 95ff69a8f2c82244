// The compressed-RTF container ([MS-OXRTFCP] 2.1.3.1) that PidTagRtfCompressed
// holds. The library writes only its uncompressed form ("MELA"): a 16-byte
// header and the RTF bytes as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vendrel {

inline constexpr size_t rtf_container_header_size = 16;
// COMPSIZE counts the bytes after itself: the rest of the header and the data.
inline constexpr uint32_t rtf_compsize_extra = 12;
inline constexpr uint32_t rtf_comptype_uncompressed = 0x414C454D;  // "MELA"
inline constexpr uint32_t rtf_comptype_compressed = 0x75465A4C;    // "LZFu", never written

// COMPSIZE, RAWSIZE, COMPTYPE and CRC, little-endian, then the raw bytes. The
// CRC field of an uncompressed container must be 0 ([MS-OXRTFCP] 2.1.3.1.1);
// only the compressed form carries a CRC of its data. RTF of 4 GiB - 12 bytes or more
// does not fit the 32-bit sizes and is qm_invalid_arg.
std::vector<uint8_t> make_uncompressed_rtf_container(std::string_view raw_rtf);

}  // namespace vendrel
