#include "foundation/crypto/ed25519.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "foundation/text/hex-text.h"
#include "reference-vectors.h"

namespace {

struct Vector {
  const char* name;
  std::string key;
  std::string message;
  std::string signature;
};

std::string Hex(std::string_view text) {
  auto bytes = qv::setup::HexDecode(text, text.size() / 2);
  EXPECT_TRUE(bytes.has_value()) << text;
  return bytes.value_or("");
}

const std::string kMessage1024 =
    "08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa6e264bf09efe12ee50f8f54e9f77b1"
    "e355f6c50544e23fb1433ddf73be84d879de7c0046dc4996d9e773f4bc9efe5738829adb26c81b37c93a1b270b20329d"
    "658675fc6ea534e0810a4432826bf58c941efb65d57a338bbd2e26640f89ffbc1a858efcb8550ee3a5e1998bd177e93a"
    "7363c344fe6b199ee5d02e82d522c4feba15452f80288a821a579116ec6dad2b3b310da903401aa62100ab5d1a36553e"
    "06203b33890cc9b832f79ef80560ccb9a39ce767967ed628c6ad573cb116dbefefd75499da96bd68a8a97b928a8bbc10"
    "3b6621fcde2beca1231d206be6cd9ec7aff6f6c94fcd7204ed3455c68c83f4a41da4af2b74ef5c53f1d8ac70bdcb7ed1"
    "85ce81bd84359d44254d95629e9855a94a7c1958d1f8ada5d0532ed8a5aa3fb2d17ba70eb6248e594e1a2297acbbb39d"
    "502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad88425de6bde1a9187ebb6092cf67bf2b13fd65f270"
    "88d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc2732e69485bbc9c90bfbd62481d9089b"
    "eccf80cfe2df16a2cf65bd92dd597b0707e0917af48bbb75fed413d238f5555a7a569d80c3414a8d0859dc65a46128ba"
    "b27af87a71314f318c782b23ebfe808b82b0ce26401d2e22f04d83d1255dc51addd3b75a2b1ae0784504df543af8969b"
    "e3ea7082ff7fc9888c144da2af58429ec96031dbcad3dad9af0dcbaaaf268cb8fcffead94f3c7ca495e056a9b47acdb7"
    "51fb73e666c6c655ade8297297d07ad1ba5e43f1bca32301651339e22904cc8c42f58c30c04aafdb038dda0847dd988d"
    "cda6f3bfd15c4b4c4525004aa06eeff8ca61783aacec57fb3d1f92b0fe2fd1a85f6724517b65e614ad6808d6f6ee34df"
    "f7310fdc82aebfd904b01e1dc54b2927094b2db68d6f903b68401adebf5a7e08d78ff4ef5d63653a65040cf9bfd4aca7"
    "984a74d37145986780fc0b16ac451649de6188a7dbdf191f64b5fc5e2ab47b57f7f7276cd419c17a3ca8e1b939ae49e4"
    "88acba6b965610b5480109c8b17b80e1b7b750dfc7598d5d5011fd2dcc5600a32ef5b52a1ecc820e308aa342721aac09"
    "43bf6686b64b2579376504ccc493d97e6aed3fb0f9cd71a43dd497f01f17c0e2cb3797aa2a2f256656168e6c496afc5f"
    "b93246f6b1116398a346f1a641f3b041e989f7914f90cc2c7fff357876e506b50d334ba77c225bc307ba537152f3f161"
    "0e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a45a96768d40fd9d03412c091c6315cf4fde7cb68606937380d"
    "b2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86aba41c0618983f8741c5ef68d3a101e8a3b8ca"
    "c60c905c15fc910840b94c00a0b9d0";

// RFC 8032 section 7.1: TEST 1, 2, 3, 1024 and SHA(abc).
std::vector<Vector> RfcVectors() {
  return {
      {"TEST 1", Hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"), "",
       Hex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
           "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b")},
      {"TEST 2", Hex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"), Hex("72"),
       Hex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
           "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00")},
      {"TEST 3", Hex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025"), Hex("af82"),
       Hex("6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
           "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a")},
      {"TEST 1024", Hex("278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e"), Hex(kMessage1024),
       Hex("0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350"
           "aa5371b1508f9f4528ecea23c436d94b5e8fcd4f681e30a6ac00a9704a188a03")},
      {"TEST SHA(abc)", Hex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf"),
       Hex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
           "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"),
       Hex("dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
           "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704")},
  };
}

const auto* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

bool Verify(const std::string& signature, const std::string& message, const std::string& key) {
  EXPECT_EQ(signature.size(), 64u);
  EXPECT_EQ(key.size(), 32u);
  return qv::setup::Ed25519Verify(Bytes(signature), Bytes(message), message.size(), Bytes(key));
}

void FlipBit(std::string& bytes, std::size_t bit) { bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8))); }

