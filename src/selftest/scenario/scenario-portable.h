#pragma once
// The self test of portable copies: a plain game folder with the port's
// files and its file list "qv-files.json" but no install manifest. The
// engine must recognise it without taking it for an installation, find the
// game archives the player keeps in it, update it in place to exactly a
// fresh extraction of the new release plus the player's own files, never
// write an install manifest into it, refuse folders that only look like
// portable copies, and undo a failing update completely.

#include <filesystem>
#include <string>

#include "foundation/crypto/file-hash.h"

namespace qv::setup {

// Works in `folder` (made as needed) with `hash` as every file hasher and
// returns its failure tokens, empty on success. The folder stays for the
// self test's root to take away. Runs a whole update transaction, which
// needs 1 GiB free on the folder's volume.
std::string SelfTestPortableUpdate(const std::filesystem::path& folder, const FileHasher& hash);

}  // namespace qv::setup
