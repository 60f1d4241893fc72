#pragma once
// SHA-512 digests made by coreutils' sha512sum and Ed25519 signatures made by
// OpenSSL on the build machine just before the tests run
// (tools/make-reference-vectors.sh, a ctest fixture), read from the file it
// writes beside the test program.

#include <string>
#include <vector>

namespace qv::test {

struct ReferenceSha512 {
  std::string message;
  std::string digest;  // 64 bytes
};

struct ReferenceSignature {
  std::string key;  // 32 bytes, the public key
  std::string message;
  std::string signature;  // 64 bytes
};

struct ReferenceVectors {
  std::vector<ReferenceSha512> digests;
  std::vector<ReferenceSignature> signatures;
};

// Fails the calling test (and returns empty lists) when the file is missing or malformed.
ReferenceVectors LoadReferenceVectors();

}  // namespace qv::test
