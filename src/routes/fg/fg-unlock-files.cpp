#include "routes/fg/fg-unlock-files.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "engine/path-classes.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/tree-walk.h"
#include "foundation/files/whole-copy.h"
#include "foundation/text/text.h"
#include "routes/fg/fg-package.h"
#include "routes/fg/fg-route-record.h"

namespace qv::setup {
namespace {

// The unpacking folder's removal: 30 attempts, 100 ms apart.
constexpr int kUnpackRemovalAttempts = 30;

constexpr const char* kZipMissingDetail = "the package zip is not in the work folder";
constexpr const char* kNoFreeNameDetail =
    "no free proxy name (version.dll, winmm.dll and dbghelp.dll are all taken by other software)";
constexpr const char* kNotExtractedDetail = "the package could not be extracted (tar failed or the proxy did not land)";

std::filesystem::path InGame(const FgRouteState& state, std::string_view name) {
  return state.game_folder / Utf8ToWide(name);
}

std::filesystem::path BackupOf(const FgRouteState& state, std::string_view name) {
  return state.game_folder / (Utf8ToWide(name) + std::wstring(kFgBackupSuffix));
}

// A file standing under the name itself: not missing, not a folder, not a
// link or junction (whatever a link points to is not ours to move or delete).
bool IsPlainFile(const std::filesystem::path& path, const FileSystemView& view) {
  const std::optional<ItemInfo> info = ReadItemInfo(path, view);
  return info && !info->IsFolder() && !IsLinkOrJunction(path, view);
}

// "free": nothing whose status can be read stands under the name.
bool IsFreeOrOurs(const std::filesystem::path& path) {
  return !ReadItemStatus(path) || IsOwnProxy(path);
}

// Where the settings file and the runtime folder are unpacked before they
// take their names: "dlssg_sm86.qv-tmp", beside them on the same volume.
std::filesystem::path RuntimeUnpackFolder(const FgRouteState& state) {
  return TemporaryCopyPath(state.game_folder / kFgRuntimeFolderName);
}

// What a run killed while it wrote the unlock's files left under their
// temporary names; the names are the unlock's alone.
void RemoveUnfinishedFiles(const FgRouteState& state, const FileSystemView& view) {
  for (std::string_view name : ProxyDllNames) RemoveUnfinishedCopy(InGame(state, name));
  RemoveTree(RuntimeUnpackFolder(state), view);
}

// Every file below `folder` on the disk; false when one cannot be flushed.
bool FlushFilesBelow(const std::filesystem::path& folder, const FileSystemView& view) {
  bool flushed = true;
  WalkTree(
      folder,
      [&](const TreeEntry& entry) {
        if (!entry.info.IsFolder() && !entry.info.IsReparsePoint() && FlushFileToDisk(entry.path)) flushed = false;
        return WalkStep::kContinue;
      },
      view);
  return flushed;
}

// Unpacks "dlssg_sm86.ini" and the runtime folder beside their places and
// renames them into place once they are on the disk: a kill leaves a part of
// a runtime file only under the temporary folder, never where the proxy
// loads it from. True when tar unpacked the runtime folder and it took its
// place.
bool PutRuntimeDown(const FgRouteState& state, const std::filesystem::path& zip,
                    const std::filesystem::path& tar_log, const FileSystemView& view) {
  const std::filesystem::path unpacking = RuntimeUnpackFolder(state);
  RemoveTree(unpacking, view);
  try {
    CreateFolders(unpacking);
  } catch (const std::exception&) {
    return false;
  }
  RunTarExtract(zip, unpacking, "dlssg_sm86.ini", tar_log);
  const int runtime_exit = RunTarExtract(zip, unpacking, "dlssg_sm86", tar_log);
  bool placed = FlushFilesBelow(unpacking, view);
  const std::filesystem::path settings = unpacking / kFgSettingsFileName;
  if (placed && IsPlainFile(settings, view)) {
    RenameItem(settings, state.game_folder / kFgSettingsFileName, ExistingTarget::kReplace);
  }
  const std::filesystem::path runtime = unpacking / kFgRuntimeFolderName;
  placed = placed && ReadItemInfo(runtime, view) &&
           !RenameItem(runtime, state.game_folder / kFgRuntimeFolderName, ExistingTarget::kRefuse);
  // tar ran in the folder: its ended process may hold it as its current
  // folder for a moment longer.
  for (int attempt = 1; RemoveTree(unpacking, view) && attempt < kUnpackRemovalAttempts; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return runtime_exit == 0 && placed;
}

void PutBackupBack(const FgRouteState& state, std::string_view name, const FileSystemView& view) {
  const std::filesystem::path backup = BackupOf(state, name);
  if (!IsPlainFile(backup, view)) return;
  const std::string text(name);
  // Never over whatever stands under the name now: another program may have
  // put its own DLL there since, and replacing it would destroy it.
  const std::error_code error = RenameItem(backup, InGame(state, name), ExistingTarget::kRefuse);
  if (!error) {
    LogFgRoute(state.game_folder, "restored the original " + text, view);
  } else if (IsTargetExistsError(error)) {
    LogFgRoute(state.game_folder,
               "kept the original " + text + " as " + text + ".qv-fg-backup: another " + text +
                   " stands in its place",
               view);
  } else {
    LogFgRoute(state.game_folder,
               "could not restore the original " + text + " (Windows error " + std::to_string(error.value()) + ")",
               view);
  }
}

}  // namespace

bool IsOwnProxy(const std::filesystem::path& file) { return ContainsFrameGenMarker(file); }

std::string ChooseProxyName(const std::filesystem::path& game_folder, const std::string& recorded) {
  if (!recorded.empty() && IsFreeOrOurs(game_folder / Utf8ToWide(recorded))) return recorded;
  for (std::string_view name : ProxyDllNames) {
    if (IsFreeOrOurs(game_folder / Utf8ToWide(name))) return std::string(name);
  }
  return {};
}

void RemoveFgUnlock(const FgRouteState& state, const FileSystemView& view) {
  RemoveUnfinishedFiles(state, view);
  for (std::string_view name : ProxyDllNames) {
    const std::filesystem::path proxy = InGame(state, name);
    if (!IsPlainFile(proxy, view) || !IsOwnProxy(proxy)) continue;
    ::DeleteFileW(ApiPath(proxy).c_str());
    LogFgRoute(state.game_folder, "removed proxy " + std::string(name), view);
  }
  RemoveItem(state.game_folder / kFgSettingsFileName, view);
  RemoveTree(state.game_folder / kFgRuntimeFolderName, view);
  RemoveItem(state.game_folder / kFrameGenRouteRecordName, view);
  for (std::string_view name : ProxyDllNames) PutBackupBack(state, name, view);
}

int InstallFgUnlock(const FgRouteState& state, std::string& detail, const FileSystemView& view,
                    const FileCopier& copy) {
  const std::filesystem::path zip = FgToolZipPath(state.work_folder);
  const std::optional<ItemInfo> zip_info = ReadItemInfo(zip, view);
  if (!zip_info || zip_info->IsFolder() || IsLinkOrJunction(zip, view)) {
    detail = kZipMissingDetail;
    return -1;
  }
  const std::filesystem::path tar_log = state.work_folder / kFgTarLogName;
  RemoveItem(state.work_folder / kFgPackageManifestName, view);
  RunTarExtract(zip, state.work_folder, "manifest.json", tar_log);
  const FgPackageManifest manifest = ReadFgPackageManifest(state.work_folder);

  const std::string name = ChooseProxyName(state.game_folder, RecordedProxyName(state.game_folder));
  if (name.empty()) {
    detail = kNoFreeNameDetail;
    return -1;  // nothing in the game folder has changed
  }

  // An earlier install goes first; its backups come back where they can.
  RemoveFgUnlock(state, view);

  const std::filesystem::path target = InGame(state, name);
  if (IsPlainFile(target, view) && !IsOwnProxy(target)) {
    // Another program's DLL: kept aside, never deleted. A move that fails, or
    // would replace an earlier backup, ends the install before the target is
    // touched.
    if (RenameItem(target, BackupOf(state, name), ExistingTarget::kRefuse)) {
      detail = "the original " + name + " could not be moved aside to " + name + ".qv-fg-backup";
      return -1;
    }
  }

  const bool runtime_placed = PutRuntimeDown(state, zip, tar_log, view);

  const std::string member = name == "version.dll" ? name : "alternatives/" + name;
  const std::filesystem::path proxy_folder = state.work_folder / kFgProxyFolderName;
  try {
    CreateFolders(proxy_folder);
  } catch (const std::exception&) {
    // tar then fails to unpack, and the check below reports it.
  }
  std::wstring member_path = Utf8ToWide(member);
  for (wchar_t& c : member_path) {
    if (c == L'/') c = L'\\';
  }
  const std::filesystem::path unpacked = proxy_folder / member_path;
  // An earlier run's copy must not stand in for a member this package lacks.
  RemoveItem(unpacked, view);
  RunTarExtract(zip, proxy_folder, member, tar_log);

  // Written under its temporary name and renamed: a copy stopped halfway
  // never leaves a part of the proxy under a name the game loads.
  const bool copied = !CopyIntoPlace(unpacked, target, ExistingTarget::kReplace, copy);
  if (!copied || !runtime_placed || !IsPlainFile(target, view)) {
    detail = kNotExtractedDetail;
    return -1;
  }

  const FgRecordSummary record = WriteFgRouteRecord(state, name, manifest, view);
  LogFgRoute(state.game_folder,
             "installed: proxy " + name + ", runtime " + manifest.runtime + ", " +
                 std::to_string(record.file_count) + " files (tool " + record.source + " " + record.tag + ")",
             view);
  detail = "installed proxy " + name + ", DLSS-G runtime " + manifest.runtime;
  return 0;
}

}  // namespace qv::setup
