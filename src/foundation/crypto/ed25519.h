#pragma once
// Ed25519 signature verification (RFC 8032), our own implementation over our
// own SHA-512: the release manifest's signature is checked without any
// cryptography library or system provider.

#include <cstdint>

namespace qv::setup {

// True when the 64-byte signature (R, then S little-endian) is valid for the
// message under the 32-byte public key. Rejects S >= L and any R that is not
// the canonical encoding of [S]B - [k]A; no cofactor multiplication. Never
// raises for bad input; raises std::bad_alloc only when the copy of the
// message cannot be allocated.
bool Ed25519Verify(const std::uint8_t signature[64], const std::uint8_t* message, std::uint64_t length,
                   const std::uint8_t public_key[32]);

}  // namespace qv::setup
