#include "update/signed-manifest.h"

#include "foundation/crypto/ed25519.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/files/file-reads.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/json.h"
#include "update/build-identity.h"
#include "update/environment-text.h"
#include "update/release-service.h"
#include "update/update-test-mode.h"
#include "update/version-order.h"

namespace qv::update {
namespace {

using qv::setup::FindJsonMember;
using qv::setup::JsonValue;

constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kPublicKeyBytes = 32;
constexpr std::size_t kDigestTextLength = 64;
// Longest numeric token read: 19 digits always fit 64 bits.
constexpr std::size_t kNumberTextLimit = 19;

std::nullopt_t FailManifest(std::string* error, std::string_view text) {
  if (error != nullptr) *error = text;
  return std::nullopt;
}

// A bare number token (not a string, object or array) of at most 19 bytes that
// begins with a digit; its value is that of its leading digits.
std::optional<std::uint64_t> BareNumber(const JsonValue* value) {
  if (value == nullptr || value->is_string || value->is_object) return std::nullopt;
  const std::string& text = value->text;
  if (text.empty() || text.size() > kNumberTextLimit || text[0] < '0' || text[0] > '9') return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return number;
}

bool IsLowerHexDigest(const std::string* text) {
  if (text == nullptr || text->size() != kDigestTextLength) return false;
  for (char c : *text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<PackageInfo> ReadPackage(const JsonValue& item) {
  const std::string* name = NonEmptyStringMember(item, "name");
  std::optional<std::uint64_t> size = BareNumber(FindJsonMember(item, "size"));
  const std::string* sha256 = NonEmptyStringMember(item, "sha256");
  if (name == nullptr || !size || !IsLowerHexDigest(sha256)) return std::nullopt;
  return PackageInfo{*name, *size, *sha256};
}

enum class EntryDefect { kNone, kMissingFields, kOutsidePackage };

// One file of a platform; `package` is that platform's package when the
// manifest lists one, which bounds where the file's data may lie.
EntryDefect ReadFileEntry(const JsonValue& item, const PackageInfo* package, FileEntry& entry) {
  const std::string* path = NonEmptyStringMember(item, "path");
  std::optional<std::uint64_t> size = BareNumber(FindJsonMember(item, "size"));
  const std::string* sha256 = NonEmptyStringMember(item, "sha256");
  if (path == nullptr || !size || !IsLowerHexDigest(sha256)) return EntryDefect::kMissingFields;
  entry = FileEntry{*path, *size, *sha256, 0, 0};

  const JsonValue* offset_member = FindJsonMember(item, "offset");
  const JsonValue* packed_member = FindJsonMember(item, "packed");
  if (offset_member == nullptr && packed_member == nullptr) return EntryDefect::kNone;
  std::optional<std::uint64_t> offset = BareNumber(offset_member);
  std::optional<std::uint64_t> packed = BareNumber(packed_member);
  if (!offset || !packed || *packed == 0) return EntryDefect::kOutsidePackage;
  // Written so that no sum can wrap around.
  if (package != nullptr && (*offset > package->size || *packed > package->size - *offset)) {
    return EntryDefect::kOutsidePackage;
  }
  entry.offset = *offset;
  entry.packed = *packed;
  return EntryDefect::kNone;
}

bool IsFormatOne(const JsonValue* format) {
  std::optional<std::uint64_t> value = BareNumber(format);
  return value && *value == 1;
}

std::string_view WithoutVersionLetter(std::string_view version) {
  if (!version.empty() && (version[0] == 'v' || version[0] == 'V')) version.remove_prefix(1);
  return version;
}

}  // namespace

std::string ReleasePublicKey() {
  if (IsUpdateTestMode()) {
    const std::string test_key = EnvironmentText("QV_UPDATE_TEST_PUBLIC_KEY");
    if (!test_key.empty()) {
      if (std::optional<std::string> key = qv::setup::HexDecode(test_key, kPublicKeyBytes)) return *key;
    }
  }
  // A build given a malformed key gets no key at all, and every manifest fails.
  return qv::setup::HexDecode(kReleasePublicKeyHex, kPublicKeyBytes).value_or(std::string());
}

std::optional<UpdateManifest> ParseSignedManifest(std::string_view manifest, std::string_view signature_hex,
                                                  std::string_view public_key, std::string* error) {
  std::optional<std::string> signature = qv::setup::HexDecode(signature_hex, kSignatureBytes);
  if (!signature) return FailManifest(error, "the signature file is not a signature");
  if (public_key.size() != kPublicKeyBytes) return FailManifest(error, "no release key");
  if (!qv::setup::Ed25519Verify(reinterpret_cast<const std::uint8_t*>(signature->data()),
                                reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size(),
                                reinterpret_cast<const std::uint8_t*>(public_key.data()))) {
    return FailManifest(error, "the update manifest's signature is not valid");
  }
  return ReadVerifiedManifest(manifest, error);
}

std::optional<UpdateManifest> ReadVerifiedManifest(std::string_view manifest, std::string* error) {
  std::optional<JsonValue> document = qv::setup::ParseJsonDocument(manifest);
  if (!document) return FailManifest(error, "the update manifest is not valid");
  if (!IsFormatOne(FindJsonMember(*document, "format"))) {
    return FailManifest(error, "the update manifest has an unknown format");
  }
  const std::string* version = NonEmptyStringMember(*document, "version");
  if (version == nullptr || !IsValidVersion(*version)) return FailManifest(error, "the update manifest has no version");

  UpdateManifest result;
  result.version = *version;
  const JsonValue* packages = FindJsonMember(*document, "packages");
  if (packages != nullptr && packages->is_object) {
    for (const auto& [platform, item] : packages->members) {
      std::optional<PackageInfo> package = ReadPackage(item);
      if (!package) return FailManifest(error, "the update manifest lists a package without its size or SHA-256");
      result.packages[platform] = std::move(*package);
    }
  }
  const JsonValue* files = FindJsonMember(*document, "files");
  if (files != nullptr && files->is_object) {
    for (const auto& [platform, list] : files->members) {
      std::vector<FileEntry>& entries = result.files[platform];
      auto package = result.packages.find(platform);
      const PackageInfo* bound = package != result.packages.end() ? &package->second : nullptr;
      for (const JsonValue& item : list.items) {
        FileEntry entry;
        switch (ReadFileEntry(item, bound, entry)) {
          case EntryDefect::kMissingFields:
            return FailManifest(error, "the update manifest lists a file without its size or SHA-256");
          case EntryDefect::kOutsidePackage:
            return FailManifest(error, "the update manifest lists a file outside its package");
          case EntryDefect::kNone:
            entries.push_back(std::move(entry));
            break;
        }
      }
    }
  }
  if (result.packages.empty()) return FailManifest(error, "the update manifest lists no package");
  return result;
}

std::optional<UpdateManifest> CheckManifestAgainstRelease(const Release& release, std::string_view manifest,
                                                          std::string_view signature,
                                                          std::uint64_t expected_package_size, std::string* error) {
  std::optional<UpdateManifest> result = ParseSignedManifest(
      manifest, qv::setup::HexEncode(signature.data(), signature.size()), ReleasePublicKey(), error);
  if (!result) return std::nullopt;

  const std::string_view release_version = WithoutVersionLetter(release.version);
  const std::string_view manifest_version = WithoutVersionLetter(result->version);
  if (release_version != manifest_version) {
    return FailManifest(error, "the update manifest is for version " + std::string(manifest_version) + ", not " +
                                   std::string(release_version));
  }
  auto package = result->packages.find(std::string(CurrentPlatform()));
  if (package == result->packages.end() || package->second.name != SetupPackageFileName(CurrentPlatform())) {
    return FailManifest(error, "the update manifest has no package for this system");
  }
  if (package->second.size != expected_package_size) {
    return FailManifest(error, "the update manifest names another package than the one it is in");
  }
  return result;
}

namespace {

// Manifest and signature as the trailer locates them, read in one piece.
bool ReadOverlay(const std::filesystem::path& package, const qv::setup::SignedTrailer& trailer,
                 std::string& manifest, std::string& signature) {
  std::string overlay = qv::setup::ReadFileSlice(package, trailer.manifest_length + trailer.signature_length,
                                                 static_cast<std::int64_t>(trailer.manifest_offset),
                                                 qv::setup::SliceOrigin::Start);
  if (overlay.size() != trailer.manifest_length + trailer.signature_length) return false;
  manifest = overlay.substr(0, trailer.manifest_length);
  signature = overlay.substr(trailer.manifest_length);
  return true;
}

}  // namespace

bool ReadManifestAndSignature(const std::filesystem::path& package, std::string& manifest, std::string& signature) {
  std::optional<qv::setup::SignedTrailer> trailer = qv::setup::ReadSignedTrailer(package);
  return trailer && ReadOverlay(package, *trailer, manifest, signature);
}

std::optional<UpdateManifest> ReadLocalSignedManifest(const Release& release, const std::filesystem::path& package,
                                                      std::string* error) {
  std::optional<qv::setup::SignedTrailer> trailer = qv::setup::ReadSignedTrailer(package);
  std::string manifest, signature;
  if (!trailer || !ReadOverlay(package, *trailer, manifest, signature)) {
    return FailManifest(error, "the package carries no signed update manifest");
  }
  return CheckManifestAgainstRelease(release, manifest, signature, trailer->manifest_offset, error);
}

}  // namespace qv::update
