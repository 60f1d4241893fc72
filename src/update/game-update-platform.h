#pragma once
// What the caller of an in-game update (the updater worker, a test) hands to
// it, and what the update reports back: the records the update run and its
// downloads share.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/install-outcome.h"
#include "engine/journal/update-recovery.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/payload/payload-archive.h"
#include "gamesource/game-data-folder.h"
#include "update/update-phase.h"

namespace qv::setup {

// A downloaded setup file's payload archive: its bytes and their count, valid
// until the package is closed.
using PackagePayload = std::pair<const std::uint8_t*, std::uint64_t>;

// What the caller (the updater worker, a test) hands to ApplyGameUpdate.
struct GameUpdatePlatform {
  // Names the download folder and the run's temporary folders; a GUID's text.
  std::string run_id;
  // The updating process, written into the journal's "pid=".
  std::uint64_t process_id = 0;
  // Refuses a game folder (junctions, symbolic links) by raising; may be empty.
  PathValidator check_destination;
  // SHA-256 of a whole file, 64 lower-case hexadecimal digits.
  FileHasher hash_file;
  // SHA-256 of a setup file without its signed overlay; empty: hash_file.
  FileHasher hash_setup_file;
  // Opens a downloaded setup file and exposes its payload archive.
  std::function<PackagePayload(const std::filesystem::path& package)> open_package;
  // Closes what open_package opened; may be empty.
  std::function<void()> close_package;
  // Told the staging folder once the changed files are in it; may be empty
  // (the updater leaves it so; tests look at the staged files through it).
  std::function<void(const std::filesystem::path& staging)> staged_files;
  // Refuses the new files' list by raising; may be empty.
  std::function<void(const std::vector<InstalledFile>& files)> check_payload;
  // The player's usual download folders, searched for the game's package.
  std::function<std::vector<std::filesystem::path>()> package_folders;
  // Told each phase as the update reaches it; may be empty.
  std::function<void(UpdatePhase phase)> on_phase;
  // Told the new version (one leading "v" or "V" removed) as soon as the
  // release document shows a newer release, before anything is downloaded,
  // so that the phases that follow can name it; may be empty.
  std::function<void(const std::string& version)> on_release;
  // Test fault: the engine's commit fails at this step; -1 never.
  std::int32_t fail_at_step = -1;
};

struct GameUpdateResult {
  // The new version: the manifest's with one leading "v" or "V" removed.
  std::string version;
  InstallOutcome outcome;
  // Files of the manifest that differed from the installed ones; once the
  // engine has run, the files it wrote (the outcome's replaced and added),
  // which leaves out those a graphics route owns.
  std::uint64_t files_differed = 0;
  // Bytes received and requests made for files and packages (range answers
  // and the whole setup file; not the release document and manifest).
  std::uint64_t bytes_downloaded = 0;
  std::int32_t requests = 0;
  // Only parts of the setup file were fetched (false: the whole file).
  bool parts = false;
};

}  // namespace qv::setup
