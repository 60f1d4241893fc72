#pragma once
// The self test of file-level updates through the whole install transaction:
// identical files left alone, files of earlier releases removed, the DLSS 5
// tool's and the player's files kept, names compared without letter case,
// repair of an up-to-date installation and of a damaged file, and the undo of
// a failed or crashed update.

#include <filesystem>
#include <string>

#include "foundation/crypto/file-hash.h"

namespace qv::setup {

// Works below `folder` and leaves it in place; returns the failure tokens of
// its checks (empty on success). An exception while the payload or the dump
// is written leaves the test; any later one ends it with " files-update: "
// and its text.
std::string SelfTestFileUpdate(const std::filesystem::path& folder, const FileHasher& hash);

}  // namespace qv::setup
