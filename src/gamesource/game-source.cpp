#include "gamesource/game-source.h"

#include <stdexcept>

#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "gamesource/archive-tests.h"
#include "gamesource/param-sfo.h"
#include "gamesource/release-identification.h"

namespace qv::setup {
namespace {

constexpr const char* kSelectGame = "Select your Q.V. game: a fake PKG, or the game folder from your console dump.";
constexpr const char* kNotAPackage =
    "This file is not a PS4 package or a Q.V. archive. Select a Q.V. fake PKG, or the game folder from your dump.";
constexpr const char* kNoGameData =
    "No Q.V. game data was found here. Select the folder that holds chunk1.psarc and texture.qar (decrypted, from "
    "your own console's dump), or your Q.V. fake PKG.";
constexpr const char* kSeveralPackages = "This folder has several PKG files. Select the Q.V. package itself.";

GameSource PackageSource(const std::filesystem::path& path) { return GameSource{GameSourceKind::Pkg, path, {}}; }

using NameTest = std::function<bool(const std::filesystem::path&)>;

std::filesystem::path FindGameFile(const std::filesystem::path& folder, std::string_view canonical_name,
                                   const NameTest& name_test, const GameFileTest& test,
                                   std::vector<std::string>& notes) {
  std::filesystem::path candidate = folder / PathFromUtf8(canonical_name);
  if (IsRegularFile(candidate) && test(candidate)) return candidate;

  std::filesystem::path best;
  std::uint64_t best_size = 0;
  for (const FolderEntry& entry : ListEntries(folder)) {
    auto status = EntryStatus(folder, entry);
    if (!status || status->directory) continue;
    std::filesystem::path path = folder / entry.name;
    if (!name_test(path) || !test(path)) continue;
    // ">=": of several files of the largest size the one listed last wins.
    if (status->size >= best_size) {
      best = std::move(path);
      best_size = status->size;
    }
  }
  if (!best.empty()) {
    notes.push_back(std::string(canonical_name) + " is named " + ToGenericUtf8(best.filename()) +
                    " in this release; installed as " + std::string(canonical_name));
  }
  return best;
}

// The title identifier embedded in a content identifier such as
// EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT; "" when it does not have that form.
std::string TitleIdFromContentId(const std::string& content) {
  if (content.size() < 16 || content[6] != '-') return {};
  for (size_t i = 7; i <= 10; ++i) {
    if (content[i] < 'A' || content[i] > 'Z') return {};
  }
  for (size_t i = 11; i <= 15; ++i) {
    if (content[i] < '0' || content[i] > '9') return {};
  }
  return content.substr(7, 9);
}

// The package files directly in `folder`, in listing order.
std::vector<std::filesystem::path> PackagesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> packages;
  for (const FolderEntry& entry : ListEntries(folder)) {
    auto status = EntryStatus(folder, entry);
    if (status && !status->directory && HasPackageMagic(folder / entry.name)) packages.push_back(folder / entry.name);
  }
  return packages;
}

// Appends the subfolders of `folder` to `next` while it holds fewer than the
// per-level limit.
void GatherSubfolders(const std::filesystem::path& folder, std::vector<std::filesystem::path>& next) {
  if (next.size() >= kGameSearchFoldersPerLevel) return;  // the level is full: no need to list
  for (const FolderEntry& entry : ListEntries(folder)) {
    if (next.size() >= kGameSearchFoldersPerLevel) return;
    auto status = EntryStatus(folder, entry);
    if (!status || !status->directory) continue;
    if (entry.name == L"sce_sys" || entry.name == L"sce_module") continue;
    next.push_back(folder / entry.name);
  }
}

}  // namespace

std::filesystem::path FindGameFileByExtension(const std::filesystem::path& folder, std::string_view canonical_name,
                                              std::string_view extension, const GameFileTest& test,
                                              std::vector<std::string>& notes) {
  return FindGameFile(
      folder, canonical_name, [extension](const std::filesystem::path& entry) { return HasFileExtension(extension, entry); },
      test, notes);
}

std::filesystem::path FindGameFileByNamePart(const std::filesystem::path& folder, std::string_view canonical_name,
                                             const GameFileTest& test, std::vector<std::string>& notes) {
  return FindGameFile(folder, canonical_name, IsPathIdListName, test, notes);
}

GameFiles LocateGameArchives(const std::filesystem::path& folder) {
  GameFiles files;
  files.chunk = FindGameFileByExtension(folder, GameArchiveNames[0], ".psarc", IsPsarcArchive, files.notes);
  files.texture = FindGameFileByExtension(folder, GameArchiveNames[1], ".qar", IsQarArchive, files.notes);
  files.path_id_list = FindGameFileByNamePart(folder, GameArchiveNames[2], IsPlausiblePathIdList, files.notes);
  return files;
}

std::optional<GameSource> IdentifyGameFolder(const std::filesystem::path& folder) {
  GameFiles files = LocateGameArchives(folder);
  if (files.chunk.empty() || files.texture.empty()) return std::nullopt;
  std::string title = ReadParamSfoValue(folder, "TITLE_ID");
  std::string content = ReadParamSfoValue(folder, "CONTENT_ID");
  if (title.empty()) {
    if (content.empty()) {
      // Some dumps keep the archives in a subfolder beside "sce_sys".
      std::filesystem::path parent = ParentFolder(folder);
      title = ReadParamSfoValue(parent, "TITLE_ID");
      content = ReadParamSfoValue(parent, "CONTENT_ID");
    }
    if (title.empty()) title = TitleIdFromContentId(content);
  }
  files.title_id = title;
  files.content_id = content;
  if (!IdentifyRelease(files)) {
    throw std::runtime_error("This folder holds another game (" +
                             (title.empty() ? std::string("no Q.V. levels in its path list") : title) + "), not Q.V.");
  }
  return GameSource{GameSourceKind::Folder, folder, std::move(files)};
}

GameSource ResolveGameSource(const std::filesystem::path& path) {
  if (path.empty()) throw std::runtime_error(kSelectGame);
  auto status = ReadItemStatus(path);
  if (!status) throw std::runtime_error(kSelectGame);

  if (!status->directory) {
    if (HasPackageMagic(path)) return PackageSource(path);
    // Picking any file inside a game folder selects that folder.
    if (auto source = IdentifyGameFolder(ParentFolder(path))) return *source;
    throw std::runtime_error(kNotAPackage);
  }

  std::vector<std::filesystem::path> level{path};
  for (int depth = 0; depth < kGameSearchLevels && !level.empty(); ++depth) {
    std::vector<std::filesystem::path> next;
    for (const std::filesystem::path& folder : level) {
      if (auto source = IdentifyGameFolder(folder)) return *source;
      if (depth + 1 < kGameSearchLevels) GatherSubfolders(folder, next);
    }
    level = std::move(next);
  }

  std::vector<std::filesystem::path> packages = PackagesIn(path);
  if (packages.size() == 1) return PackageSource(packages.front());
  if (packages.empty()) throw std::runtime_error(kNoGameData);
  throw std::runtime_error(kSeveralPackages);
}

}  // namespace qv::setup