// Which bits of R, S, key and message a flip test covers: every bit for a
// step of 1, else every step-th bit (a step coprime to 8 visits every bit
// position of a byte across the bytes).
void ExpectEveryFlipFails(const Vector& v, std::size_t step) {
  for (std::size_t bit = 0; bit < 512; bit += step) {
    std::string signature = v.signature;
    FlipBit(signature, bit);
    EXPECT_FALSE(Verify(signature, v.message, v.key)) << v.name << (bit < 256 ? " R bit " : " S bit ") << bit % 256;
  }
  for (std::size_t bit = 0; bit < 256; bit += step) {
    std::string key = v.key;
    FlipBit(key, bit);
    EXPECT_FALSE(Verify(v.signature, v.message, key)) << v.name << " key bit " << bit;
  }
  const std::size_t message_step = v.message.size() > 64 ? 61 : step;
  for (std::size_t bit = 0; bit < 8 * v.message.size(); bit += message_step) {
    std::string message = v.message;
    FlipBit(message, bit);
    EXPECT_FALSE(Verify(v.signature, message, v.key)) << v.name << " message bit " << bit;
  }
}

TEST(Ed25519, PublishedVectorsVerify) {
  for (const Vector& v : RfcVectors()) EXPECT_TRUE(Verify(v.signature, v.message, v.key)) << v.name;
}

TEST(Ed25519, AnyFlippedBitFails) {
  const auto vectors = RfcVectors();
  ExpectEveryFlipFails(vectors[1], 1);
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    if (i != 1) ExpectEveryFlipFails(vectors[i], 11);
  }
}

TEST(Ed25519, LongerOrShorterMessagesFail) {
  for (const Vector& v : RfcVectors()) {
    EXPECT_FALSE(Verify(v.signature, v.message + '\0', v.key)) << v.name;
    if (!v.message.empty()) {
      EXPECT_FALSE(Verify(v.signature, v.message.substr(1), v.key)) << v.name;
    }
  }
}

// S + L satisfies the group equation as well as S; only the range check stops it.
TEST(Ed25519, ScalarPlusOrderFails) {
  const std::string order = Hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  for (const Vector& v : RfcVectors()) {
    std::string signature = v.signature;
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
      unsigned sum = static_cast<std::uint8_t>(signature[32 + i]) + static_cast<std::uint8_t>(order[i]) + carry;
      signature[32 + i] = static_cast<char>(sum & 0xFF);
      carry = sum >> 8;
    }
    ASSERT_EQ(carry, 0u);
    EXPECT_FALSE(Verify(signature, v.message, v.key)) << v.name;
  }
  // S = L exactly, and S = 2^256 - 1.
  const Vector& v = RfcVectors()[0];
  EXPECT_FALSE(Verify(v.signature.substr(0, 32) + order, v.message, v.key));
  EXPECT_FALSE(Verify(v.signature.substr(0, 32) + std::string(32, '\xFF'), v.message, v.key));
}

// The decoding rules: the identity point, encoded several ways, as the key.
// With A the identity, [S]B - [k]A is [S]B whatever k is, so (encoded B, 1)
// and (encoded identity, 0) are valid signatures of any message.
TEST(Ed25519, KeyDecodingRules) {
  const std::string base = Hex("5866666666666666666666666666666666666666666666666666666666666666");
  const std::string identity = Hex("0100000000000000000000000000000000000000000000000000000000000000");
  const std::string identity_sign_set = Hex("0100000000000000000000000000000000000000000000000000000000000080");
  const std::string identity_y_above_p = Hex("eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f");  // y = p + 1
  const std::string one = Hex("0100000000000000000000000000000000000000000000000000000000000000");
  const std::string zero(32, '\0');
  for (const std::string* key : {&identity, &identity_sign_set, &identity_y_above_p}) {
    for (const std::string message : {"", "any message"}) {
      EXPECT_TRUE(Verify(base + one, message, *key));
      EXPECT_TRUE(Verify(identity + zero, message, *key));
      // R must be the canonical encoding: y = p + 1 for the identity is not.
      EXPECT_FALSE(Verify(identity_y_above_p + zero, message, *key));
      EXPECT_FALSE(Verify(identity_sign_set + zero, message, *key));
    }
  }
  // y = 2: (y^2 - 1) / (d y^2 + 1) has no square root, so no point has it.
  const std::string no_root = Hex("0200000000000000000000000000000000000000000000000000000000000000");
  EXPECT_FALSE(Verify(base + one, "", no_root));
  EXPECT_FALSE(Verify(identity + zero, "", no_root));
}

TEST(Ed25519, ReferenceSignaturesVerifyAndFailAfterAnyChange) {
  const auto vectors = qv::test::LoadReferenceVectors();
  ASSERT_GE(vectors.signatures.size(), 40u);
  std::mt19937 random(20240611);
  for (const auto& v : vectors.signatures) {
    const auto length = v.message.size();
    EXPECT_TRUE(Verify(v.signature, v.message, v.key)) << "length " << length;

    std::string message = v.message;
    FlipBit(message, random() % (8 * length));
    EXPECT_FALSE(Verify(v.signature, message, v.key)) << "length " << length;
    for (std::size_t part : {0, 256}) {
      std::string signature = v.signature;
      FlipBit(signature, part + random() % 256);
      EXPECT_FALSE(Verify(signature, v.message, v.key)) << "length " << length << " signature part " << part;
    }
    std::string key = v.key;
    FlipBit(key, random() % 256);
    EXPECT_FALSE(Verify(v.signature, v.message, key)) << "length " << length;
    EXPECT_FALSE(Verify(v.signature, v.message.substr(0, length - 1), v.key)) << "length " << length;
  }
}

}  // namespace
