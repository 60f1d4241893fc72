#pragma once
// The options record every caller hands to the install transaction: what
// differs between the setup window, the in-game updater and the self tests
// (where the port's files come from, how they are checked, the shortcut, the
// journal's fate and the test switches). The engine only reads it.
//
// A callable marked required is called without a test, so an empty one fails
// the run with std::bad_function_call; an optional one is skipped when empty.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/journal/update-recovery.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/payload/payload-archive.h"
#include "gamesource/game-data-folder.h"

namespace qv::setup {

struct InstallHooks {
  // Version of the port being installed: the manifest's "version=", the
  // journal's new version and the update log's lines.
  std::string new_version;
  // Names this run's temporary folders (after ".qv-install-", ".qv-update-",
  // ".qv-update-old-", ".qv-update-fix-") and write probes; must be usable in
  // a file name.
  std::string run_id;
  // Required. Refuses a destination by throwing; also asked about the data
  // folder the run prepares.
  PathValidator validate_destination;
  // Required. Refuses a damaged setup file by throwing.
  std::function<void()> verify_setup;
  // Optional. Unpacked bytes of the whole payload: the progress total of a
  // run that does not compare files.
  std::function<std::uint64_t()> payload_size;
  // Required when the run does not compare files. Extracts every file of the
  // port into the folder and returns one entry per file ('/' relative path,
  // lower-case SHA-256); raises ProgressCounters as it writes.
  std::function<std::vector<InstalledFile>(const std::filesystem::path& folder)> extract_payload;
  // Optional. Refuses the run's file list by throwing.
  std::function<void(const std::vector<InstalledFile>& files)> check_payload;
  // Required when the game source is a console package. Unpacks the package
  // into the work folder's "CUSA09901", leaving "install-extraction.log"
  // beside it; raises ProgressCounters as it runs.
  std::function<void(const std::filesystem::path& work_folder, const std::filesystem::path& package)>
      extract_package;
  // Required when the caller asks for a shortcut (and the run creates one).
  std::function<void(const std::filesystem::path& installation)> create_shortcut;
  // True: a successful update leaves its journal ("swapped"), staging and
  // backup folders for the caller's start confirmation or rollback.
  bool keep_journal = false;
  // The caller's download folder, named in the journal so that its clean-up
  // removes it; may be empty.
  std::filesystem::path download_folder;
  // The process whose life guards the update (the journal's "pid=").
  std::uint64_t process_id = 0;
  // Test fault: the commit fails at this step; -1 never.
  std::int32_t fail_at_step = -1;
  // Optional. Further folders searched for the player's dumped game when the
  // title picture is missing.
  std::function<std::vector<std::filesystem::path>()> picture_search_folders;
  // The new version's complete file list. With extract_entries and hash_file
  // it turns on the comparing mode of an update.
  std::function<std::vector<PayloadEntry>()> payload_entries;
  // Extracts only the listed files, with the contract of extract_payload.
  std::function<std::vector<InstalledFile>(const std::filesystem::path& folder,
                                           const std::vector<PayloadEntry>& entries)>
      extract_entries;
  // SHA-256 of a file as 64 lower-case hex digits.
  FileHasher hash_file;
  // The files the caller already knows to differ (each also in
  // payload_entries); when engaged the installation is not compared.
  std::optional<std::vector<PayloadEntry>> expected_changes;
  // Optional. Called in an update once the staging folder is complete.
  std::function<void()> before_commit;
  // Test pause: the commit writes its pause marker and waits at this step; -1 never.
  std::int32_t pause_at_step = -1;
  // Test switch: this installed file (payload-relative) is overwritten with
  // "damaged" right after the commit, so that the repair runs. Empty: off.
  std::string corrupt_after_commit;
  // The destination is a portable copy (no install manifest): no game source,
  // title picture or install manifest.
  bool portable_copy = false;
  // Reported as the replaced version when neither the manifest nor the
  // installed "qv.exe" names it; may be empty.
  std::string fallback_previous_version;
};

}  // namespace qv::setup
