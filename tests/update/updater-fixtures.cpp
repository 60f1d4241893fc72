#include "updater-fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/update-test-trees.h"
#include "support/test-releases.h"
#include "support/test-server.h"

namespace qv::test {

std::string TextureArchiveBytes() { return qv::setup::QarBytes(); }

OlderGame::OlderGame() : games(temp / L"games"), folder(games / L"Q.V. DU Vora") {
  qv::setup::BuildOlderInstallFixture(folder, true, TextureArchiveBytes());
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ReleasePage(const std::string& version) { return "https://localhost/releases/" + version; }

std::string ServeRelease(const std::string& name, std::wstring_view release, const std::string& version,
                         const std::string& query) {
  return ServeSetupFile(name, ReadTestFile(TestReleaseSetup(release)), version, query);
}

std::string ServeSetupFile(const std::string& name, const std::string& bytes, const std::string& version,
                           const std::string& query) {
  PutTestServerFile(name + ".exe", bytes);
  const std::string link = TestHttpsUrl("/files/" + name + ".exe" + (query.empty() ? "" : "?" + query));
  PutTestServerFile(name + ".json", R"({"tag_name":")" + version + R"(","html_url":")" + ReleasePage(version) +
                                        R"(","assets":[{"name":"Q.V.PC.Rure.Setup.exe","browser_download_url":")" +
                                        link + R"(","size":)" + std::to_string(bytes.size()) + "}]}");
  return TestHttpsUrl("/files/" + name + ".json");
}

std::vector<std::string> UpdaterEnvironment(const std::string& document, std::vector<std::string> more) {
  std::vector<std::string> environment = {"QV_UPDATE_TEST=1", "QV_UPDATE_MANIFEST_URL=" + document,
                                          "QV_UPDATE_TEST_PUBLIC_KEY=" + TestReleasePublicKeyHex()};
  environment.insert(environment.end(), more.begin(), more.end());
  return environment;
}

}  // namespace qv::test
