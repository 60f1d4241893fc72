#pragma once
// Whether two paths name one file-system object, whatever their spelling.

#include <filesystem>

namespace qv::setup {

// True when both paths can be opened (links followed, folders too) and the
// system reports the same volume and file index for them: other letter case,
// a short 8.3 name, a junction or a second drive mapping of one folder all
// name the same object. An error on either side counts as different.
bool IsSameItem(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace qv::setup
