#include "gamesource/title-picture.h"

#include "foundation/files/item-status.h"
#include "gamesource/archive-tests.h"
#include "gamesource/known-titles.h"
#include "gamesource/param-sfo.h"
#include "gamesource/pkg-reader.h"

namespace qv::setup {

std::optional<std::string> ReadSourcePicture(const std::filesystem::path& source, std::string_view name) {
  if (source.empty()) return std::nullopt;
  auto status = ReadItemStatus(source);
  if (!status) return std::nullopt;
  if (!status->directory) {
    if (HasPackageMagic(source)) {
      if (auto picture = ReadPkgPicture(source, name)) return picture;
    }
    // A file picked inside a dumped game folder finds that folder's picture.
    return ReadFolderPicture(ParentFolder(source), name);
  }
  if (auto picture = ReadFolderPicture(source, name)) return picture;
  for (const FolderEntry& entry : ListEntries(source)) {
    auto entry_status = EntryStatus(source, entry);
    if (!entry_status || !entry_status->directory) continue;
    if (auto picture = ReadFolderPicture(source / entry.name, name)) return picture;
  }
  return std::nullopt;
}

std::vector<std::filesystem::path> FindDumpedGames(const std::vector<std::filesystem::path>& folders,
                                                   std::size_t limit, const FileSystemView& view) {
  std::vector<std::filesystem::path> result;
  std::size_t inspected = 0;
  for (const std::filesystem::path& folder : folders) {
    if (inspected >= limit) break;
    if (folder.empty() || !IsFolder(folder)) continue;
    for (const FolderEntry& entry : ListEntries(folder, view)) {
      if (inspected >= limit) break;
      const std::filesystem::path path = folder / entry.name;
      CheckGameSourceCandidate(result, path, view);
      ++inspected;
      auto status = EntryStatus(folder, entry);
      if (!status || !status->directory || entry.info.IsSymbolicLink()) continue;
      // A folder that is itself one of this game's dumps is not searched further.
      if (IsListedTitle(ReadParamSfoValue(path, "TITLE_ID"))) continue;
      for (const FolderEntry& inner : ListEntries(path, view)) {
        if (inspected >= limit) break;
        CheckGameSourceCandidate(result, path / inner.name, view);
        ++inspected;
      }
    }
  }
  return result;
}

}  // namespace qv::setup
