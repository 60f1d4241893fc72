#pragma once
// The port's file list "qv-files.json", which the payload carries into every
// installation and portable copy: {"format": 1, "files": [{"path": ...,
// "size": ..., "sha256": ...}, ...]}.

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "foundation/payload/payload-archive.h"

namespace qv::setup {

inline constexpr std::wstring_view kFilesJsonName = L"qv-files.json";
// Larger lists are refused unread.
inline constexpr std::uint64_t kFilesJsonMaxBytes = 16u * 1024 * 1024;

// The entries of the list in array order, or an empty list when the file is
// missing, a folder, larger than 16 MiB, not a JSON object or has no "files",
// and when any single item lacks "path" (a string), "size" or a 64-byte
// "sha256", or names an unsafe path. Never raises for bad content.
std::vector<PayloadEntry> ReadFilesJson(const std::filesystem::path& path);

}  // namespace qv::setup
