#pragma once
// Wine cannot create symbolic links or junctions, so tests of link decisions
// present ordinary items as reparse points through the file-system view.

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::test {

struct FakeReparsePoint {
  std::filesystem::path path;  // an existing file or folder
  std::uint32_t tag;           // kReparseTagSymlink, kReparseTagMountPoint, or any other tag
};

// The system's view, except that each listed item shows the reparse-point
// attribute and its tag wherever the view reports it: to a search for its name,
// to an attribute read (without tag, as the system does) and in the listing of
// its folder. Paths are matched after making them absolute and normal, letter
// case ignored.
qv::setup::FileSystemView ViewWithReparsePoints(std::vector<FakeReparsePoint> fakes);

}  // namespace qv::test
