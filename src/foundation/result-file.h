#pragma once
// The one result file of each test mode. Outside scripts name it as the last
// argument, so it may point anywhere: the guard keeps a test mode from
// replacing a folder, a link or junction (and what lies behind it), or a file
// too large to be an earlier result.

#include <filesystem>
#include <string_view>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

// The largest file a result may replace.
inline constexpr std::uint64_t kMaxReplacedResultFile = 65536;

inline constexpr const char* kRefusedResultFileMessage = "refusing to overwrite the result file";

// True when nothing the directory search can name stands at the path (the
// file is created), or when a regular file of at most 65,536 bytes does. False
// for folders, symbolic links, junctions and other name-surrogate reparse
// points, larger files, and items whose kind or size cannot be read (a root).
// The item itself is read, links never followed.
bool ResultFileAcceptable(const std::filesystem::path& file, const FileSystemView& view = SystemView());

// Raises std::runtime_error("refusing to overwrite the result file") when the
// guard refuses the path. Test modes ask it before doing anything else.
void RequireAcceptableResultFile(const std::filesystem::path& file);

// Replaces the file with the text, each "\n" stored as CR LF (the text mode the
// scripts read). Raises std::runtime_error with a sentence naming the file when
// it cannot be written completely.
void WriteResultFile(const std::filesystem::path& file, std::string_view text);

// The failure path of the test modes: writes the text as WriteResultFile does
// only when the guard accepts the path. False when nothing was written; never
// raises.
bool WriteGuardedResultFile(const std::filesystem::path& file, std::string_view text,
                            const FileSystemView& view = SystemView()) noexcept;

// The pass line of the self test: writes the text as WriteResultFile does
// where nothing stands yet or into a regular file of any size, but never into
// a folder, a symbolic link, a junction or any other reparse point (the item
// itself is read, links never followed). False when the text was not
// completely written; never raises.
bool WriteRegularResultFile(const std::filesystem::path& file, std::string_view text,
                            const FileSystemView& view = SystemView()) noexcept;

}  // namespace qv::setup
