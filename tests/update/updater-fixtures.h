#pragma once
// Material of the updater tests: an older installation to update, the update
// releases served by the project's test server with their release documents,
// and the environment that points the updater at them.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp-folder.h"

namespace qv::test {

// Version of the "update" test releases (make-test-releases.py).
inline constexpr const char* kUpdateVersion = "1.2.0";

// The bytes the older installation's "CUSA09901/texture.qar" holds: a texture
// archive the game source accepts (QarBytes).
std::string TextureArchiveBytes();

// An installation of version 0.0.9 (BuildOlderInstallFixture with its
// manifest) at "<temp>\games\Q.V. DU Vora", beside which the update's
// temporary folders appear.
struct OlderGame {
  OlderGame();
  TempFolder temp{L"qv-updater"};
  std::filesystem::path games;   // the game folder's parent
  std::filesystem::path folder;  // the game folder
};

// Serves the setup file of a test release ("update", "update-other-key", ...)
// as "/files/<name>.exe" and a release document naming it as version
// `version` as "/files/<name>.json"; `query` is added to the setup file's
// address (server options such as "ranges=ignore"). Returns the document's
// https address.
std::string ServeRelease(const std::string& name, std::wstring_view release, const std::string& version,
                         const std::string& query = "");

// As ServeRelease, for a setup file the test made.
std::string ServeSetupFile(const std::string& name, const std::string& bytes, const std::string& version,
                           const std::string& query = "");

// The release page the documents of ServeRelease name.
std::string ReleasePage(const std::string& version);

// Whether `lines` hold `line` exactly.
bool Contains(const std::vector<std::string>& lines, const std::string& line);

// The variables of an updater run in update test mode against a release
// document: "QV_UPDATE_TEST=1", the document's address and the run's public
// key, plus `more`.
std::vector<std::string> UpdaterEnvironment(const std::string& document, std::vector<std::string> more = {});

}  // namespace qv::test
