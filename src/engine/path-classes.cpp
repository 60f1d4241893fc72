#include "engine/path-classes.h"

#include <algorithm>

#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/payload/payload-checks.h"
#include "gamesource/title-folders.h"

namespace qv::setup {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Folders whose whole content belongs to the player.
constexpr std::array<std::string_view, 6> kPlayerFolders{"mods/",  "cusa09901/",   "enhanced-textures/",
                                                         "saves/", "screenshots/", "photos/"};

// Files at the top of the installation that belong to the player or to this
// installation; "dlssg_sm86/" is the unlock's runtime folder.
constexpr std::array<std::string_view, 3> kFrameGenFiles{"qv-dlssg-route.json", "dlssg_sm86.ini", "dlssg_sm86/"};
constexpr std::array<std::string_view, 3> kInstallationFiles{"qv.ini", "install-notes.txt", "icon0.png"};

// The game's files at the top of a root that is the installation folder itself.
constexpr std::array<std::string_view, 4> kTopGameFiles{"chunk1.psarc", "texture.qar", "pathid_list_ps4.bin",
                                                        "source.txt"};
// The game's own files by their names, at any depth; "source.txt" is the
// game's only at the top, where the setup records the game's source.
constexpr std::array<std::string_view, 3> kGameFileNames{"chunk1.psarc", "texture.qar", "pathid_list_ps4.bin"};
constexpr std::string_view kGameSystemFolder = "sce_sys";

constexpr std::array<std::string_view, 8> kPortFiles{"qv",
                                                     "qv.exe",
                                                     "libxess.dll",
                                                     "manifest.json",
                                                     "nvngx_dlss.dll",
                                                     "README-UPDATE.txt",
                                                     "amd_fidelityfx_vk.dll",
                                                     "voice/cmudict-en-us.dict"};
constexpr std::array<std::string_view, 4> kPortFolders{"voice/en-us/", "voice/vosk/", "vera_date/", "extractor/"};
constexpr std::string_view kShaderFolder = "shaders/";

bool IsAny(std::string_view key, const auto& words) {
  return std::find(words.begin(), words.end(), key) != words.end();
}

bool StartsWithAny(std::string_view key, const auto& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(), [&](std::string_view p) { return StartsWith(key, p); });
}

// A title folder as the first of at least two components: "CUSA09902/x".
bool IsUnderTitleFolder(std::string_view key) {
  size_t slash = key.find('/');
  return slash != std::string_view::npos && !TitleIdFromName(key.substr(0, slash)).empty();
}

// The title picture an update restores: exactly "<title folder>/sce_sys/pic1.png".
bool IsRestoredTitlePicture(std::string_view path) {
  constexpr std::string_view kPicture = "/sce_sys/pic1.png";
  if (!EndsWith(path, kPicture)) return false;
  const std::string_view folder = path.substr(0, path.size() - kPicture.size());
  return folder.find_first_of("/\\") == std::string_view::npos && !TitleIdFromName(folder).empty();
}

}  // namespace

