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

// True when Windows stores one element of a name (no separators) under this
// very name: not empty, not "." or "..", no trailing dot or blank (the system
// trims them: "new.spv." becomes "new.spv"), none of < > : " / \ | ? * or a
// control character, and no device ("nul.txt", "CONIN$", "COM¹"). A name it
// would trim, read as something else, or refuse is not the name a record
// gave.
bool IsStorableElement(std::wstring_view element);

// True for the names of the system's own temporary folders and files in and
// beside an installation (staging, backup, repair and download folders, write
// probes): they begin with ".qv-", ASCII letter case aside. A file of the port
// under such a name would be taken for one of them, swept as a leftover or
// stand in a run's way.
bool IsSystemTemporaryName(std::wstring_view element);

// True when every element of `relative` (UTF-8, '/' separators) is
// IsStorableElement and none IsSystemTemporaryName; false for text that is
// not UTF-8. Never raises.
bool IsStorableName(std::string_view relative);

// True when one element of a name (no separators) has the form of a short
// 8.3 name ("CUSA09~1", "CUSA~PNS", "SHAD~BPV.SPV"): at most 8 characters
// before its first dot with a '~' that something follows there, and at most
// 3 after that dot, with no second dot. On a player's computer such a name
// may stand for another folder or file, whatever its long name, and it may
// come to stand for one that the same run creates, when no check made before
// can see it. The release tool refuses the same form.
bool HasShortNameForm(std::wstring_view element);

}  // namespace qv::setup
