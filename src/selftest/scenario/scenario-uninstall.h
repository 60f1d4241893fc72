#pragma once
// The self test of uninstalling's file removal: without the player's data it
// removes every installed file and the folders it empties but keeps "data";
// with the data it removes the whole installation folder; a folder that holds
// no installation is refused.

#include <filesystem>
#include <string>

namespace qv::setup {

// Works in `folder` (made as needed, removed at the end) and returns its
// failure tokens, empty on success.
std::string SelfTestUninstall(const std::filesystem::path& folder);

}  // namespace qv::setup
