#include "selftest/scenario/scenario-uninstall.h"

#include <exception>

#include "engine/records/install-manifest.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/tree-walk.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "setup/uninstall/installed-files-removal.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

std::string CheckKeepData(const fs::path& install) {
  WriteFixtureFile(install / L"qv.exe", "game");
  WriteFixtureFile(install / L"shaders" / L"a.spv", "spv");
  WriteFixtureFile(install / L"data" / L"qv.ini", "settings");
  WriteFixtureFile(install / L"data" / L"save.bin", "save");
  WriteInstallManifest(install, "1.1.0", {{"qv.exe", std::string(64, 'a')}, {"shaders/a.spv", std::string(64, 'b')}},
                       "");
  std::string tokens;
  try {
    const RemovalCounts counts = RemoveInstalledFiles(install, false);
    // "qv.exe", "shaders/a.spv" and the manifest at least; the folder stays
    // because "data" does.
    Expect(counts.removed >= 3 && counts.failed == 0 && !counts.root_removed, " uninstall-keep-counts", tokens);
    const bool leftovers = ItemExists(install / L"qv.exe") || ItemExists(install / L"shaders") ||
                           ItemExists(install / L"qv-install-manifest.txt");
    Expect(!leftovers, " uninstall-keep-leftovers", tokens);
    Expect(ItemExists(install / L"data" / L"qv.ini") && ItemExists(install / L"data" / L"save.bin"),
           " uninstall-data-lost", tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" uninstall-keep:", error);
  }
  return tokens;
}

std::string CheckRemoveAll(const fs::path& install) {
  WriteFixtureFile(install / L"qv.exe", "game");
  WriteFixtureFile(install / L"data" / L"qv.ini", "settings");
  WriteInstallManifest(install, "1.1.0", {{"qv.exe", std::string(64, 'a')}}, "");
  try {
    const RemovalCounts counts = RemoveInstalledFiles(install, true);
    return counts.root_removed && !ItemExists(install) ? "" : " uninstall-full-root";
  } catch (const std::exception& error) {
    return CaughtToken(" uninstall-full:", error);
  }
}

// An empty folder holds no installation and is refused as such, not for some
// other reason.
std::string CheckNotAnInstallation(const fs::path& empty) {
  CreateFolders(empty);
  return RefusalFailure([&] { RemoveInstalledFiles(empty, false); }, kNoInstallationText, RefusalText::kWhole,
                        " uninstall-non-install-accepted", OtherExceptions::kPass);
}

}  // namespace

std::string SelfTestUninstall(const fs::path& folder) {
  std::string tokens = CheckKeepData(folder / L"keep-data");
  tokens += CheckRemoveAll(folder / L"remove-all");
  tokens += CheckNotAnInstallation(folder / L"not-an-install");
  // The folder is the test's alone; what cannot be removed now goes with the
  // self test's root.
  RemoveTree(folder);
  return tokens;
}

}  // namespace qv::setup
