#pragma once
// SHA-512 (FIPS 180-4), our own implementation: the signature check of the
// release manifest must not depend on any library or system provider.

#include <cstdint>

namespace qv::setup {

// The SHA-512 digest of the whole buffer, written into 64 bytes.
void Sha512(const std::uint8_t* bytes, std::uint64_t length, std::uint8_t output[64]);

}  // namespace qv::setup
