#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qv::setup {

// Test material: pairs of a relative UTF-8 path with '/' separators and the
// file's binary content, in output order.
using FixtureFiles = std::vector<std::pair<std::string, std::string>>;

// Writes `bytes` exactly into `file`, replacing earlier content, after creating
// its parent folders. Raises filesystem_error "create_directories" when the
// folders cannot be made; a file that cannot be opened or written is not
// reported (the test finds out when it reads the file back).
void WriteFixtureFile(const std::filesystem::path& file, const std::string& bytes);

// Writes `text` unchanged (binary) into `file`, replacing earlier content.
// Creates no folders and reports no failure: a missing folder means nothing is
// written, which the test finds out when it reads the file back.
void WriteTextFile(const std::filesystem::path& file, const std::string& text);

// The whole file as bytes; empty when it cannot be opened or is a folder.
std::string ReadFileText(const std::filesystem::path& file);

}  // namespace qv::setup
