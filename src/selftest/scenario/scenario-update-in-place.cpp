// The in-place update: an older installation, once with its install manifest
// and once from before manifests existed, takes the new release through the
// commit without a journal.

#include <cstdint>
#include <exception>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/update-test-trees.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/scenario/scenario-update-sections.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

struct UpdateVariant {
  bool with_manifest;
  const wchar_t* folder;
  const char* label;  // follows the tag of every token of the variant
};

constexpr UpdateVariant kVariants[] = {
    {true, L"with", " (manifest)"},
    {false, L"without", " (older install)"},
};

// The older release's program files the new release no longer ships.
constexpr const char* kObsoleteFiles[] = {"shaders/gone.spv", "nvngx_dlss.dll", "voice/cmudict-en-us.dict",
                                          "voice/en-us/mdef"};

// The player's files, which no update may touch: settings, a mod, an add-on
// DLL, the game's archive and the "data" folder.
constexpr struct {
  const char* path;
  const char* content;
} kPlayerFiles[] = {
    {"qv.ini", "player settings"},
    {"mods/mine/init.lua", "player mod"},
    {"reshade.dll", "player dll"},
    {"CUSA09901/chunk1.psarc", "PSAR old archive"},
    {"data/qv.ini", "user folder settings"},
    {"data/qv.log", "user folder log"},
    {"data/saves/progress.dat", "user save"},
};

std::string Read(const fs::path& install, const char* relative) {
  return ReadFileText(install / PathFromUtf8(relative));
}

bool AnyObsoleteLeft(const fs::path& install) {
  for (const char* path : kObsoleteFiles) {
    if (ItemExists(install / PathFromUtf8(path))) return true;
  }
  return false;
}

bool PlayerFilesKept(const fs::path& install) {
  for (const auto& file : kPlayerFiles) {
    if (Read(install, file.path) != file.content) return false;
  }
  return true;
}

// The old manifest lists the player's data files in four spellings; none of
// them may be taken for a program file, or an update would sweep it.
bool ListsOnlyProgramFiles(const ExistingInstall& existing) {
  for (const InstalledFile& file : existing.manifest_files) {
    if (IsUnderDataFolder(file.path)) return false;
  }
  return true;
}

// Replaced: "qv.exe", "shaders/a.spv" and the old manifest where there was
// one; added: "shaders/b.spv" and the manifest where there was none; removed:
// the four obsolete files, found with or without a manifest to name them.
bool CountsMatch(const CommitResult& result, bool with_manifest) {
  const std::uint32_t manifest = with_manifest ? 1 : 0;
  return result.replaced == 2 + manifest && result.added == 2 - manifest && result.removed == 4;
}

std::string CheckVariant(const fs::path& folder, const UpdateVariant& variant, const std::string& texture_archive) {
  const UpdateTestFolders f = UpdateTestFoldersIn(folder / variant.folder);
  const std::string label = variant.label;
  std::string tokens;

  BuildOlderInstallFixture(f.install, variant.with_manifest, texture_archive);
  const ExistingInstall existing = ReadExistingInstall(f.install);
  const bool inspected = existing.is_install && existing.has_manifest == variant.with_manifest &&
                         (!variant.with_manifest || existing.version == kOlderInstallVersion);
  Expect(inspected, " inspect" + label, tokens);

  const std::vector<InstalledFile> staged = BuildNewReleaseFixture(f.staging);
  try {
    const CommitResult result = CommitStagedFiles(f.staging, f.install, staged, {"qv-install-manifest.txt"},
                                                  existing, f.backup, -1, nullptr, {});
    Expect(Read(f.install, "qv.exe") == "new exe" && Read(f.install, "shaders/b.spv") == "new b", " new files" + label,
           tokens);
    Expect(!AnyObsoleteLeft(f.install), " obsolete kept" + label, tokens);
    Expect(PlayerFilesKept(f.install), " player files" + label, tokens);
    Expect(ListsOnlyProgramFiles(existing), " data-classified-as-program" + label, tokens);
    Expect(CountsMatch(result, variant.with_manifest), " counts" + label, tokens);
    Expect(ReadExistingInstall(f.install).version == kNewReleaseVersion, " manifest" + label, tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" swap" + label + ": ", error);
  }
  return tokens;
}

}  // namespace

std::string CheckInPlaceUpdates(const fs::path& folder, const std::string& texture_archive) {
  std::string tokens;
  for (const UpdateVariant& variant : kVariants) tokens += CheckVariant(folder, variant, texture_archive);
  return tokens;
}

}  // namespace qv::setup
