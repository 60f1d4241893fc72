#pragma once

#include <filesystem>

namespace qv::setup {

// Creates `folder` and every missing ancestor through the Win32 API (long
// paths included). An existing folder is fine. Raises
// std::filesystem::filesystem_error "create_directories" with the system's
// error, also when an existing ancestor is not a folder.
void CreateFolders(const std::filesystem::path& folder);

}  // namespace qv::setup
