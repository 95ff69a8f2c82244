#include "common/crc32.h"

#include <array>

namespace vendrel {
namespace {

// Slicing-by-8: eight tables, table[k][b] being the CRC of byte b followed by
// k zero bytes, so that eight input bytes are folded with eight lookups and
// no loop-carried dependency between them. About five times the speed of the
// one-table loop, with identical results.
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_tables() {
  crc_tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) {
      uint32_t previous = tables[k - 1][i];
      tables[k][i] = tables[0][previous & 0xFF] ^ (previous >> 8);
    }
  }
  return tables;
}

constexpr crc_tables tables = make_tables();

// Little-endian load, whatever the host's byte order.
inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size >= 8) {
    uint32_t low = load_le32(bytes) ^ crc;
    uint32_t high = load_le32(bytes + 4);
    crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
          tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
          tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
    bytes += 8;
    size -= 8;
  }
  while (size--) crc = tables[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace vendrel
