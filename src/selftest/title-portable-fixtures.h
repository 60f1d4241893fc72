#pragma once
// The trees the title-picture and portable-copy self tests update, and the
// filter with which the portable test compares folders before and after.

#include <filesystem>
#include <string>

#include "selftest/fixture-files.h"

namespace qv::setup {

// An installation of version "1.0.3": "qv.exe" "old exe", "shaders/gone.spv"
// "old shader", "CUSA09901/chunk1.psarc" "PSAR old archive",
// "CUSA09901/texture.qar" (`texture_bytes`), "data/qv.ini" "settings",
// "data/saves/progress.dat" "save", "mods/mine/init.lua" "player mod", and an
// install manifest with no source listing "qv.exe", "shaders/gone.spv" and
// "mods/mine/init.lua", each with 64 "0" as digest.
void BuildTitleTestInstall(const std::filesystem::path& install_folder, const std::string& texture_bytes);

// A portable copy (no install manifest): every pair of `port_files`,
// "qv-files.json" rendered (RenderFilesJson) from `file_list`, "README.md"
// "a readme every published setup installed", the game under "extractor/"
// ("chunk1.psarc": "PSAR" and 60 zero bytes, "texture.qar": `texture_bytes`,
// "sce_sys/pic1.png": "the player's title picture"), the player's
// "data/qv.ini" "settings", "data/saves/progress.dat" "save",
// "mods/mine/init.lua" "player mod", "enhanced-textures/cache/a.dds"
// "generated texture", "notes-of-the-player.txt" "the player's own file",
// and the DLSS 5 tool's "dxgi.dll" "reshade" with its record
// "dlss5-autopilot.json" {"complete": true, "route": "native", "files": ["dxgi.dll"]}.
void BuildPortableCopyFixture(const std::filesystem::path& folder, const FixtureFiles& port_files,
                              const FixtureFiles& file_list, const std::string& texture_bytes);

// True for tree keys (SnapshotTree's: "/" separators, folders ending in "/")
// the portable test leaves out: what IsPreservedUserPath keeps, and, letter
// case ignored, "data/", "mods/", "enhanced-textures/",
// "notes-of-the-player.txt", "dxgi.dll", "dlss5-autopilot.json" and
// everything under "extractor/".
bool IsIgnoredInPortableTest(const std::string& relative);

}  // namespace qv::setup
