#pragma once
// Whether a relative path from a record (a signed manifest, an update journal,
// an install manifest) reaches the items its own names say. Every file call
// also accepts an item's short 8.3 name ("CUSA09~1" on Windows, "CUSA~PNS"
// under Wine, for "CUSA09901"), so a name that looks like nothing of the
// player's can still reach the player's folder. Name tests (title folders,
// player folders, "data", duplicates) only hold for a path whose existing
// elements are stored under the very names it gives.

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// True when each element of `relative` (UTF-8, '/' or '\' separators, empty
// elements skipped) that exists below `root` is stored under that name,
// letter case aside, as a directory search lists it. The walk ends at the
// first element that does not exist (or whose folder is a file): nothing
// there can be reached under another name yet. False for an element found
// under another name (a short name, or a trailing dot the system drops), for
// "." and "..", an element holding a wildcard or one that cannot be searched
// for another reason, and for text that is not UTF-8; `stored` (when given)
// then receives the path as far as it is known, existing elements by their
// stored names ("CUSA09901/chunk1.psarc" for "CUSA~PNS/chunk1.psarc"). Never
// raises.
bool IsStoredAsNamed(const std::filesystem::path& root, std::string_view relative, std::string* stored = nullptr);

}  // namespace qv::setup
