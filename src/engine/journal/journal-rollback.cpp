#include "engine/journal/journal-rollback.h"

#include <optional>
#include <system_error>
#include <vector>

#include "engine/leftover-sweep.h"
#include "engine/path-classes.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/stored-names.h"
#include "foundation/files/tree-walk.h"
#include "foundation/files/whole-copy.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

void CreateParentFolders(const fs::path& item) {
  try {
    CreateFolders(ParentFolder(item));
  } catch (const fs::filesystem_error&) {
    // The rename that follows fails and reports it.
  }
}

// Removes the folders between `install` and the added file that its move
// back left empty, deepest first. A symbolic link, a folder with content or a
// folder that cannot be removed ends the climb; the installation itself is
// never one of them.
void PruneAddedFileFolders(const fs::path& install, const fs::path& relative, const FileSystemView& view) {
  for (fs::path folder_relative = relative.parent_path(); !folder_relative.empty();
       folder_relative = folder_relative.parent_path()) {
    const fs::path folder = install / folder_relative;
    if (!IsFolder(folder)) return;
    auto item = ReadItemInfo(folder, view);
    if (item && item->IsSymbolicLink()) return;
    // A listing that cannot be opened leaves the decision to the removal,
    // which refuses a folder with content.
    std::vector<FolderEntry> entries;
    if (!view.list_folder(folder, entries) && !entries.empty()) return;
    if (RemoveItem(folder, view)) return;
  }
}

}  // namespace

bool CheckJournalSteps(const UpdateJournal& journal, std::string* message) {
  const std::vector<std::string> roots = FindGameDataRootsOfNames(journal.install);
  for (const JournalStep& step : journal.steps) {
    std::string why = WhyNoJournalStep(step.kind, step.path, roots);
    if (!why.empty()) {
      why = step.path + " " + why;
    } else if (std::string stored; !IsStoredAsNamed(journal.install, step.path, &stored)) {
      why = step.path + " is " + stored + " under another name";
    } else {
      continue;
    }
    if (message) *message = std::move(why);
    return false;
  }
  return true;
}

bool RollBackJournal(const UpdateJournal& journal, std::string* message, const FileSystemView& view) {
  if (!CheckJournalSteps(journal, message)) return false;
  const std::vector<std::string> roots = FindGameDataRootsOfNames(journal.install, view);
  bool ok = true;
  // Steps are walked last first, so the last failure noted is the earliest.
  auto fail = [&](std::string text) {
    ok = false;
    if (message) *message = std::move(text);
  };

  for (auto step = journal.steps.rbegin(); step != journal.steps.rend(); ++step) {
    std::optional<fs::path> relative;
    try {
      relative = PathFromUtf8(step->path);
    } catch (const std::system_error&) {
    }
    if (!relative) {
      fail("could not restore " + step->path + ": Unsafe payload path.");
      continue;
    }
    const fs::path installed = journal.install / *relative;
    const fs::path staged = journal.staging / *relative;
    const fs::path backed = journal.backup / *relative;
    const bool has_backup = IsRegularFile(backed);
    // A copy to another volume that a kill stopped leaves its part only under
    // the temporary name beside the file.
    RemoveUnfinishedCopy(installed);
    // The old file back into place, never over anything.
    auto put_back = [&] {
      CreateParentFolders(installed);
      if (std::error_code error = RenameItem(backed, installed, ExistingTarget::kRefuse)) {
        fail("could not restore " + step->path + ": " + error.message());
      }
    };

    // The game's files that a repair copied from the player's own game, and
    // the notes, log and icon the setup writes where the player may keep
    // their own, never leave the installation: the file in place is the
    // player's either way. Only a file the commit had moved out and not yet
    // replaced comes back; a backup copy superseded by the file in place goes.
    const NameOwner owner = OwnerOfName(step->path, roots);
    if (owner != NameOwner::kPort) {
      if (!has_backup) continue;
      // Except one of the game's files whose move into place never finished
      // (the new file is still in the staging folder): what stands in its
      // place may be a part of it, left by the platform's copy to another
      // volume, and the whole old file takes precedence over it. The notes,
      // log and icon the player may keep as their own are never moved.
      std::optional<ItemStatus> at_installed = ReadItemStatus(installed);
      if (owner == NameOwner::kGame && at_installed && !at_installed->directory && IsRegularFile(staged)) {
        if (std::error_code error = RenameItem(installed, staged, ExistingTarget::kReplace)) {
          fail("could not move " + step->path + " back: " + error.message());
          continue;
        }
      }
      if (ReadItemStatus(installed)) {
        if (std::error_code error = RemoveItem(backed, view)) {
          fail("could not remove the backup of " + step->path + ": " + error.message());
        }
        continue;
      }
      put_back();
      continue;
    }

    // The new file back into staging, but only a file. The staging folder is
    // the update's own: a file already there under that name is replaced, for
    // leaving the new file in place would keep the new version's file over
    // the old one while the rollback reported the old version back. A folder
    // there is not the update's doing: the step fails and the journal stays.
    // The same goes for a file in place of a removed one (put back by hand,
    // or by another program): it never stops the old file's return.
    if (step->kind == 'a' || ((step->kind == 'r' || step->kind == 'd') && has_backup)) {
      std::optional<ItemStatus> at_installed = ReadItemStatus(installed);
      if (at_installed && !at_installed->directory) {
        if (IsFolder(staged)) {
          fail("could not move " + step->path + " back: a folder of that name is in the staging folder " +
               ToGenericUtf8Lenient(journal.staging) + std::string(kMoveThatFolder));
          continue;
        }
        CreateParentFolders(staged);
        if (std::error_code error = RenameItem(installed, staged, ExistingTarget::kReplace)) {
          fail("could not move " + step->path + " back: " + error.message());
          continue;
        }
      }
    }
    if (step->kind == 'a') PruneAddedFileFolders(journal.install, *relative, view);

    if ((step->kind == 'r' || step->kind == 'd') && has_backup) {
      if (std::optional<ItemStatus> in_place = ReadItemStatus(installed)) {
        fail("could not restore " + step->path + ": " +
             (in_place->directory ? "the folder " + ToGenericUtf8Lenient(installed) +
                                        " stands in its place" + std::string(kMoveThatFolder)
                                  : std::string("the new file is still in place")));
        continue;
      }
      put_back();
    }
  }
  return ok;
}

}  // namespace qv::setup
