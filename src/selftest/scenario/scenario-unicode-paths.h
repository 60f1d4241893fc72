#pragma once
// The self test of names outside ASCII: game-source resolution, the install
// manifest, the reading of an installation and the commit of staged files
// with its undo must keep such names byte for byte (Latin letters with
// diacritics, the Turkish dotted capital I, Japanese characters, an emoji).

#include <filesystem>
#include <string>

namespace qv::setup {

// Works in root/"Š İ 日本語 😀" (made as needed; it stays for the self test's
// root to take away) and returns its failure tokens, empty on success.
std::string SelfTestUnicodePaths(const std::filesystem::path& root);

}  // namespace qv::setup
