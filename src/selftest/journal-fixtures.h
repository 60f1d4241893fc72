#pragma once
// Material of the journal tests: a small installation with its manifest, the
// newer release's files as a staging folder holds them, and the check of a
// hand-written journal text.

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/payload-archive.h"

namespace qv::setup {

// Writes the installation (version "1.0.3": "qv.exe", "shaders/a.spv",
// "shaders/gone.spv", the player's "data/qv.ini", and a manifest listing the
// three port files) and the new tree ("qv.exe", "shaders/a.spv",
// "shaders/b.spv" and a manifest of version "9.9.9" without files). Returns
// the new tree's three files in that order, with empty digests.
std::vector<InstalledFile> BuildJournalTestInstall(const std::filesystem::path& install_folder,
                                                   const std::filesystem::path& new_tree_folder);

// Writes `text` as the installation's update journal and tells whether the
// journal reader accepts it. The file stays either way.
bool JournalTextAccepted(const std::filesystem::path& install_folder, const std::string& text);

}  // namespace qv::setup
