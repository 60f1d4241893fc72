#pragma once
// The files that the optional graphics add-ons ("routes") own in a game
// folder, read from the records they leave there: the frame-generation
// unlock's own record and the record of the outside DLSS 5 tool. Updates keep
// these files (they are neither leftovers nor foreign), and the uninstaller
// removes them.

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace qv::setup {

// Path keys (see PathKey) of route-owned files, relative to the game folder.
// Every key is a safe relative path: a record that names something outside
// the game folder (an absolute path, a drive, "..", a stream) contributes
// nothing, because the set decides what is later deleted.
using RouteFileKeys = std::set<std::string>;

inline constexpr std::wstring_view kFrameGenRouteRecordName = L"qv-dlssg-route.json";
inline constexpr std::wstring_view kDlss5ToolRecordName = L"dlss5-autopilot.json";
// Larger records are not read (1 MiB).
inline constexpr std::uint64_t kRouteRecordMaxBytes = 1'048'576;

// The frame-generation unlock's files: empty when "qv-dlssg-route.json" is
// missing or a folder; otherwise the record itself, "dlssg_sm86.ini", and the
// record's "proxy" and "files" names, or all three proxy DLL names when the
// record cannot be read (so that whichever proxy the unlock used stays
// protected). Never raises for bad content and changes nothing on disk.
RouteFileKeys CollectFrameGenRouteFiles(const std::filesystem::path& game_folder);

// CollectFrameGenRouteFiles plus the DLSS 5 tool's record "dlss5-autopilot.json"
// (when it is a file of at most 1 MiB) and the names in its "files" array.
// Never raises for bad content and changes nothing on disk.
RouteFileKeys CollectRouteFiles(const std::filesystem::path& game_folder);

}  // namespace qv::setup
