#pragma once
// The result file a route leaves in its work folder for the game to read after
// it has been started again: three lines with "\n" ends,
//   kind <install|remove|reinstall>
//   exit <exit code, signed decimal>
//   detail <one-line English detail, may be empty; CR and LF become blanks>

#include <filesystem>
#include <string_view>

#include "routes/route-kinds.h"

namespace qv::setup {

inline constexpr std::wstring_view kDlss5RouteResultName = L"route-result.txt";
inline constexpr std::wstring_view kFgRouteResultName = L"fg-route-result.txt";

// Replaces the file with the three lines. A file that cannot be written is
// skipped silently: the game then shows what it knows without it.
void WriteRouteResultFile(const std::filesystem::path& file, RouteAction action, int exit_code, std::string_view detail);

// Deletes the file (errors ignored). Every run does this before it changes
// anything: a run that is killed must not leave an earlier run's "exit 0"
// for the game to read as its own outcome.
void RemoveRouteResultFile(const std::filesystem::path& file);

}  // namespace qv::setup
