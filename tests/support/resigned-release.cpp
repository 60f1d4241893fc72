#include "support/resigned-release.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/net/http-client.h"
#include "foundation/text/hex-text.h"
#include "support/signed-overlay.h"
#include "support/test-server.h"

namespace qv::test {
namespace {

std::uint64_t ReadLittleEndian(const std::string& data, std::size_t offset) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[offset + i]);
  return value;
}

// The value of "key=" in the server's answer.
std::string Field(const std::string& body, std::string_view key) {
  const std::string marker = std::string(key) + "=";
  const std::size_t start = body.find(marker);
  if (start == std::string::npos) return {};
  const std::size_t end = body.find('\n', start);
  return body.substr(start + marker.size(), end == std::string::npos ? end : end - start - marker.size());
}

}  // namespace

ServerSignature SignWithTestServer(std::string_view name, std::string_view bytes) {
  PutTestServerFile(name, bytes);
  qv::setup::DownloadRequest request;
  request.url = TestHttpUrl("/sign/" + std::string(name));
  request.allow_url = [](const std::string&) { return true; };
  std::string body;
  request.sink = [&body](const char* data, std::uint64_t size) {
    body.append(data, static_cast<std::size_t>(size));
    return true;
  };
  const qv::setup::DownloadResult result = qv::setup::HttpDownload(request);
  ServerSignature signed_by;
  const std::optional<std::string> signature = qv::setup::HexDecode(Field(body, "signature"), 64);
  if (!result.ok || !signature) {
    ADD_FAILURE() << "the test server did not sign " << name << ": " << result.error << " " << body;
    return signed_by;
  }
  signed_by.signature = *signature;
  signed_by.public_key_hex = Field(body, "public");
  return signed_by;
}

std::string SignedManifestOf(const std::string& setup) {
  if (setup.size() < 48 || setup.compare(setup.size() - 48, 8, "QVSIGND1") != 0) {
    ADD_FAILURE() << "no signed trailer";
    return {};
  }
  const std::size_t trailer = setup.size() - 48;
  const std::uint64_t offset = ReadLittleEndian(setup, trailer + TrailerField::kManifestOffset);
  const std::uint64_t length = ReadLittleEndian(setup, trailer + TrailerField::kManifestLength);
  if (offset > trailer || length > trailer - offset) {
    ADD_FAILURE() << "a trailer that names no manifest";
    return {};
  }
  return setup.substr(offset, length);
}

std::string WithResignedManifest(const std::string& setup, const std::string& manifest, ServerSignature* signed_by) {
  const std::uint64_t offset = ReadLittleEndian(setup, setup.size() - 48 + TrailerField::kManifestOffset);
  ServerSignature signature = SignWithTestServer("resigned-manifest.json", manifest);
  const std::string changed = setup.substr(0, offset) + SignedOverlay(offset, manifest, signature.signature);
  if (signed_by) *signed_by = std::move(signature);
  return changed;
}

}  // namespace qv::test
