#pragma once
// The signed update manifest at the end of every release's setup file: per
// platform the setup package (name, size, SHA-256) and every file of the port
// with its size, SHA-256 and where its compressed data lies in that platform's
// setup file. Nothing of a manifest is read before its Ed25519 signature holds.
//
// Failures are reported as an empty result plus, when the caller passes an
// error string, one lower-case phrase without a final full stop, which the
// callers embed in their own sentences. Nothing here throws for bad data.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/release-info.h"

namespace qv::update {

struct PackageInfo {
  std::string name;         // the setup file's name
  std::uint64_t size = 0;   // its size without the signed overlay
  std::string sha256;       // 64 lower-case hexadecimal digits
};

struct FileEntry {
  std::string path;          // relative, '/' separators, as the manifest gives it
  std::uint64_t size = 0;    // unpacked
  std::string sha256;        // 64 lower-case hexadecimal digits
  std::uint64_t offset = 0;  // absolute position of its zlib stream in the setup file; 0 when not given
  std::uint64_t packed = 0;  // length of that stream; 0: cannot be fetched by range
};

struct UpdateManifest {
  std::string version;                                   // as the manifest gives it
  std::map<std::string, PackageInfo> packages;           // by platform key
  std::map<std::string, std::vector<FileEntry>> files;   // by platform key, in document order
};

// The key manifests must be signed with, 32 raw bytes: in update test mode
// the one "QV_UPDATE_TEST_PUBLIC_KEY" gives (64 hexadecimal digits), else, or
// when that variable does not hold such a key, the release signer's own.
std::string ReleasePublicKey();

// Verifies the signature (hexadecimal text) of the manifest bytes with the
// 32-byte key, then reads the manifest. `error` may be null.
std::optional<UpdateManifest> ParseSignedManifest(std::string_view manifest, std::string_view signature_hex,
                                                  std::string_view public_key, std::string* error);

// The reader behind the signature check: the manifest's rules, in order. Only
// ever given bytes whose signature held (and tests).
std::optional<UpdateManifest> ReadVerifiedManifest(std::string_view manifest, std::string* error);

// Verifies the manifest with ReleasePublicKey and ties it to the release it
// came with: the same version, a package for this system under its setup
// file's name, and that package's size equal to `expected_package_size` (the
// size of the setup file without its overlay, the trailer's manifest offset).
// `signature` is the raw 64 bytes.
std::optional<UpdateManifest> CheckManifestAgainstRelease(const Release& release, std::string_view manifest,
                                                          std::string_view signature,
                                                          std::uint64_t expected_package_size, std::string* error);

// The manifest and signature bytes of a setup file on disk; false when the
// file has no valid trailer or cannot be read.
bool ReadManifestAndSignature(const std::filesystem::path& package, std::string& manifest, std::string& signature);

// CheckManifestAgainstRelease for a setup file on disk (a downloaded package).
std::optional<UpdateManifest> ReadLocalSignedManifest(const Release& release, const std::filesystem::path& package,
                                                      std::string* error);

}  // namespace qv::update
