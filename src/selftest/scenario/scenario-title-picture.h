#pragma once
// The self test of the title picture and the recorded game source across
// updates, with the title guess and copies of the game from other regions.

#include <filesystem>
#include <string>

#include "foundation/crypto/file-hash.h"

namespace qv::setup {

// Updates older installations below `folder` with the install engine and
// returns the failure tokens of its checks (empty on success); removes
// `folder` at the end. An exception while the first fixtures are written
// leaves the test.
std::string SelfTestTitlePictureUpdate(const std::filesystem::path& folder, const FileHasher& hash);

}  // namespace qv::setup
