#pragma once
// The sweep of files that earlier versions of the port left in an installation
// and the new version no longer ships. It only lists: the commit of staged
// files removes what it returns, under the update journal. Nothing that
// belongs to the player, to the game's data, to a graphics route or to another
// program is ever listed.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/route-files.h"
#include "foundation/files/file-system-view.h"

namespace qv::setup {

// The working record of one sweep, handed to ClassifyLeftoverFile for every
// candidate path.
struct LeftoverSweepContext {
  std::set<std::string> new_keys;                // path keys of the new version's files and the commit's own
  std::vector<std::string> data_roots;           // FindGameDataRoots of the installation folder
  std::set<std::string> seen_keys;               // path keys already decided: each path is decided once
  std::filesystem::path install_folder;          // absolute
  RouteFileKeys route_keys;                      // CollectRouteFiles of the installation folder
  std::vector<std::string>* messages = nullptr;  // where kept/removed notes go; none when null
  bool fg_record_present = false;                // the frame-generation unlock's record is a file there
  std::vector<std::string> removals;             // output: candidates to remove, exactly as given
  // The installation folder as the file system names it; filled on first use.
  std::filesystem::path resolved_folder;
};

// The files to remove from `install_folder` (an existing installation, as
// `existing` describes it) when `new_files` (UTF-8 relative paths: the new
// version's files and those the caller writes itself) are installed: what the
// old install manifest, the old "qv-files.json" and PriorPackageFiles name,
// and for an installation without a manifest the port's program files found
// by a walk of the folder (which never enters links or junctions and passes
// over folders it cannot open). The result is sorted by bytes; decisions about
// proxy DLLs present on disk are appended to `messages` when it is set.
// Returns nothing for a folder that is no installation. Raises only for a
// folder name below the installation that is not valid UTF-16.
std::vector<std::string> ListStaleInstallFiles(const std::filesystem::path& install_folder,
                                               const ExistingInstall& existing,
                                               const std::vector<std::string>& new_files,
                                               std::vector<std::string>* messages,
                                               const FileSystemView& view = SystemView());

// Decides about one candidate (UTF-8 relative path as its source names it):
// appends it to context.removals, or keeps it, possibly with a message.
void ClassifyLeftoverFile(LeftoverSweepContext& context, const std::string& candidate);

// The folders of `folder` that hold the game's archive pair: "" for the folder
// itself, then subfolders one and two levels down ("CUSA09901/",
// "dump/CUSA09901/"), as SearchTitleFolders ranks them; symbolic links are
// neither tested nor searched. Raises for a subfolder name that is not valid
// UTF-16 (as SearchTitleFolders does).
std::vector<std::string> FindGameDataRoots(const std::filesystem::path& folder,
                                           const FileSystemView& view = SystemView());

// FindGameDataRoots for the readers that judge names in an installation
// (OwnerOfName with roots), which must not raise: a subfolder whose name is
// not valid UTF-16 is passed over, for no UTF-8 name can lead into it.
std::vector<std::string> FindGameDataRootsOfNames(const std::filesystem::path& folder,
                                                  const FileSystemView& view = SystemView());

}  // namespace qv::setup
