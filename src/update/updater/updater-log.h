#pragma once
// "qv-updater.log" in the game's "data" folder, shared by the updater and the
// route roles: one line per event, "YYYY-MM-DD hh:mm:ss " in local time, the
// caller's text and "\n".

#include <filesystem>
#include <string_view>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

inline constexpr std::wstring_view kUpdaterLogName = L"qv-updater.log";

// Appends one line when the game folder's "data" is a real folder (not a
// symbolic link or junction: the log never writes through a link). Opened and
// closed for every line, shared with other writers; every failure is silent.
void AppendUpdaterLog(const std::filesystem::path& game_folder, std::string_view line,
                      const FileSystemView& view = SystemView());

}  // namespace qv::setup
