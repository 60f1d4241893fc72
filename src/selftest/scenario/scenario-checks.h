#pragma once
// Small pieces the scenario tests of the built-in self test share.

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// True when the system finds an item at the path: a file, a folder, or a link
// as itself (never followed, so a dangling link still counts as there).
bool ItemExists(const std::filesystem::path& path);

// Appends `token` to `tokens` unless the check passed.
void Expect(bool passed, std::string_view token, std::string& tokens);

// The text of a failed operation that a test expected to succeed, behind its
// check's prefix (" tag: " or " tag:").
std::string CaughtToken(std::string_view prefix, const std::exception& error);

}  // namespace qv::setup
