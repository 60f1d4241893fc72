#pragma once
// Setup files whose signed manifest a test changes after the fact: names
// that only this machine's file system can give (a short 8.3 name read from
// a test's own folder) cannot be written into the releases made before the
// tests run. The test server signs the changed manifest with a key of its
// own, and the updater is given that key's public half in update test mode.

#include <string>
#include <string_view>

namespace qv::test {

struct ServerSignature {
  std::string signature;       // the 64 signature bytes
  std::string public_key_hex;  // the key's raw public half, 64 hexadecimal digits
};

// Signs `bytes` as the release tool signs a manifest, with the test server's
// own key (its "/sign" path), after putting them into its files as `name`.
// Fails the current test and returns empty texts when it cannot.
ServerSignature SignWithTestServer(std::string_view name, std::string_view bytes);

// The signed manifest of a setup file (its trailer's manifest field); fails
// the current test and returns an empty text for a file without a trailer.
std::string SignedManifestOf(const std::string& setup);

// The setup file with its signed overlay replaced by `manifest`, signed by
// the test server (`signed_by` receives the signature and its key).
std::string WithResignedManifest(const std::string& setup, const std::string& manifest, ServerSignature* signed_by);

}  // namespace qv::test
