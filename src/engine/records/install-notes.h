#pragma once
// "install-notes.txt": how the user's copy of the game differs from the tested
// release (renamed archives, an unconfirmed release or region, warnings of the
// package extraction helper), one note per line.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gamesource/game-files.h"

namespace qv::setup {

inline constexpr std::wstring_view kInstallNotesName = L"install-notes.txt";
// Left in the work folder by the package extraction helper's run.
inline constexpr std::wstring_view kExtractionLogName = L"install-extraction.log";

// The notes of `source` followed, for a package, by every "warning: " line of
// "install-extraction.log" in `folder` (without that prefix), in log order.
// When there are notes they replace "install-notes.txt" in `folder`; with none
// nothing is written. Best effort: never raises for file errors.
std::vector<std::string> WriteInstallNotes(const GameSource& source, const std::filesystem::path& folder);

}  // namespace qv::setup
