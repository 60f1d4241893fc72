#pragma once
// Last-write times of files as the volume keeps them, for checks that a run
// left a file alone. std::filesystem::last_write_time reads whole seconds on
// this toolchain, so a file rewritten within the same second would look
// untouched; these read and set the full FILETIME instead.

#include <cstdint>
#include <filesystem>

namespace qv::setup {

// 2001-01-01 00:00 UTC as a FILETIME (100-ns units since 1601): a moment no
// run of a test can write at, whatever the volume's time resolution.
inline constexpr std::uint64_t kLongPastWriteTime = 126'227'808'000'000'000ULL;

// The file's last-write time, read through a handle opened for its attributes
// only, sharing everything. Raises filesystem_error "GetFileTime".
std::uint64_t ReadLastWriteTime(const std::filesystem::path& file);

// Sets the file's last-write time to kLongPastWriteTime and returns the time
// the volume then reports (it may round), so that any later rewrite shows.
// Raises filesystem_error "SetFileTime".
std::uint64_t BackdateFile(const std::filesystem::path& file);

}  // namespace qv::setup
