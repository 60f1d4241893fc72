#pragma once
// The route roles' lines in the shared updater log: each route marks its own.

#include <filesystem>
#include <string_view>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

inline constexpr std::string_view kRouteQueueLogPrefix = "route queue: ";
inline constexpr std::string_view kDlss5RouteLogPrefix = "dlss5 route: ";
inline constexpr std::string_view kFgRouteLogPrefix = "fg route: ";

// Appends prefix + line to the game folder's updater log (see
// AppendUpdaterLog), CR and LF in the line turned into blanks.
void AppendRouteLog(const std::filesystem::path& game_folder, std::string_view prefix, std::string_view line,
                    const FileSystemView& view = SystemView());

// The route queue's lines: "route queue: " + line.
void LogRouteQueue(const std::filesystem::path& game_folder, std::string_view line,
                   const FileSystemView& view = SystemView());

}  // namespace qv::setup
