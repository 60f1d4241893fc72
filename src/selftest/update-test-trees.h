#pragma once
// The two trees of the in-place update test: an installation of an older
// version with the player's own files around it, and the files of the newer
// release as a staging folder holds them. Every file holds a short text that
// tells, read back, which version of the file is in place.

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/payload-archive.h"

namespace qv::setup {

// The older installation's version, as its install manifest names it.
inline constexpr const char* kOlderInstallVersion = "0.0.9";

// The newer release's version, as its staged install manifest names it.
inline constexpr const char* kNewReleaseVersion = "0.2.0";

// Writes under `root`: the older version's port files ("qv.exe",
// "shaders/a.spv", "shaders/gone.spv" which the new release no longer has,
// "nvngx_dlss.dll", "voice/cmudict-en-us.dict", "voice/en-us/mdef"), the
// game's archives "CUSA09901/chunk1.psarc" and "CUSA09901/texture.qar" (the
// latter holding `texture_archive`), and the player's own files an update
// never touches ("qv.ini", "data/qv.ini", "data/qv.log",
// "data/saves/progress.dat", "mods/mine/init.lua", "reshade.dll"). With
// `with_manifest` also the install manifest of version 0.0.9 listing the six
// port files and the player's "data" files in four spellings ("data/qv.ini",
// "data./qv.log", "data /saves/progress.dat", "DATA\qv.ini"), every digest 64
// zeros. Raises the "create_directories" error when a folder cannot be made.
void BuildOlderInstallFixture(const std::filesystem::path& root, bool with_manifest,
                              const std::string& texture_archive);

// Writes the newer release's "qv.exe", "shaders/a.spv", "shaders/b.spv" and
// its "qv-install-manifest.txt" (version 0.2.0, no files) under `root`;
// returns the three files in that order with empty digests (the release's
// own manifest is not listed).
std::vector<InstalledFile> BuildNewReleaseFixture(const std::filesystem::path& root);

}  // namespace qv::setup
