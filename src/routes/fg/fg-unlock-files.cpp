#include "routes/fg/fg-unlock-files.h"

#include <windows.h>

#include "engine/path-classes.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "routes/fg/fg-package.h"
#include "routes/fg/fg-route-record.h"

namespace qv::setup {
namespace {

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

int InstallFgUnlock(const FgRouteState& state, std::string& detail, const FileSystemView& view) {
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

  RunTarExtract(zip, state.game_folder, "dlssg_sm86.ini", tar_log);
  const int runtime_exit = RunTarExtract(zip, state.game_folder, "dlssg_sm86", tar_log);

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

  RemoveItem(target, view);
  const bool copied = ::CopyFileW(ApiPath(unpacked).c_str(), ApiPath(target).c_str(), FALSE) != 0;
  if (!copied || runtime_exit != 0 || !IsPlainFile(target, view)) {
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
