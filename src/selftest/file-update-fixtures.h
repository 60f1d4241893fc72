#pragma once
// The older installation the file-level update self test updates, and the
// filter with which it compares folder trees before and after.

#include <filesystem>
#include <string>

namespace qv::setup {

// Writes an installation of an earlier release (path: content):
//   "qv.exe" "old exe", "shaders/same.spv" "same shader",
//   "shaders/changed.spv" "changed shader, old", "fonts/Case.ttf" "a font",
//   "fonts/NotoSansArabic.ttf" "an old font",
//   "loop-previews/pipeline-cache/old.bin" "a cache an old package shipped" (only with_manifest),
//   "README.md" "an old release's readme, in no manifest",
//   "CUSA09901/chunk1.psarc" "PSAR" + 60 zero bytes, "CUSA09901/texture.qar" `texture_bytes`,
//   "CUSA09901/pathid_list_ps4.bin" "/Assets/xq/level/qv14_hallway/" + 40 "x",
//   "data/qv.ini" "settings", "data/saves/progress.dat" "save", "data/logs/qv.log" "log",
//   "enhanced-textures/cache/a.dds" "generated texture", "mods/mine/init.lua" "player mod",
//   "qv.ini" "old layout settings", "notes-of-the-player.txt" "the player's own file",
//   "dxgi.dll" "reshade", "reshade-shaders/x.fx" "the unlock's shader",
//   "dlss5-autopilot.json" {"complete": true, "route": "native", "files": ["dxgi.dll", "reshade-shaders/x.fx"]}
// With `with_manifest`, then the install manifest: version "1.0.3", no
// source, "qv.exe", "shaders/same.spv", "shaders/changed.spv",
// "fonts/Case.ttf", "loop-previews/pipeline-cache/old.bin" and "dxgi.dll",
// each with 64 "0" as digest (the last a route file that looks like a port
// file). Without it no install manifest (an older installation).
void BuildFileUpdateFixture(const std::filesystem::path& folder, bool with_manifest, const std::string& texture_bytes);

// True when the tree key (SnapshotTree's) is on the file test's ignore list:
// IsPreservedUserPath keeps it; or it is exactly "data/", "dxgi.dll",
// "reshade-shaders/", "dlss5-autopilot.json", "notes-of-the-player.txt",
// "reshade-shaders/x.fx", "cusa09901/", "qv-install-manifest.txt",
// "install-notes.txt", "enhanced-textures/" or "mods/"; or, lower-cased, it
// begins with "cusa09901". Exact byte comparisons otherwise.
bool MatchesFileTestIgnoreList(const std::string& key);

// MatchesFileTestIgnoreList of the key with ASCII letters lowered, then of
// the key as it is.
bool IsIgnoredInFileTest(const std::string& key);

}  // namespace qv::setup
