#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/errors.h"
#include "ndb/encoding.h"
#include "ndb/header.h"

namespace vendrel {
namespace {

const uint8_t* mpbbR = mpbbCrypt;
const uint8_t* mpbbS = mpbbCrypt + 256;
const uint8_t* mpbbI = mpbbCrypt + 512;

TEST(CryptTable, PassesTheChecksOfItsSource) {
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(mpbbI[mpbbR[i]], i) << "mpbbI must invert mpbbR at " << i;
    EXPECT_EQ(mpbbS[mpbbS[i]], i) << "mpbbS must invert itself at " << i;
  }
}

TEST(CryptTable, EqualsTheReferenceFile) {
  std::ifstream in(VENDREL_SHARED_DIR "/data/mpbbcrypt.txt");
  if (!in) GTEST_SKIP() << "reference table not available";
  std::vector<int> bytes;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    while (words >> word) bytes.push_back(std::stoi(word, nullptr, 16));
  }
  ASSERT_EQ(bytes.size(), 768u);
  for (size_t i = 0; i < 768; ++i) EXPECT_EQ(mpbbCrypt[i], bytes[i]) << "byte " << i;
}

TEST(Encoding, PermuteMapsThroughTheFirstThirdAndBack) {
  std::vector<uint8_t> data = {0x00, 0x01, 0xFF};
  crypt_permute(data.data(), data.size(), true);
  EXPECT_EQ(data, (std::vector<uint8_t>{0x41, 0x36, 0x3D}));
  crypt_permute(data.data(), data.size(), false);
  EXPECT_EQ(data, (std::vector<uint8_t>{0x00, 0x01, 0xFF}));
}

TEST(Encoding, CyclicOfKnownBytes) {
  // Key 0, byte 0: R[00] = 41, S[41] = 50, I[50] = B9.
  uint8_t one[1] = {0x00};
  crypt_cyclic(one, 1, 0);
  EXPECT_EQ(one[0], 0xB9);
  crypt_cyclic(one, 1, 0);
  EXPECT_EQ(one[0], 0x00);
}

TEST(Encoding, CyclicIsItsOwnInverseAndDependsOnKeyAndPosition) {
  std::vector<uint8_t> plain(1000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7);
  for (uint32_t key : {0u, 4u, 0x12345678u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> data = plain;
    crypt_cyclic(data.data(), data.size(), key);
    EXPECT_NE(data, plain);
    crypt_cyclic(data.data(), data.size(), key);
    EXPECT_EQ(data, plain);
  }
  std::vector<uint8_t> a = plain, b = plain;
  crypt_cyclic(a.data(), a.size(), 4);
  crypt_cyclic(b.data(), b.size(), 8);
  EXPECT_NE(a, b);
  // The key rises per byte: equal bytes encode differently.
  uint8_t same[2] = {0x55, 0x55};
  crypt_cyclic(same, 2, 4);
  EXPECT_NE(same[0], same[1]);
}

TEST(Encoding, MethodsByNumber) {
  for (uint8_t method : {crypt_method::none, crypt_method::permute, crypt_method::cyclic}) {
    std::vector<uint8_t> data = {1, 2, 3, 4, 5};
    encode_block_data(method, data.data(), data.size(), 0x44);
    if (method == crypt_method::none) {
      EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    } else {
      EXPECT_NE(data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    }
    decode_block_data(method, data.data(), data.size(), 0x44);
    EXPECT_EQ(data, (std::vector<uint8_t>{1, 2, 3, 4, 5})) << int(method);
  }
  uint8_t byte = 0;
  EXPECT_THROW(decode_block_data(3, &byte, 1, 4), qm_invalid_call);
}

}  // namespace
}  // namespace vendrel
