#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <optional>

namespace qv::setup {

// The current user's known folder (FOLDERID_Desktop, FOLDERID_Downloads, ...)
// as the shell reports it with default flags; nullopt when the shell has none.
std::optional<std::filesystem::path> KnownFolderPath(const KNOWNFOLDERID& id);

}  // namespace qv::setup