std::string PathKey(std::string_view path) {
  std::string key(path);
  for (char& c : key) {
    if (c == '\\') {
      c = '/';
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return key;
}

bool IsPreservedUserPath(std::string path) {
  if (IsUnderDataFolder(path)) return true;
  const std::string key = PathKey(path);
  if (StartsWithAny(key, kPlayerFolders)) return true;
  // TitleIdFromName ignores letter case, so the key serves as well as the path.
  if (IsUnderTitleFolder(key)) return true;
  if (key == kFrameGenFiles[0] || key == kFrameGenFiles[1] || StartsWith(key, kFrameGenFiles[2])) return true;
  if (EndsWith(key, ".log")) return true;
  return IsAny(key, kInstallationFiles);
}

bool IsGameDataPath(std::string_view path, const std::vector<std::string>& roots) {
  const std::string key = PathKey(path);
  for (const std::string& root : roots) {
    if (root.empty()) {
      if (IsAny(key, kTopGameFiles) || StartsWith(key, "sce_sys/")) return true;
    } else if (StartsWith(key, PathKey(root))) {
      return true;
    }
  }
  return false;
}

bool LiesInTitleFolder(std::string_view path) {
  const std::string key = PathKey(path);
  for (size_t start = 0;;) {
    const size_t slash = key.find('/', start);
    if (slash == std::string::npos) return false;
    if (!TitleIdFromName(std::string_view(key).substr(start, slash - start)).empty()) return true;
    start = slash + 1;
  }
}

bool IsGameFileName(std::string_view path) {
  const std::string key = PathKey(path);
  for (size_t start = 0;;) {
    const size_t slash = key.find('/', start);
    const std::string_view element =
        std::string_view(key).substr(start, slash == std::string::npos ? slash : slash - start);
    if (slash == std::string::npos) return IsAny(element, kGameFileNames);
    if (element == kGameSystemFolder) return true;
    start = slash + 1;
  }
}

NameOwner OwnerOfName(std::string_view path) {
  const std::string key = PathKey(path);
  if (LiesInTitleFolder(key) || IsGameFileName(key) || IsGameDataPath(key, {std::string()})) return NameOwner::kGame;
  if (IsPreservedUserPath(std::string(path))) return NameOwner::kPlayer;
  return NameOwner::kPort;
}

NameOwner OwnerOfName(std::string_view path, const std::vector<std::string>& game_data_roots) {
  const NameOwner by_name = OwnerOfName(path);
  if (by_name != NameOwner::kPort) return by_name;
  // IsPortOwnedFile compares bytes exactly, as the port writes its own files.
  std::string generic(path);
  std::replace(generic.begin(), generic.end(), '\\', '/');
  if (IsGameDataPath(path, game_data_roots) && !IsPortOwnedFile(generic)) return NameOwner::kGame;
  return NameOwner::kPort;
}

bool IsWrittenByUpdates(std::string_view generic_path) {
  return IsAny(generic_path, GameFileNames) || generic_path == "icon0.png" || IsRestoredTitlePicture(generic_path);
}

bool IsGameDataRoot(const std::filesystem::path& folder) {
  if (folder.empty()) return false;
  return IsRegularFile(folder / L"chunk1.psarc") && IsRegularFile(folder / L"texture.qar");
}

bool IsPortOwnedFile(std::string_view generic_path) {
  if (IsAny(generic_path, kPortFiles)) return true;
  if (StartsWithAny(generic_path, kPortFolders)) return true;
  return StartsWith(generic_path, kShaderFolder) && EndsWith(generic_path, ".spv");
}

bool CanHoldPortOwnedFiles(std::string_view generic_folder) {
  if (generic_folder.empty()) return true;
  std::string folder(generic_folder);
  folder += '/';
  // Either the folder leads towards a folder of port files ("voice/" towards
  // "voice/vosk/", which also holds "voice/cmudict-en-us.dict"), or it lies in one.
  auto related = [&](std::string_view port_folder) {
    return StartsWith(port_folder, folder) || StartsWith(folder, port_folder);
  };
  return std::any_of(kPortFolders.begin(), kPortFolders.end(), related) || related(kShaderFolder);
}

bool IsProxyDllName(std::string_view path) { return IsAny(PathKey(path), ProxyDllNames); }

bool ContainsFrameGenMarker(const std::filesystem::path& file) {
  auto status = ReadItemStatus(file);
  if (!status || status->directory || status->size > kFrameGenMarkerMaxFileBytes) return false;
  // The file is searched piece by piece; the last bytes of each piece are
  // searched again with the next one, so a marker across a boundary is found.
  constexpr size_t kOverlap = FrameGenMarker.size() - 1;
  std::string carried;
  bool found = false;
  ScanFilePieces(file, kFrameGenMarkerMaxFileBytes, [&](std::string_view piece) {
    std::string seam = carried;
    seam.append(piece.substr(0, std::min(piece.size(), kOverlap)));
    if (seam.find(FrameGenMarker) != std::string::npos || piece.find(FrameGenMarker) != std::string_view::npos) {
      found = true;
      return false;
    }
    carried.append(piece.substr(piece.size() - std::min(piece.size(), kOverlap)));
    if (carried.size() > kOverlap) carried.erase(0, carried.size() - kOverlap);
    return true;
  });
  return found;
}

}  // namespace qv::setup
