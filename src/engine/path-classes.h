#pragma once
// What a path inside an installation folder is: the player's (settings, saves,
// screenshots, mods, logs, notes, the title picture, the frame-generation
// unlock's files), the game's data taken from the player's console package,
// a program file the port ships or shipped, or a frame-generation proxy DLL.
// Clean-ups of an installation (the leftover sweep, the pruning of emptied
// folders after a commit) ask these questions before they touch anything.
//
// Relative paths are UTF-8 with either separator. Names are compared by their
// path key (PathKey); only IsPortOwnedFile and IsWrittenByUpdates compare
// bytes exactly.
//
// Whose a name is (the port's, the player's, the game's) is decided here and
// nowhere else: the release tool (tools/make-release.py) applies the same
// classes, and every reader of names asks OwnerOfName.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// The game's files an update moves in from the staging folder when a game
// source brought them, in this order.
inline constexpr std::array<std::string_view, 6> GameFileNames{
    "CUSA09901/chunk1.psarc", "CUSA09901/texture.qar", "CUSA09901/pathid_list_ps4.bin",
    "CUSA09901/source.txt",   "install-notes.txt",     "install-extraction.log"};

// The names under which the frame-generation unlock places its proxy DLL, at
// the top of the installation folder.
inline constexpr std::array<std::string_view, 3> ProxyDllNames{"version.dll", "winmm.dll", "dbghelp.dll"};

// Every proxy DLL of the frame-generation unlock contains these bytes; another
// program's DLL of the same name does not.
inline constexpr std::string_view FrameGenMarker = "dlssg_sm86";

// Files above this size are never taken for the unlock's proxy (64 MiB).
inline constexpr std::uint64_t kFrameGenMarkerMaxFileBytes = 67'108'864;

// The form in which relative paths of an installation are compared: every '\'
// becomes '/' and ASCII A-Z become a-z; nothing else changes (no other case
// folding, no removal of ".", "..", doubled separators, trailing dots or blanks).
std::string PathKey(std::string_view path);

// True when the path belongs to the player or to this installation and no
// clean-up removes or replaces it: anything under "data" (trailing dots and
// blanks of that name ignored), "mods/", "saves/", "screenshots/", "photos/",
// "enhanced-textures/", a title folder ("CUSA09901/", any "<4 letters><5 digits>"
// folder), the unlock's "qv-dlssg-route.json", "dlssg_sm86.ini" and
// "dlssg_sm86/", "qv.ini", "install-notes.txt", "icon0.png" at the top, and
// every ".log" file. A folder asked about with its trailing separator
// ("mods/") is answered like the files in it.
bool IsPreservedUserPath(std::string path);

// True when the path lies in the game's data under one of `roots` (as
// FindGameDataRoots lists them): for the root "" (the installation folder
// itself) the archive pair, "pathid_list_ps4.bin", "source.txt" and anything
// under "sce_sys/"; for a root "dir/" anything below that folder.
bool IsGameDataPath(std::string_view path, const std::vector<std::string>& roots);

// True when "chunk1.psarc" and "texture.qar" in `folder` are both files (links
// followed). Unreadable items count as missing; never raises.
bool IsGameDataRoot(const std::filesystem::path& folder);

// True for a program file that the port ships or shipped, by the exact bytes
// of its generic relative path (letter case included): "qv.exe" and the other
// top-level runtimes, "voice/..." models, "vera_date/...", "extractor/..." and
// "shaders/...spv".
bool IsPortOwnedFile(std::string_view generic_path);

// Whose a file of this name is, by its name alone.
enum class NameOwner {
  kPort,    // the port's: a release may ship it and an update may replace it
  kPlayer,  // the player's or this installation's own: what IsPreservedUserPath
            // keeps outside the game's data (settings, saves, mods, logs, the
            // unlock's files, the install notes, the title icon, all of "data")
  kGame,    // the game's data from the player's console: anything in a title
            // folder at any depth ("CUSA09901/chunk1.psarc",
            // "dump/CUSA09901/chunk1.psarc"), the game's files at the top
            // (the archive pair, the path-ID list, "source.txt", "sce_sys/"),
            // and the game's own file names at any depth (IsGameFileName)
};

// Whether the name is one the game's own files carry wherever they lie: the
// archive pair and the path-ID list as the last element ("game/chunk1.psarc",
// a portable copy's "extractor/texture.qar"), or anything in a "sce_sys"
// folder ("extractor/sce_sys/pic1.png"). ASCII letter case aside.
bool IsGameFileName(std::string_view path);

// Whether any folder on the way to the named item is a title folder:
// "CUSA09901/x", "dump/CUSA09901/x"; the item's own name does not count
// ("CUSA09901.txt", a file "CUSA09901").
bool LiesInTitleFolder(std::string_view path);

// Every reader of a name that came from outside (a port folder, a signed
// manifest, the setup's own payload, a journal step, an install record) asks
// this one question before it lets the name reach a file. Never raises.
NameOwner OwnerOfName(std::string_view path);

// The same question asked by a reader that acts on one installation (the
// commit, the journal's reader and rollback, the uninstall), which also knows
// the folders there that hold the game's archive pair (`game_data_roots`, as
// FindGameDataRoots lists them): everything in one of them is the game's,
// whatever its name ("game/readme.txt" beside "game/chunk1.psarc"), but for
// the port's own program files (IsPortOwnedFile), which a portable copy keeps
// beside the game's archives in "extractor/". Never raises.
NameOwner OwnerOfName(std::string_view path, const std::vector<std::string>& game_data_roots);

// True for the few names of the player's or the game's that an update of the
// setup writes itself, by the exact bytes under which it writes them: the
// game's files copied from the player's game (GameFileNames), a title picture
// it restores ("<title folder>/sce_sys/pic1.png", the title folder as found on
// disk) and the shortcut icon "icon0.png". A journal may name these and no
// other file of the player's or the game's.
bool IsWrittenByUpdates(std::string_view generic_path);

// True when a folder (generic relative path, no trailing '/') may hold a file
// for which IsPortOwnedFile holds somewhere below it: "voice", "voice/vosk",
// "extractor/x" and "shaders/a/b" may, "data", "mods" and "voice/other" may not.
bool CanHoldPortOwnedFiles(std::string_view generic_folder);

// True when the whole path is one of ProxyDllNames (ASCII case ignored), that
// is, a proxy name directly in the installation folder.
bool IsProxyDllName(std::string_view path);

// True when `file` is a file (links followed) of at most 64 MiB whose bytes
// contain FrameGenMarker. Unreadable, larger or unopenable files give false.
bool ContainsFrameGenMarker(const std::filesystem::path& file);

}  // namespace qv::setup
