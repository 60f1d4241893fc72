#pragma once
// The outside release service: the host that serves the latest-release
// document, the hosts that deliver release files, and the public key the
// release manifests are signed with. All of them are build settings (CMake
// cache variables QV_RELEASE_API_HOST, QV_RELEASE_WEB_HOST,
// QV_RELEASE_ASSET_HOST, QV_RELEASE_STORAGE_HOST, QV_RELEASE_PUBLIC_KEY); the
// defaults are placeholders that reach no real service.

#include <string_view>

namespace qv::update {

// Serves the latest-release document.
extern const std::string_view kReleaseApiHost;
// The service's main web host: release pages and download links.
extern const std::string_view kReleaseWebHost;
// Where download links of release files are redirected to.
extern const std::string_view kReleaseAssetHost;
extern const std::string_view kReleaseStorageHost;

// Path of the latest-release document on the API host.
inline constexpr std::string_view kReleaseDocumentPath = "/repos/Tessaly/qv-pc/releases/latest";

// The release signer's Ed25519 public key, 64 lower-case hexadecimal digits.
extern const std::string_view kReleasePublicKeyHex;

}  // namespace qv::update
