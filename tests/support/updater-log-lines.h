#pragma once
// The updater log "data\qv-updater.log" and the update log
// "data\qv-update.log" of a game folder, read back.

#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// The messages of "data\qv-updater.log", one per line, each with its time
// stamp checked and removed; a line without a valid stamp fails the test and
// comes back whole. No file: no lines.
std::vector<std::string> UpdaterLogMessages(const std::filesystem::path& game_folder);

// The lines of the update log "data\qv-update.log", as written (the
// engine's lines carry no time stamp); no file: no lines.
std::vector<std::string> UpdateLogLines(const std::filesystem::path& game_folder);

}  // namespace qv::test
