#pragma once
// Copies that take a file's place whole. The bytes go into a temporary file
// beside the target (the target's name with ".qv-tmp" appended), reach the
// disk, and only then does one rename on the same volume give the copy the
// target's name. A kill or a power cut at any moment leaves under the
// target's name what stood there before or the complete copy, never a part
// of it; at worst the temporary stays, and the next copy to the same target
// or RemoveUnfinishedCopy deletes it.

#include <filesystem>
#include <system_error>

#include "foundation/files/rename-item.h"

namespace qv::setup {

// "<target>.qv-tmp": where a copy to `target` is written before it takes the
// target's name.
std::filesystem::path TemporaryCopyPath(const std::filesystem::path& target);

// Deletes TemporaryCopyPath(target), as itself (a link goes as a link), when
// it is a file. Errors are ignored.
void RemoveUnfinishedCopy(const std::filesystem::path& target);

// Writes the file's cached data to the disk. The system's error, or none.
std::error_code FlushFileToDisk(const std::filesystem::path& file);

// Copies `from` to `to` through TemporaryCopyPath(to): an unfinished copy of
// an earlier run goes first; `copy` (the system's copy when empty; it must
// create a new file) writes the temporary, which is flushed to the disk and
// then renamed to `to`, replacing a file there only with kReplace. With
// kRefuse, anything at `to` fails the copy before a byte is written. No
// temporary stays after a failure reported here. The system's error, or none.
std::error_code CopyIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                              ExistingTarget existing, const FileCopier& copy = {});

}  // namespace qv::setup
