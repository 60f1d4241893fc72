#pragma once
// Path forms: the normal absolute form of installation and game folders, the
// safety test for relative paths read from records, and the "\\?\" long form.

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Absolute (as GetFullPathNameW makes it), lexically normal, '\' separators, no
// trailing separator except on a root alone. Nothing on disk is consulted.
// Raises std::filesystem::filesystem_error("absolute", ...) when the system refuses.
std::filesystem::path NormalAbsolutePath(const std::filesystem::path& path);

// Lexical normalisation only: root name kept, '\' separators, "." dropped,
// "x\.." cancelled, ".." after the root dropped, "." for a path that cancels out.
// A trailing separator of the input is kept.
std::wstring LexicallyNormalText(std::wstring_view text);

// True for one element of a relative path (the text between separators) that
// could leave or escape the folder it is joined under: ".", "..", any other
// name made of dots and blanks only, and names holding ':' (drive letters,
// alternate data streams) or NUL (the system would end the name there).
// An empty element is not unsafe by itself.
bool IsUnsafePathElement(std::wstring_view element);

// True when the record path can be joined under a folder without leaving it:
// not empty, no root name or root directory, and no element that is empty or
// IsUnsafePathElement. Raises on invalid UTF-8.
bool IsSafeRelativePath(std::string_view utf8);

// True for an element that Windows takes for a device whatever folder it is
// in: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (also with the
// superscript digits 1-3), in any ASCII letter case, alone or followed by an
// extension, with blanks before the extension or at the end ("nul.txt",
// "Com1 .log", "aux ").
bool IsDeviceName(std::wstring_view element);

// True when some element of the relative path (UTF-8, either separator) is a
// device name (IsDeviceName). Raises on invalid UTF-8.
bool NamesDevice(std::string_view utf8);

// True when the text names something below its root: anything after the root
// name ("C:", "\\server", "\\?\C:", "\\.\device") and the root directory.
// "C:\" and "\\server\" have none; "\\server\share" and "C:x" have one.
bool HasRelativePart(std::wstring_view text);

// The form handed to process creation and other calls that take long paths:
// texts up to 259 characters and texts already in "\\?\" form come back as
// they are; longer ones become "\\?\C:\..." or "\\?\UNC\server\...".
std::wstring ToLongPath(std::wstring_view text);

// The text handed to Win32 calls for a path: ToLongPath of its native text.
std::wstring ApiPath(const std::filesystem::path& path);

}  // namespace qv::setup
