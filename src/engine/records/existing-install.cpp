#include "engine/records/existing-install.h"

#include <stdexcept>

#include "engine/records/files-json.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "gamesource/game-files.h"
#include "gamesource/known-titles.h"
#include "gamesource/title-folders.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

bool IsSymbolicLinkItself(const fs::path& path, const FileSystemView& view) {
  auto info = ReadItemInfo(path, view);
  return info && info->IsSymbolicLink();
}

// An installation from before install manifests: the game executable and the
// game archives in a title folder.
bool LooksLikeOlderInstall(const fs::path& destination) {
  if (!IsRegularFile(destination / kGameExecutableName)) return false;
  if (!FindTitleFolder(destination).empty()) return true;
  const fs::path title = destination / PathFromUtf8(DefaultTitleId);
  return IsRegularFile(title / PathFromUtf8(GameArchiveNames[0])) &&
         IsRegularFile(title / PathFromUtf8(GameArchiveNames[1]));
}

}  // namespace

ExistingInstall ReadExistingInstall(const fs::path& destination, const FileSystemView& view) {
  ExistingInstall result;
  if (!ReadItemStatus(destination)) return result;  // nothing there: a fresh installation
  if (IsEmptyFolder(destination, view)) return result;

  if (!IsFolder(destination) || IsSymbolicLinkItself(destination, view)) {
    throw std::runtime_error(kNeverOverwriteText);
  }

  if (auto manifest = ReadInstallManifest(destination)) {
    result.is_install = true;
    result.has_manifest = true;
    result.version = std::move(manifest->version);
    result.source = std::move(manifest->source);
    for (InstalledFile& file : manifest->files) {
      // The player's data is never the port's: such lines are not kept.
      if (!IsUnderDataFolder(file.path)) result.manifest_files.push_back(std::move(file));
    }
    result.listed_files = ReadFilesJson(destination / kFilesJsonName);
    return result;
  }

  if (!LooksLikeOlderInstall(destination)) throw std::runtime_error(kSomethingElseText);
  result.is_install = true;
  result.listed_files = ReadFilesJson(destination / kFilesJsonName);
  return result;
}

ExistingInstall ProbePortableCopy(const fs::path& folder, const FileHasher& hasher, const FileSystemView& view) {
  ExistingInstall result;
  if (!IsFolder(folder) || IsSymbolicLinkItself(folder, view)) return result;
  if (ReadItemStatus(folder / kInstallManifestName)) return result;  // an installation, not a portable copy
  if (!IsRegularFile(folder / kGameExecutableName)) return result;

  std::vector<PayloadEntry> listed = ReadFilesJson(folder / kFilesJsonName);
  bool lists_executable = false;
  for (const PayloadEntry& entry : listed) {
    if (entry.name == "qv.exe") {  // exactly, at the top: the port's own list names it so
      lists_executable = true;
      break;
    }
  }
  if (!lists_executable) return result;

  result.portable = true;
  result.is_install = true;
  result.listed_files = std::move(listed);
  if (hasher) {
    try {
      result.version = PortVersionFromHash(hasher(folder / kGameExecutableName));
    } catch (...) {
      // An unreadable executable leaves the version unknown; the copy is still portable.
    }
  }
  return result;
}

std::string PortVersionFromHash(std::string_view sha256) {
  if (sha256.size() != 64) return {};
  for (const KnownPortRelease& release : KnownPortReleases) {
    if (release.exe_sha256 == sha256) return std::string(release.version);
  }
  return {};
}

}  // namespace qv::setup
