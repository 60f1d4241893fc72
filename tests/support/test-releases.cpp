#include "support/test-releases.h"

#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace qv::test {

std::filesystem::path TestReleasesFolder() { return TestBinaryFolder().parent_path() / L"test-releases"; }

std::filesystem::path TestReleaseSetup(std::wstring_view release) {
  return TestReleasesFolder() / release / L"Q.V.PC.Rure.Setup.exe";
}

std::filesystem::path TestReleaseContent() { return TestReleasesFolder() / L"content"; }

std::string TestReleasePublicKeyHex() {
  std::string text = ReadTestFile(TestReleasesFolder() / L"release-key.hex");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

SignedTestManifest ReadSignedTestManifest(std::wstring_view name) {
  const std::filesystem::path folder = TestReleasesFolder() / L"manifests";
  return {ReadTestFile(folder / (std::wstring(name) + L".json")), ReadTestFile(folder / (std::wstring(name) + L".sig"))};
}

}  // namespace qv::test
