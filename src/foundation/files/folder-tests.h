#pragma once
// Tests of folders the system is about to write into or delete from: whether a
// path is a link or junction, whether a folder is empty, and whether a folder
// accepts new files. The optional view lets tests present chosen paths as links
// or junctions; production callers leave it at the system's.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

// True when the item itself is a reparse point with a name-surrogate tag (a
// symbolic link, a junction or a mount point). Trailing separators are ignored;
// a bare root is never one. Never raises.
bool IsLinkOrJunction(const std::filesystem::path& path, const FileSystemView& view = SystemView());

// True for an existing, empty folder (links followed) that is not itself a
// symbolic link; a junction to an empty folder passes. False on any error.
bool IsEmptyFolder(const std::filesystem::path& folder, const FileSystemView& view = SystemView());

// True for a folder that is neither a symbolic link nor a junction (other
// reparse points, such as cloud-file placeholders, count as plain folders).
// `error` is set when the item cannot be read, cleared otherwise.
bool IsRealDirectory(const std::filesystem::path& path, std::error_code& error,
                     const FileSystemView& view = SystemView());

// The name of the probe folder created inside the folder under test.
inline constexpr std::wstring_view kWriteProbePrefix = L".qv-write-probe-";

// Proves that `folder` accepts a new subfolder and file: creates
// ".qv-write-probe-<suffix>" holding "write-test" (one byte 'x') and removes it
// again. `suffix` is ASCII that can stand in a file name (a run identifier);
// `label` names the folder for the user. Raises std::runtime_error
//   "The <label> must be a writable folder." for a symbolic link (a junction
//     passes), a missing item or anything that is not a folder;
//   "The <label> is not writable." when the probe cannot be created or written
//     (also when it already exists);
// and std::filesystem::filesystem_error "remove_all" when the probe cannot be
// removed again.
void ProbeWritableFolder(const std::filesystem::path& folder, std::string_view suffix, const std::string& label,
                         const FileSystemView& view = SystemView());

}  // namespace qv::setup
