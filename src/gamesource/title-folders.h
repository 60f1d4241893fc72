#pragma once
// The title folder of an installation: the subfolder named after a title
// identifier that holds the game's archives.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// Candidates ranked per folder by SearchTitleFolders' callers.
inline constexpr std::size_t kTitleFolderSearchLimit = 64;

// The name of the title folder inside `root` that holds both game archives
// under their canonical names: "CUSA09901" when that one does, else the best
// ranked subfolder whose name starts with a title identifier; "" when none.
// Raises std::system_error for a subfolder name that is not valid UTF-16.
std::string FindTitleFolder(const std::filesystem::path& root);

// The direct subfolders of `folder` (at most the first `limit` listed, without
// "sce_sys" and "sce_module"), best candidates first: CUSA09901, other forms of
// it, then the other known releases in table order, other identifiers, others.
std::vector<std::filesystem::path> SearchTitleFolders(const std::filesystem::path& folder, std::size_t limit);

// The title identifier a UTF-8 name starts with (four letters, five digits, then
// the end or a byte that is neither letter nor digit), upper-cased; else "".
std::string TitleIdFromName(std::string_view name);

// "chunk1.psarc" starts with "PSAR" and "texture.qar" passes the texture test.
bool HasGameArchives(const std::filesystem::path& folder);

}  // namespace qv::setup
