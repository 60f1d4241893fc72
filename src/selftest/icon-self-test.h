#pragma once
// The self test of how the game's pictures are found in what the user supplies:
// the icon the desktop shortcut carries ("icon0.png") and the title picture
// ("pic1.png"), from a dumped folder and from a console package, and the
// refusal of anything that is not a picture, of an encrypted icon and of a
// path that does not exist.

#include <filesystem>
#include <string>

namespace qv::setup {

// Builds its material below `folder` (created as needed) and returns the
// failure tokens of its checks in run order; empty when every check passed.
// Has no catch of its own: a failure to write the material ends the run.
std::string SelfTestIcons(const std::filesystem::path& folder);

}  // namespace qv::setup
