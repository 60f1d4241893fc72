// Ed25519 verification and SHA-512: verifications per second of a short
// message, SHA-512 throughput, and the cost of one 16 MiB manifest, which must
// stay one SHA-512 pass plus the two scalar ladders of a short message.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"
#include "foundation/crypto/ed25519.h"
#include "foundation/crypto/sha512.h"
#include "foundation/text/hex-text.h"

namespace {

// RFC 8032 section 7.1, TEST 3 (a two-byte message).
const std::string kKey = *qv::setup::HexDecode("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", 32);
const std::string kSignature = *qv::setup::HexDecode(
    "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
    "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a",
    64);
const std::string kMessage = "\xAF\x82";

bool Verify(const std::uint8_t* message, std::uint64_t length) {
  return qv::setup::Ed25519Verify(reinterpret_cast<const std::uint8_t*>(kSignature.data()), message, length,
                                  reinterpret_cast<const std::uint8_t*>(kKey.data()));
}

}  // namespace

QV_BENCH(signature) {
  using qv::bench::BestSecondsOf;
  const auto* short_message = reinterpret_cast<const std::uint8_t*>(kMessage.data());
  if (!Verify(short_message, kMessage.size())) {
    std::printf("Ed25519Verify: the published vector does not verify\n");
    return;
  }

  constexpr int kVerifications = 400;
  const double verify_seconds = BestSecondsOf(3, [&] {
    for (int i = 0; i < kVerifications; ++i) Verify(short_message, kMessage.size());
  }) / kVerifications;
  std::printf("Ed25519Verify, 2-byte message:    %8.0f verifications/s (%.3f ms each)\n", 1 / verify_seconds,
              verify_seconds * 1e3);

  std::vector<std::uint8_t> data(64u << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  std::uint8_t digest[64];
  const double sha_seconds = BestSecondsOf(3, [&] { qv::setup::Sha512(data.data(), data.size(), digest); });
  std::printf("Sha512, 64 MiB buffer:            %8.0f MB/s\n", data.size() / sha_seconds / 1e6);

  // A manifest of the largest size the trailer allows; its signature does not
  // hold, which costs the same work as one that does.
  constexpr std::uint64_t kManifest = 16u << 20;
  const double manifest_seconds = BestSecondsOf(3, [&] { Verify(data.data(), kManifest); });
  const double manifest_sha_seconds =
      BestSecondsOf(3, [&] { qv::setup::Sha512(data.data(), kManifest + 64, digest); });
  // The verifier hashes R, the key and the message as one buffer: one copy.
  const double copy_seconds = BestSecondsOf(3, [&] {
    std::vector<std::uint8_t> hashed(kManifest + 64);
    std::copy(data.begin(), data.begin() + kManifest, hashed.begin() + 64);
    digest[0] ^= hashed[100];
  });
  std::printf("Ed25519Verify, 16 MiB manifest:   %8.1f ms (one copy %.1f ms + one SHA-512 pass %.1f ms + short "
              "verification %.1f ms = %.1f ms)\n",
              manifest_seconds * 1e3, copy_seconds * 1e3, manifest_sha_seconds * 1e3, verify_seconds * 1e3,
              (copy_seconds + manifest_sha_seconds + verify_seconds) * 1e3);
}
