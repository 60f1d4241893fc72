#pragma once
// Copies the game files of a dumped folder into an installation's title folder
// under their canonical names and records where they came from.

#include <cstddef>
#include <filesystem>
#include <string>

#include "gamesource/game-files.h"

namespace qv::setup {

// The one copy buffer of a CopyGameArchives call (4 MiB).
inline constexpr std::size_t kArchiveCopyBlock = 4'194'304;

// Creates the title folder, copies the present game files of `files` into it as
// "chunk1.psarc", "texture.qar" and "pathid_list_ps4.bin" with status lines,
// progress and cancellation, then writes "source.txt". Each file is written
// under a temporary name and renamed only once its size matches the source, so
// a failed or cancelled copy never leaves a partial archive under its final
// name. Failures raise std::runtime_error with a sentence for the user, or the
// file-system error of "create_directories".
void CopyGameArchives(const GameFiles& files, const std::filesystem::path& title_folder);

// The text of "source.txt" for a folder source.
std::string RenderSourceRecord(const GameFiles& files);

}  // namespace qv::setup
