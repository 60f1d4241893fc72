#pragma once
// Records that replace themselves in one step: the complete text goes into a
// sibling file first, which then takes the record's place by a rename
// (RenameItem), so a reader sees the old record or the complete new one.

#include <filesystem>
#include <string_view>

namespace qv::setup {

// Creates `path` anew, writes every byte of `text` and flushes the file to
// disk. Whatever stood under the name is removed first, as itself (a file, a
// hard or symbolic link), and the new file is created only where nothing is:
// an existing file is never opened for writing, so a link planted under the
// name cannot redirect the write to a file elsewhere (which matters most when
// the program runs elevated in a folder the user can write). False on any
// failure (also when a folder or a file that cannot be removed stands there);
// a file that was created stays.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

}  // namespace qv::setup
