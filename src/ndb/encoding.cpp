#include "ndb/encoding.h"

#include <string>

#include "common/errors.h"
#include "ndb/header.h"

namespace vendrel {

namespace {

const uint8_t* const mpbbR = mpbbCrypt;
const uint8_t* const mpbbS = mpbbCrypt + 256;
const uint8_t* const mpbbI = mpbbCrypt + 512;

void check_method(uint8_t method) {
  if (method > crypt_method::cyclic)
    throw qm_invalid_call("unsupported data encoding " + std::to_string(method));
}

}  // namespace

void crypt_permute(uint8_t* data, size_t size, bool encode) {
  const uint8_t* table = encode ? mpbbR : mpbbI;
  for (size_t i = 0; i < size; ++i) data[i] = table[data[i]];
}

void crypt_cyclic(uint8_t* data, size_t size, uint32_t key) {
  auto w = static_cast<uint16_t>(key ^ (key >> 16));
  for (size_t i = 0; i < size; ++i) {
    uint8_t b = data[i];
    b = static_cast<uint8_t>(b + static_cast<uint8_t>(w));
    b = mpbbR[b];
    b = static_cast<uint8_t>(b + static_cast<uint8_t>(w >> 8));
    b = mpbbS[b];
    b = static_cast<uint8_t>(b - static_cast<uint8_t>(w >> 8));
    b = mpbbI[b];
    b = static_cast<uint8_t>(b - static_cast<uint8_t>(w));
    data[i] = b;
    w = static_cast<uint16_t>(w + 1);
  }
}

void encode_block_data(uint8_t method, uint8_t* data, size_t size, uint64_t bid) {
  check_method(method);
  if (method == crypt_method::permute) crypt_permute(data, size, true);
  if (method == crypt_method::cyclic) crypt_cyclic(data, size, static_cast<uint32_t>(bid));
}

void decode_block_data(uint8_t method, uint8_t* data, size_t size, uint64_t bid) {
  check_method(method);
  if (method == crypt_method::permute) crypt_permute(data, size, false);
  if (method == crypt_method::cyclic) crypt_cyclic(data, size, static_cast<uint32_t>(bid));
}

}  // namespace vendrel
