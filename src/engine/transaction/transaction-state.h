#pragma once
// The working values of one install transaction, handed from stage to stage:
// the preparation settles where and what, the staging build fills in what the
// commit moves, and the commit records what the verification and the failure
// handling go by.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "foundation/payload/payload-archive.h"
#include "gamesource/game-files.h"

namespace qv::setup {

struct TransactionState {
  // Preparation.
  std::filesystem::path destination;  // absolute, lexically normal, no trailing separator
  std::filesystem::path parent;       // where the temporary folders lie; its volume's space counts
  ExistingInstall existing;           // is_install: an update, else a fresh installation
  std::string title_folder_name;      // the installation's title folder, "CUSA09901" unless found
  std::optional<GameSource> game_source;  // present exactly when the run brings in game files
  std::filesystem::path staging;      // ".qv-install-<run>" or ".qv-update-<run>"
  std::filesystem::path backup;       // ".qv-update-old-<run>", filled by the commit
  std::filesystem::path repair;       // ".qv-update-fix-<run>", used by the repair

  // Staging build.
  bool comparing = false;                    // the update compares with the expected files
  std::vector<PayloadEntry> expected;        // the new version's files less the route-owned ones
  std::vector<PayloadEntry> changes;         // the expected files that differ from the installation
  std::vector<InstalledFile> installed;      // what this run extracted into the staging folder
  std::vector<InstalledFile> file_list;      // every file of the new version (the manifest's list)
  std::vector<std::string> staged_extras;    // further staged files an update moves in ('/' relative)

  // Commit of an update.
  std::filesystem::path journal_path;  // the journal the commit wrote (UpdateJournalPath)
  // The run's own recovery kept the earlier journal (its backup still held
  // files): the commit may write over that one, and over no other.
  bool journal_kept_by_recovery = false;
  bool committed = false;  // the commit returned: the installation holds the new version
};

}  // namespace qv::setup
