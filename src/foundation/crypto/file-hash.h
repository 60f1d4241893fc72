#pragma once
// SHA-256 through the system's cryptography provider (CNG). Every integrity
// decision rests on these: payload entries after extraction, installed files
// against their expected digests, downloaded setup files, the setup file itself.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qv::setup {

// The hasher signature used everywhere: a file path in, its SHA-256 as 64
// lower-case hexadecimal characters out (HashFile, or a caller's own).
using FileHasher = std::function<std::string(const std::filesystem::path& path)>;

// The limit of HashFileSha256 that means "the whole file".
inline constexpr std::uint64_t kWholeFile = ~std::uint64_t{0};

// How the file hasher waits for a file that another program (typically an
// antivirus scanner) holds open: access denied, sharing and lock violations are
// retried, every other error ends the attempts at once. The defaults give up
// after about 10 s; tests pass shorter waits.
struct OpenRetryPolicy {
  int attempts = 100;
  unsigned delay_ms = 100;
};

// SHA-256 of the first `limit` bytes of the file (all of it when it is shorter)
// as 64 lower-case hexadecimal characters. Polls CancelHook before every open
// attempt and every read ("Installation cancelled."). Failures raise
// std::runtime_error with a sentence for the user:
//   "SHA256 provider unavailable.", "SHA256 initialization failed.", or
//   "Could not read or hash this file to verify its integrity: <path> (Windows
//   error <code>)" followed by a hint for codes 5, 32 and 33.
std::string HashFileSha256(const std::filesystem::path& path, std::uint64_t limit,
                           const OpenRetryPolicy& retry = {});

// HashFileSha256 of the whole file: the hasher handed to ExtractPayload and to
// the install engine.
std::string HashFile(const std::filesystem::path& path);

// HashFile, or "" when the file cannot be read or hashed (missing, a folder,
// locked): for checks where an unreadable file simply never matches.
std::string HashFileOrEmpty(const std::filesystem::path& path);

// SHA-256 of one buffer into 32 raw bytes at `digest`. False (and `digest`
// unspecified) when any provider step fails; never raises.
bool Sha256OfBuffer(const void* bytes, std::uint32_t length, unsigned char* digest);

// Hands each piece of a content to the hash; false when hashing failed.
using Sha256Add = std::function<bool(const void* bytes, std::size_t length)>;

// SHA-256 of a content of any length that `feed` hands over piece by piece
// through the Sha256Add it is given, into 32 raw bytes at `digest`. False when
// `feed` answers false or any provider step fails; never raises.
bool Sha256OfPieces(const std::function<bool(const Sha256Add& add)>& feed, unsigned char* digest);

}  // namespace qv::setup
