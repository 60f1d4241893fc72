#include "engine/leftover-sweep.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "engine/path-classes.h"
#include "engine/records/prior-package-files.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/item-status.h"
#include "foundation/files/tree-walk.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "gamesource/title-folders.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

void AddMessage(LeftoverSweepContext& context, std::string message) {
  if (context.messages) context.messages->push_back(std::move(message));
}

// Whether `full` reaches the file its candidate name says, inside the
// installation: resolved on disk (links followed, short names expanded,
// trailing dots and blanks dropped as the system drops them), the file must
// still lie in the installation folder under the same key. A name that leads
// elsewhere, say "saves./slot.dat" or a path through a junction, could reach a
// file of the player or of another program that the name tests never saw.
bool ReachesItself(LeftoverSweepContext& context, const fs::path& full, const std::string& key) {
  std::error_code error;
  if (context.resolved_folder.empty()) {
    context.resolved_folder = WeaklyCanonicalPath(context.install_folder, error);
    if (error) return false;
  }
  fs::path resolved = WeaklyCanonicalPath(full, error);
  if (error) return false;
  fs::path relative = resolved.lexically_relative(context.resolved_folder);
  if (relative.empty() || *relative.begin() == L"..") return false;
  try {
    return PathKey(ToGenericUtf8(relative)) == key;
  } catch (const std::system_error&) {
    return false;
  }
}

// A walked entry that is a file once links are followed.
bool IsWalkedFile(const TreeEntry& entry) {
  if (entry.info.IsReparsePoint()) return IsRegularFile(entry.path);
  return !entry.info.IsFolder();
}

// Offers the port's program files of an installation without a manifest.
void ClassifyWalkedFiles(LeftoverSweepContext& context, const FileSystemView& view) {
  // A folder that cannot be listed is passed over; whatever the walk found
  // before an error stands.
  WalkTree(
      context.install_folder,
      [&](const TreeEntry& entry) {
        std::string relative;
        try {
          relative = ToGenericUtf8(entry.relative);
        } catch (const std::system_error&) {
          // No record can name it, so the port never installed it.
          return entry.info.IsFolder() ? WalkStep::kSkipFolder : WalkStep::kContinue;
        }
        if (entry.info.IsFolder()) {
          return CanHoldPortOwnedFiles(relative) ? WalkStep::kContinue : WalkStep::kSkipFolder;
        }
        if (IsPortOwnedFile(relative) && IsWalkedFile(entry)) ClassifyLeftoverFile(context, relative);
        return WalkStep::kContinue;
      },
      view);
}

}  // namespace

void ClassifyLeftoverFile(LeftoverSweepContext& context, const std::string& candidate) {
  const std::string key = PathKey(candidate);
  // Name tests first: only what survives them is looked up on disk.
  if (context.new_keys.count(key)) return;
  if (IsPreservedUserPath(candidate)) return;
  if (key == "qv-install-manifest.txt") return;
  if (IsGameDataPath(candidate, context.data_roots)) return;
  if (!context.seen_keys.insert(key).second) return;  // the first decision stands

  fs::path full;
  try {
    full = SafePayloadPath(context.install_folder, candidate);
  } catch (const std::runtime_error&) {
    return;  // a name that could leave the installation
  }
  if (!IsRegularFile(full)) return;

  if (context.route_keys.count(key)) {
    if (IsProxyDllName(candidate)) {
      AddMessage(context, "kept " + candidate + ": the frame generation unlock's record qv-dlssg-route.json names it");
    }
    return;
  }
  if (!ReachesItself(context, full, key)) return;
  if (IsProxyDllName(candidate)) {
    if (!ContainsFrameGenMarker(full)) {
      AddMessage(context, "kept " + candidate +
                              ": not the community frame generation proxy an earlier package shipped (another "
                              "program's file)");
      return;
    }
    AddMessage(
        context,
        "removed " + candidate + ": the community frame generation proxy that 1.0.6 and 1.0.7 shipped by mistake (" +
            (context.fg_record_present ? "the unlock's record does not name it" : "no frame generation unlock record") +
            ")");
  }
  context.removals.push_back(candidate);
}

std::vector<std::string> ListStaleInstallFiles(const fs::path& install_folder, const ExistingInstall& existing,
                                               const std::vector<std::string>& new_files,
                                               std::vector<std::string>* messages, const FileSystemView& view) {
  if (!existing.is_install) return {};
  LeftoverSweepContext context;
  for (const std::string& file : new_files) context.new_keys.insert(PathKey(file));
  context.install_folder = install_folder;
  context.route_keys = CollectRouteFiles(install_folder);
  context.data_roots = FindGameDataRoots(install_folder, view);
  context.fg_record_present = !CollectFrameGenRouteFiles(install_folder).empty();
  context.messages = messages;

  for (const InstalledFile& file : existing.manifest_files) ClassifyLeftoverFile(context, file.path);
  for (const PayloadEntry& entry : existing.listed_files) ClassifyLeftoverFile(context, entry.name);
  for (std::string_view row : PriorPackageFiles) ClassifyLeftoverFile(context, std::string(row));
  if (!existing.has_manifest) ClassifyWalkedFiles(context, view);

  std::sort(context.removals.begin(), context.removals.end());
  return std::move(context.removals);
}

namespace {

// The roots as FindGameDataRoots finds them; a subfolder name that is not
// valid UTF-16 raises, or with `pass_over_unnamed` is passed over.
std::vector<std::string> SearchGameDataRoots(const fs::path& folder, const FileSystemView& view,
                                             bool pass_over_unnamed) {
  std::vector<std::string> roots;
  if (IsGameDataRoot(folder)) roots.emplace_back();
  struct Level {
    fs::path path;
    std::string relative;  // generic, ending in '/' (empty for the folder itself)
  };
  std::vector<Level> level{{folder, {}}};
  for (int pass = 0; pass < 2 && !level.empty(); ++pass) {
    std::vector<Level> next;
    for (const Level& parent : level) {
      for (fs::path& candidate : SearchTitleFolders(parent.path, kTitleFolderSearchLimit)) {
        auto info = ReadItemInfo(candidate, view);
        if (info && info->IsSymbolicLink()) continue;
        std::string name;
        try {
          name = ToGenericUtf8(candidate.filename());
        } catch (const std::system_error&) {
          if (!pass_over_unnamed) throw;
          continue;
        }
        std::string relative = parent.relative + name + "/";
        if (IsGameDataRoot(candidate)) roots.push_back(relative);
        next.push_back({std::move(candidate), std::move(relative)});
      }
    }
    level = std::move(next);
  }
  return roots;
}

}  // namespace

std::vector<std::string> FindGameDataRoots(const fs::path& folder, const FileSystemView& view) {
  return SearchGameDataRoots(folder, view, false);
}

std::vector<std::string> FindGameDataRootsOfNames(const fs::path& folder, const FileSystemView& view) {
  return SearchGameDataRoots(folder, view, true);
}

}  // namespace qv::setup
