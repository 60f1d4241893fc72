#pragma once
// The result of an install or update run, filled by the install transaction
// and turned by each caller into its own report. Meaningful only after the run
// returned normally.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::setup {

struct InstallOutcome {
  bool updated = false;               // the destination held an installation or portable copy
  bool had_install_manifest = false;  // the installation had "qv-install-manifest.txt"
  std::string previous_version;       // the version replaced; may be empty
  bool archives_restored = false;     // a game source brought the game's files back into an installation
  // The commit's counts of the new version's files (the install manifest, a
  // picture or the game's archives written beside them are not counted).
  std::uint32_t replaced = 0;
  std::uint32_t added = 0;
  std::uint32_t removed = 0;
  std::vector<std::string> sweep_messages;  // the commit's notes about proxy DLLs it kept or removed
  // How the user's copy of the game differs from the tested release (the
  // game source's notes) and the sweep's notes ("frame generation unlock:
  // ..."). Any note makes the setup say that the copy differs.
  std::vector<std::string> notes;
  // Sentences for the user about what could not be finished once the
  // installation was in place: the desktop shortcut could not be created, the
  // update journal could not be removed. None of them fails the run, and none
  // says anything about the game copy.
  std::vector<std::string> warnings;
  bool title_picture_missing = false;
  bool recovery_done = false;          // an interrupted earlier update was rolled back first
  std::filesystem::path journal_path;  // the kept journal (keep_journal), else empty
  // Comparing mode only.
  std::uint64_t unchanged = 0;
  std::uint64_t verified = 0;
  std::uint64_t repaired = 0;
  std::uint64_t bytes_to_write = 0;
};

}  // namespace qv::setup
