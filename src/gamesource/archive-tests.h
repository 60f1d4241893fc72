#pragma once
// Content and name tests of the game's three files in a dumped folder. They read
// at most 36 bytes of a file and never raise for file content.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Largest plausible path-ID list (64 MiB less one byte).
inline constexpr std::uint64_t kMaxPathIdListSize = 67'108'863;

// Starts with "PSAR".
bool IsPsarcArchive(const std::filesystem::path& path);
// Bytes 22 and 23 of the file's last 36 bytes are "aq"; files under 36 bytes fail.
bool IsQarArchive(const std::filesystem::path& path);
// The size can be read and lies between 32 and 67,108,863 bytes.
bool IsPlausiblePathIdList(const std::filesystem::path& path);
// Starts with the console package magic.
bool HasPackageMagic(const std::filesystem::path& path);

// The file name's extension (from its last dot; a name whose only dot leads has
// none), in UTF-8 with ASCII letters lowered, equals `extension` (e.g. ".psarc").
// Raises std::system_error for a name that is not valid UTF-16.
bool HasFileExtension(std::string_view extension, const std::filesystem::path& path);
// The file name, in UTF-8 with ASCII letters lowered, contains "pathid_list".
// Raises std::system_error for a name that is not valid UTF-16.
bool IsPathIdListName(const std::filesystem::path& path);

// ASCII A to Z lowered, every other byte unchanged.
std::string AsciiLower(std::string_view text);

}  // namespace qv::setup
