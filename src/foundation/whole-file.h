#pragma once
// Records that replace themselves in one step: the complete text goes into a
// sibling file first, which then takes the record's place by a rename
// (RenameItem), so a reader sees the old record or the complete new one.

#include <filesystem>
#include <string_view>

namespace qv::setup {

// Creates or truncates `path`, writes every byte of `text` and flushes the file
// to disk. False on any failure; a file that was created stays.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

}  // namespace qv::setup
