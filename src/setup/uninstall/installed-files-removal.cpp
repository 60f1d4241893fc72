#include "setup/uninstall/installed-files-removal.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/leftover-sweep.h"
#include "engine/path-classes.h"
#include "engine/route-files.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/paths.h"
#include "foundation/files/stored-names.h"
#include "foundation/files/tree-walk.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "gamesource/title-folders.h"
#include "gamesource/title-picture.h"
#include "setup/product-names.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kModsFolder = "mods";

bool IsPlayersFolderName(const std::string& name) {
  return IsUnderDataFolder(name) || IsUnderTopFolder(name, kModsFolder);
}

// The frame-generation unlock's own files, which the player-data rule would
// otherwise keep: its record, its settings file and its runtime folder.
bool IsFrameGenRouteOwnName(const std::string& key) {
  return key == "qv-dlssg-route.json" || key == "dlssg_sm86.ini" || key.starts_with("dlssg_sm86/");
}

// The system drops trailing dots and blanks from names, so "saves./x" or
// "qv.ini " would reach an item whose name the tests above never saw.
bool HasAliasElement(const std::string& name) {
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (end > start && (name[end - 1] == '.' || name[end - 1] == ' ')) return true;
    start = end + 1;
  }
  return false;
}

// Whether a name is safe to delete below `folder`: no folder between the
// installation and the item is a link or junction (as `view` reports them),
// and the item's folder, resolved on disk, is the folder the name says
// (another drive's junction, a short 8.3 name or a folder link would lead
// somewhere the name tests never looked). Resolved folders are cached by
// their relative key.
class PlaceCheck {
 public:
  PlaceCheck(const fs::path& folder, const FileSystemView& view) : folder_(folder), view_(view) {
    std::error_code error;
    resolved_folder_ = WeaklyCanonicalPath(folder, error);
    if (error) resolved_folder_.clear();
  }

  bool LeadsToItself(const fs::path& relative) {
    if (resolved_folder_.empty()) return false;
    fs::path between;
    for (auto element = relative.begin(); element != relative.end(); ++element) {
      if (std::next(element) == relative.end()) break;  // the item itself may be a link
      between /= *element;
      if (IsLinkOrJunction(folder_ / between, view_)) return false;
    }
    if (between.empty()) return true;
    return ResolvesInPlace(between);
  }

 private:
  bool ResolvesInPlace(const fs::path& between) {
    const std::string key = PathKey(ToGenericUtf8Lenient(between));
    auto cached = resolved_.find(key);
    if (cached != resolved_.end()) return cached->second;
    std::error_code error;
    const fs::path resolved = WeaklyCanonicalPath(folder_ / between, error);
    bool in_place = false;
    if (!error) {
      const fs::path relative = resolved.lexically_relative(resolved_folder_);
      in_place = !relative.empty() && PathKey(ToGenericUtf8Lenient(relative)) == key;
    }
    resolved_.emplace(key, in_place);
    return in_place;
  }

  fs::path folder_;
  const FileSystemView& view_;
  fs::path resolved_folder_;
  std::map<std::string, bool> resolved_;
};

// Every folder below `folder` that the walk can enter (never a link), longest
// path first so that each comes before its parent. Without the player's data
// "data" and "mods" are neither entered nor listed.
std::vector<fs::path> FoldersDeepestFirst(const fs::path& folder, bool remove_data, const FileSystemView& view) {
  std::vector<fs::path> folders;
  WalkTree(
      folder,
      [&](const TreeEntry& entry) {
        if (!WalkEntersFolder(entry.info)) return WalkStep::kContinue;
        if (!remove_data && entry.depth == 0 && IsPlayersFolderName(ToGenericUtf8Lenient(entry.relative))) {
          return WalkStep::kSkipFolder;
        }
        folders.push_back(entry.path);
        return WalkStep::kContinue;
      },
      view);
  std::stable_sort(folders.begin(), folders.end(),
                   [](const fs::path& a, const fs::path& b) { return a.native().size() > b.native().size(); });
  return folders;
}

// The game's icon as the installation came with it: in its title folder (an
// extracted package brings "sce_sys"), or in the game it was installed from.
bool IsTheGamesIcon(const fs::path& installation, const ExistingInstall& existing, const std::string& bytes) {
  std::vector<fs::path> sources;
  if (const std::string title = FindTitleFolder(installation); !title.empty()) {
    sources.push_back(installation / PathFromUtf8(title));
  }
  if (!existing.source.empty()) {
    try {
      sources.push_back(PathFromUtf8(existing.source).make_preferred());
    } catch (const std::exception&) {
      // A record that is no path names no game to compare with.
    }
  }
  for (const fs::path& source : sources) {
    if (ReadSourcePicture(source, kShortcutIconName) == bytes) return true;
  }
  return false;
}

// Deletes the named items in the order given (see RemoveNamedItems).
void RemoveInOrder(const fs::path& folder, const std::vector<std::string>& names, RemovalCounts& counts,
                   const FileSystemView& view, const RemovalHooks& hooks) {
  PlaceCheck place(folder, view);
  for (const std::string& name : names) {
    try {
      fs::path path;
      try {
        path = SafePayloadPath(folder, name);
      } catch (const std::runtime_error&) {
        continue;  // a name that could leave the installation
      }
      if (HasAliasElement(name)) continue;
      if (!ReadItemInfo(path, view)) continue;  // nothing there (or unreadable): nothing to count
      if (!place.LeadsToItself(PathFromUtf8(name))) continue;
      const bool uninstaller = hooks.remove_uninstaller && PathKey(name) == PathKey(WideToUtf8(kUninstallerName));
      if (uninstaller ? hooks.remove_uninstaller(path) : RemoveItem(path, view)) {
        ++counts.failed;
      } else {
        ++counts.removed;
        if (hooks.removed) hooks.removed(name);
      }
    } catch (const std::exception&) {
      // An item that cannot even be looked at is passed over uncounted.
    }
  }
}

