#pragma once
// The installation's "data" folder, where the game keeps its settings, saves and
// logs.

#include <filesystem>
#include <functional>
#include <string_view>

namespace qv::setup {

using PathValidator = std::function<void(const std::filesystem::path&)>;

// Creates root/"data" when nothing is there (a single folder: `root` must
// exist), lets `validator` (when set) refuse it by throwing, then proves it is
// a real, writable folder with a write probe named after `suffix`. Whatever is
// already in the folder stays. Raises "Could not create the game's data
// folder.", the validator's own exception, or the probe's sentence naming the
// "game data folder".
void EnsureGameDataFolder(const std::filesystem::path& root, std::string_view suffix, const PathValidator& validator);

}  // namespace qv::setup
