#pragma once
// The commit of an in-place update: the new files wait in a staging folder
// beside the installation and move in one by one; every installed file they
// replace, and every leftover file of an earlier version, first moves into a
// backup folder beside the installation. No installed file is ever
// overwritten or deleted, so every change can be undone: at once from memory
// when the commit fails, or later from the update journal, written before the
// first move, when the process dies half-way.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "foundation/payload/payload-archive.h"

namespace qv::setup {

// What the commit needs to write the update journal, and the test hook's
// crash and pause points (step numbers; -1 never).
struct JournalContext {
  std::filesystem::path journal_path;  // UpdateJournalPath(installation)
  std::string old_version;
  std::string new_version;
  std::filesystem::path download;  // the updater's download folder; empty when none
  std::uint64_t pid = 0;           // the process whose life guards the update
  std::int32_t crash_at = -1;      // the self tests' simulated crash; the install transaction passes -1
  std::int32_t pause_at = -1;
  // Whether a journal found at `journal_path` may be written over: only one
  // that this run's own recovery kept. Any other belongs to another run.
  bool may_replace_journal = false;
};

struct CommitResult {
  std::uint32_t replaced = 0;         // planned files that replaced an installed file
  std::uint32_t added = 0;            // planned files without an installed predecessor
  std::uint32_t removed = 0;          // leftover files moved out of the installation
  std::vector<std::string> messages;  // the leftover sweep's notes, in its order
  // `replaced` and `added` for the installed list alone: the new version's
  // own files, which an update's texts count against the files it checked.
  // The further files (the install manifest, a picture, the game's archives)
  // are not among them.
  std::uint32_t release_replaced = 0;
  std::uint32_t release_added = 0;
};

// Thrown by the test hook at its crash step: it leaves everything exactly as
// a crash there would, without any undo.
struct SimulatedCrash {};

// How long the test hook's pause holds the commit (long enough for a test to
// kill the process at that step).
inline constexpr std::chrono::seconds kTestPauseDuration{300};

// Moves `installed` and `extra` (UTF-8 relative paths the caller wrote into
// `staging` itself, such as the install manifest) from `staging` into
// `installation`, each installed file it replaces first into `backup`; then
// moves into `backup` what the leftover sweep lists (keeping `release_files`
// and the moved files) and removes the folders that left empty. Neither list
// may name a file twice. With a `journal`, the journal (state "swapping",
// every planned step) is written before the first move and left in place on
// success; the caller closes it.
//
// Raises, with nothing touched: "The installer payload cannot contain files
// under data/.", "The installer cannot replace files under data/.", "Unsafe
// payload path." (also for a path no journal may name: the player's files,
// the game's, everything in a folder of the installation that holds the
// game's archive pair, a device), "A folder is in the way of <path>.",
// "Could not write the update journal." (also when the journal does not read
// back as written). Later
// failures ("Installation cancelled." at the start of
// a file, filesystem errors "create_directories" and "rename", the test hook's
// "Test failure during the update.") are raised after every move has been
// undone; the journal is then deleted, or kept when the undo itself failed so
// that the next recovery finishes it. A file the update adds never replaces
// anything that appeared at its place in the meantime: the commit fails and
// undoes itself instead. Likewise the undo puts an old file back over this
// update's own new file only; where anything else appeared, the old file stays
// in the backup and the journal stays. SimulatedCrash passes without undo.
CommitResult CommitStagedFiles(const std::filesystem::path& staging, const std::filesystem::path& installation,
                               const std::vector<InstalledFile>& installed, const std::vector<std::string>& extra,
                               const ExistingInstall& existing, const std::filesystem::path& backup,
                               std::int32_t fail_at, const JournalContext* journal,
                               const std::vector<std::string>& release_files);

// The commit's per-step test hook; `step` counts its calls from 0. With a
// journal context: throws SimulatedCrash at crash_at; at pause_at writes the
// marker "<journal>.paused" holding the step number and a line feed, then
// sleeps for kTestPauseDuration. Then counts the step and raises "Test failure
// during the update." when it was `fail_at` (with or without a context).
void UpdateTestHook(const JournalContext* journal, std::int32_t& step, std::int32_t fail_at);

}  // namespace qv::setup
