#include "foundation/crypto/sha512.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "foundation/text/hex-text.h"
#include "reference-vectors.h"

namespace {

std::string Sha512Hex(const std::string& message) {
  std::uint8_t digest[64];
  qv::setup::Sha512(reinterpret_cast<const std::uint8_t*>(message.data()), message.size(), digest);
  return qv::setup::HexEncode(digest, sizeof digest);
}

TEST(Sha512, PublishedExamples) {
  EXPECT_EQ(Sha512Hex(""),
            "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
            "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
  EXPECT_EQ(Sha512Hex("abc"),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
  // 112 bytes: the padding needs a second block.
  EXPECT_EQ(Sha512Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                      "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
            "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
  EXPECT_EQ(Sha512Hex(std::string(1000000, 'a')),
            "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
            "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b");
}

// Every tail length around the one- and two-block padding edges (111, 112,
// 127, 128 bytes and their multiples) against the digests of coreutils'
// sha512sum.
TEST(Sha512, MatchesReferenceDigestsOfManyLengths) {
  const auto vectors = qv::test::LoadReferenceVectors();
  ASSERT_GE(vectors.digests.size(), 100u);
  for (const auto& v : vectors.digests) {
    EXPECT_EQ(Sha512Hex(v.message), qv::setup::HexEncode(v.digest.data(), v.digest.size()))
        << "length " << v.message.size();
  }
}

}  // namespace
