#pragma once
// Bounded reads of files: the user's game files, the installation's records,
// the setup file. Every path goes to the system in its long form, so a file
// deeper than MAX_PATH reads like any other. None of them raises for missing,
// short or unreadable files: they answer with an empty string instead, and
// every read has a fixed upper bound, whatever sizes or offsets a file claims.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace qv::setup {

enum class SliceOrigin { Start, End };

// Exactly `length` bytes at `offset` from the start or the end of the file (an
// end-relative offset is negative), or the empty string when the file cannot be
// opened or holds fewer bytes there. A position before the start reads nothing.
// `file_size`, when given, receives the size of the file as it was opened (it
// is left alone when the file cannot be opened or its size cannot be read).
std::string ReadFileSlice(const std::filesystem::path& path, std::uint64_t length, std::int64_t offset,
                          SliceOrigin origin, std::uint64_t* file_size = nullptr);

// The largest piece ReadFileBytes hands out (8 MiB).
inline constexpr std::uint64_t kMaxFileBytesRead = 8'388'608;

// Exactly `length` bytes from `offset`, or the empty string when `length` is 0
// or above 8 MiB, or the file cannot be opened or ends before offset + length.
std::string ReadFileBytes(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length);

// The whole file when it is a file (links followed) of at most `limit` bytes,
// else the empty string. The read itself stops after `limit` bytes too, so a
// file that grows after its size was taken is refused rather than read whole.
std::string ReadSmallFile(const std::filesystem::path& path, std::uint64_t limit);

// Hands the file's first `limit` bytes to `visit` in consecutive pieces of at
// most 4 MiB, until the file ends, a read fails or `visit` returns false.
// A file that cannot be opened gives no pieces.
void ScanFilePieces(const std::filesystem::path& path, std::uint64_t limit,
                    const std::function<bool(std::string_view piece)>& visit);

}  // namespace qv::setup
