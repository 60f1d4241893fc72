#pragma once
// The file removal of uninstalling: what the installation's records name, and
// nothing else. The install manifest and the file list name the port's files;
// the graphics routes' records name theirs; a few names are always the
// installation's own. With the player's data the "data" and "mods" folders go
// too. Folders left empty go next, then the installation's records (what says
// which files are the port's, and what makes the folder an installation), and
// the installation folder itself when nothing is left in it: an uninstall
// stopped at any point (killed, or the power lost) leaves a folder that the
// next one still reads as the installation, with every file left named.
//
// Nothing outside the installation is ever deleted: no name may climb out of
// the folder, a name below a link or junction is skipped, links are removed as
// links and never entered.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/records/existing-install.h"
#include "foundation/files/file-system-view.h"

namespace qv::setup {

struct RemovalCounts {
  std::uint32_t removed = 0;  // items deleted
  std::uint32_t failed = 0;   // items present that could not be deleted
  bool root_removed = false;  // the installation folder itself was deleted
};

// What a caller adds to a removal; each may be empty.
struct RemovalHooks {
  // Told the relative name of each item just deleted, in order. A test stops
  // the removal there by raising, as a kill would.
  std::function<void(const std::string& name)> removed;
  // Deletes the uninstaller "qv-updater.exe" in place of one RemoveItem: the
  // temporary copy waits there for the uninstaller that started it to end.
  std::function<std::error_code(const std::filesystem::path& uninstaller)> remove_uninstaller;
};

inline constexpr const char* kNoInstallationText = "This folder does not contain an installation of Q.V. DU Vora.";

// Removed from every installation whether or not a record names them.
inline constexpr std::array<std::string_view, 5> kInstallationOwnNames{
    "qv-install-manifest.txt", "qv.exe", "qv-updater.exe", "install-notes.txt", "install-extraction.log"};

// The names deleted after everything else, in this order: the routes'
// records and the file list, which name the files; the uninstaller, which the
// uninstall entry starts; then what an installation is recognised by, "qv.exe"
// and, last of all, the install manifest. Whatever they name is gone by then.
inline constexpr std::array<std::string_view, 6> kRemovedLastNames{
    "dlss5-autopilot.json", "qv-dlssg-route.json", "qv-files.json", "qv-updater.exe", "qv.exe",
    "qv-install-manifest.txt"};

// The copy of the game's icon that the setup puts at the top of an
// installation beside the shortcut. No record names it (an update may bring
// it without touching the install manifest), so uninstalling recognises it by
// its bytes.
inline constexpr std::string_view kShortcutIconName = "icon0.png";
inline constexpr std::uint64_t kShortcutIconLimit = 16u << 20;

// True when "icon0.png" at the top of `installation` is a plain file (no link)
// of at most kShortcutIconLimit bytes whose bytes are the game's icon: that of
// the installation's title folder or of the recorded game source `existing`
// names (ReadSourcePicture). A picture the player put there themselves stays.
bool IsSetupsShortcutIcon(const std::filesystem::path& installation, const ExistingInstall& existing,
                          const FileSystemView& view = SystemView());

// What `folder` holds, for uninstalling: nullopt when it holds no installation
// (missing, empty, a file or a link, or a folder of something else). Raises
// what ReadExistingInstall raises for an installation whose records cannot be
// trusted ("Unsafe payload path." for a manifest line that leads elsewhere).
std::optional<ExistingInstall> ReadInstallationToRemove(const std::filesystem::path& folder,
                                                        const FileSystemView& view = SystemView());

// The relative names (UTF-8, byte order) that uninstalling `folder`, which
// `existing` describes, deletes item by item:
// - the install manifest's files and the file list's entries; without
//   `remove_data` none under "data" or "mods" (the player keeps them); never
//   one that OwnerOfName gives to the player or the game (saves, settings,
//   screenshots, logs, title folders, the game's archives, anything in a
//   folder there that holds the game's archive pair), whatever a
//   damaged record says, nor one that reaches an item stored under another
//   name (IsStoredAsNamed: a short 8.3 name);
// - the routes' files (CollectRouteFiles), under the same rules, which an
//   outside tool's record must not make us break; the frame-generation
//   unlock's record, settings file and runtime folder are the route's own
//   and go;
// - kInstallationOwnNames.
std::set<std::string> ListUninstallNames(const std::filesystem::path& folder, const ExistingInstall& existing,
                                         bool remove_data);

// Deletes each named item under `folder` as one item (a file, a link or
// junction as itself, an empty folder) and counts it; names are taken in
// reverse order, so that a named folder comes after the names below it. Skipped without counting:
// a name that could leave the folder (SafePayloadPath refuses it), a name with
// an element ending in a dot or blank (the system would reach another item), a
// name below a link or junction, a name whose folder resolves to another place
// (on disk, links followed), and an item that does not exist.
void RemoveNamedItems(const std::filesystem::path& folder, const std::set<std::string>& names, RemovalCounts& counts,
                      const FileSystemView& view = SystemView(), const RemovalHooks& hooks = {});

// Uninstalls the files of the installation in `folder`: RemoveNamedItems of
// ListUninstallNames and the shortcut icon when IsSetupsShortcutIcon, but
// for kRemovedLastNames; with `remove_data` the "data" and "mods" folders
// whole (a link of that name removed as a link); then every emptied folder,
// deepest first, never entering a link (without `remove_data` "data" and
// "mods" are left exactly as they are); then the names of kRemovedLastNames
// in their order, under the same rules as RemoveNamedItems; then the folder
// itself when it is empty. `hooks` are told each deletion, and may delete
// the uninstaller.
// Raises std::runtime_error kNoInstallationText when the folder holds no
// installation, and what ReadInstallationToRemove raises, before anything is
// deleted.
RemovalCounts RemoveInstalledFiles(const std::filesystem::path& folder, bool remove_data,
                                   const FileSystemView& view = SystemView(), const RemovalHooks& hooks = {});

}  // namespace qv::setup