// Takes the names of kRemovedLastNames (letter case aside) out of `names`,
// in that order.
std::vector<std::string> TakeRemovedLast(std::set<std::string>& names) {
  std::vector<std::string> last;
  for (std::string_view record : kRemovedLastNames) {
    const std::string key = PathKey(record);
    for (auto it = names.begin(); it != names.end();) {
      if (PathKey(*it) == key) {
        last.push_back(*it);
        it = names.erase(it);
      } else {
        ++it;
      }
    }
  }
  return last;
}

}  // namespace

bool IsSetupsShortcutIcon(const fs::path& installation, const ExistingInstall& existing, const FileSystemView& view) {
  const fs::path icon = installation / PathFromUtf8(kShortcutIconName);
  const std::optional<ItemInfo> info = ReadItemInfo(icon, view);
  if (!info || info->IsFolder() || info->IsReparsePoint() || info->size > kShortcutIconLimit) return false;
  const std::string bytes = ReadSmallFile(icon, kShortcutIconLimit);
  return !bytes.empty() && IsTheGamesIcon(installation, existing, bytes);
}

std::set<std::string> ListUninstallNames(const fs::path& folder, const ExistingInstall& existing, bool remove_data) {
  std::set<std::string> names;
  // The player's copy of the game in any folder that holds its archive pair
  // ("game/") is the game's, whatever a record says of it.
  const std::vector<std::string> roots = FindGameDataRootsOfNames(folder);
  // A record is only a list of names: whatever it says, a name the path
  // classes give to the player or the game is not the port's to delete, and
  // neither is a name that reaches an item stored under another name (a
  // short 8.3 name of the player's file). "data" and "mods" stay unless the
  // player's data goes too.
  auto add_recorded = [&](const std::string& name) {
    if (IsPlayersFolderName(name)) {
      if (remove_data) names.insert(name);
      return;
    }
    if (OwnerOfName(name, roots) != NameOwner::kPort || !IsStoredAsNamed(folder, name)) return;
    names.insert(name);
  };
  for (const InstalledFile& file : existing.manifest_files) add_recorded(file.path);
  for (const PayloadEntry& entry : existing.listed_files) add_recorded(entry.name);
  for (const std::string& key : CollectRouteFiles(folder)) {
    if (OwnerOfName(key, roots) != NameOwner::kPort && !IsFrameGenRouteOwnName(key)) continue;
    if (!IsStoredAsNamed(folder, key)) continue;
    names.insert(key);
  }
  for (std::string_view name : kInstallationOwnNames) names.emplace(name);
  return names;
}

void RemoveNamedItems(const fs::path& folder, const std::set<std::string>& names, RemovalCounts& counts,
                      const FileSystemView& view, const RemovalHooks& hooks) {
  // Backwards: every name below a folder sorts after the folder's own name,
  // so a folder that a record names comes after what it holds.
  RemoveInOrder(folder, std::vector<std::string>(names.rbegin(), names.rend()), counts, view, hooks);
}

std::optional<ExistingInstall> ReadInstallationToRemove(const fs::path& folder, const FileSystemView& view) {
  try {
    ExistingInstall existing = ReadExistingInstall(folder, view);
    if (!existing.is_install) return std::nullopt;
    return existing;
  } catch (const std::runtime_error& error) {
    // Worded for choosing a destination; for uninstalling they both mean
    // that there is nothing here to remove.
    const std::string_view text = error.what();
    if (text == kNeverOverwriteText || text == kSomethingElseText) return std::nullopt;
    throw;
  }
}

RemovalCounts RemoveInstalledFiles(const fs::path& folder, bool remove_data, const FileSystemView& view,
                                   const RemovalHooks& hooks) {
  const fs::path installation = NormalAbsolutePath(folder);
  const std::optional<ExistingInstall> existing = ReadInstallationToRemove(installation, view);
  if (!existing) throw std::runtime_error(kNoInstallationText);

  RemovalCounts counts;
  std::set<std::string> names = ListUninstallNames(installation, *existing, remove_data);
  if (IsSetupsShortcutIcon(installation, *existing, view)) names.emplace(kShortcutIconName);
  const std::vector<std::string> last = TakeRemovedLast(names);
  RemoveNamedItems(installation, names, counts, view, hooks);
  if (remove_data) {
    // Errors are not counted: what stays keeps its folder, and the folder
    // keeps the installation folder.
    RemoveTree(installation / L"data", view);
    RemoveTree(installation / L"mods", view);
  }
  for (const fs::path& emptied : FoldersDeepestFirst(installation, remove_data, view)) {
    // A folder that still holds anything refuses to go; that is the test.
    RemoveItem(emptied, view);
  }
  RemoveInOrder(installation, last, counts, view, hooks);
  if (IsEmptyFolder(installation, view) && !RemoveItem(installation, view)) counts.root_removed = true;
  return counts;
}

}  // namespace qv::setup
