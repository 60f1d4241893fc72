#pragma once
// The releases that the ctest fixture "setup-test-releases"
// (tests/support/make-test-releases.py, through tools/make-release.py) makes
// fresh before the tests that need them, in BUILD/test-releases.

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::test {

// BUILD/test-releases.
std::filesystem::path TestReleasesFolder();

// The setup file of one release: "good" (complete, version 1.1.0),
// "damaged-payload" (a payload byte changed before stamping),
// "modified-after-stamp" (the same byte changed after stamping) or "newer"
// (the good release's files as version 2.0.0).
std::filesystem::path TestReleaseSetup(std::wstring_view release);

// The folder whose files the releases carry (without "qv-files.json").
std::filesystem::path TestReleaseContent();

// The 64 hexadecimal digits of the run's release public key.
std::string TestReleasePublicKeyHex();

// A manifest of tests/fixtures/manifests ("NAME.json") and its 64-byte
// signature made with the run's release key.
struct SignedTestManifest {
  std::string manifest;
  std::string signature;
};
SignedTestManifest ReadSignedTestManifest(std::wstring_view name);

}  // namespace qv::test
