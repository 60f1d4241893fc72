#pragma once
// The files the downloads write: always created new, so that a link or
// junction planted at the name is removed as itself and never written through.

#include <filesystem>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

// Removes what stands at `file` (a file, an empty folder, a link or junction
// as itself) and creates a new, empty file there for writing, shared with
// nobody. An invalid handle when that fails (a folder with content stands
// there, the folder is missing or not writable).
UniqueFile CreateFreshFile(const std::filesystem::path& file);

}  // namespace qv::setup
