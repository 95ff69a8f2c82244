// The CRC-32 of the PST format: reflected polynomial 0xEDB88320, started at 0
// (or at the running value of an earlier call) and not inverted at the end.
// It covers headers, pages, blocks, the uncompressed RTF container and the
// named property map's hash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vendrel {

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace vendrel
