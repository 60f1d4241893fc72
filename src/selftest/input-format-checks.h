#pragma once
// The first checks of the self-test run: how the user's game input is
// recognised. A dumped game folder two levels below the chosen folder, a
// chunk archive under the name another release gives it, an archive without
// its magic (as an encrypted one is), the region of a known title other than
// the US one, the pictures (SelfTestIcons) and a path list of another game.

#include <filesystem>
#include <string>

namespace qv::setup {

// Works below `root`, which must exist: "dump/CUSA09901-app" for the game
// folder and "icon" for the picture checks. Returns the failure tokens in run
// order; empty when every check passed. Failures outside the checks' own
// catches (making the folders, the rename, the release identification, the
// picture test's material) leave it and end the run.
std::string SelfTestInputFormats(const std::filesystem::path& root);

// How the game source's refusal of a folder without game data begins.
inline constexpr const char* kNoGameDataRefusal = "No Q.V. game data was found here.";

}  // namespace qv::setup
