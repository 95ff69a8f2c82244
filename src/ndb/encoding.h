// Data encodings of block payloads ([MS-PST] 5.1 and 5.2), selected by the
// header's bCryptMethod. They apply to data blocks only, never to internal
// blocks (data and subnode trees) or pages. New files use no encoding; an
// opened file keeps its own, so the read path decodes both methods.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vendrel {

// mpbbR (0..255), mpbbS (256..511), mpbbI (512..767).
extern const uint8_t mpbbCrypt[768];

// NDB_CRYPT_PERMUTE: each byte through mpbbR to encode, mpbbI to decode.
void crypt_permute(uint8_t* data, size_t size, bool encode);
// NDB_CRYPT_CYCLIC, keyed with the block's BID (low 32 bits); it is its own
// inverse.
void crypt_cyclic(uint8_t* data, size_t size, uint32_t key);

// Applies the method (0: none, 1: permute, 2: cyclic) in place. Unknown
// methods are rejected with qm_invalid_call.
void encode_block_data(uint8_t method, uint8_t* data, size_t size, uint64_t bid);
void decode_block_data(uint8_t method, uint8_t* data, size_t size, uint64_t bid);

}  // namespace vendrel
