#pragma once
// The sections of the in-place update self test, in their run order. Each
// returns the tokens it found; only what the test leaves unguarded raises.

#include <filesystem>
#include <string>

namespace qv::setup {

// An installation folder "QV" with the staging and backup folders an update
// puts beside it.
struct UpdateTestFolders {
  std::filesystem::path install;
  std::filesystem::path staging;
  std::filesystem::path backup;
};

UpdateTestFolders UpdateTestFoldersIn(const std::filesystem::path& case_folder);

// The older installation in `folder`/"with" and `folder`/"without", updated
// in place by the commit: the new files, the swept old ones, the player's
// files, the old manifest's reading, the counts and the new manifest.
std::string CheckInPlaceUpdates(const std::filesystem::path& folder, const std::string& texture_archive);

// The commit forced to fail at steps 0, 2 and 5 ("rollback0", ...) puts the
// installation and the staging folder back.
std::string CheckCommitRollbacks(const std::filesystem::path& folder, const std::string& texture_archive);

// Destinations ("other", "nothing", "empty"), then result files
// ("result.txt", "new-result.txt", "big.bin", "empty").
std::string CheckDestinationChoice(const std::filesystem::path& folder);
std::string CheckResultFileGuard(const std::filesystem::path& folder);

// The commit refuses staged files under "data" in every spelling
// ("reserved-data"); the write probe ("write-probe", "not-a-folder"); the
// data folder of "custom install location"/"QV".
std::string CheckReservedPlayerData(const std::filesystem::path& folder, const std::string& texture_archive);
std::string CheckWriteProbe(const std::filesystem::path& folder);
std::string CheckCustomDataFolder(const std::filesystem::path& folder);

// The payload's upscaler runtimes, then the question for "with"/"QV", which
// the in-place update left at the new version.
std::string CheckUpscalerRuntimes();
std::string CheckSameVersionQuestion(const std::filesystem::path& folder);

}  // namespace qv::setup
