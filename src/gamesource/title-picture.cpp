#include "gamesource/title-picture.h"

#include "gamesource/archive-tests.h"
#include "gamesource/item-status.h"
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
  std::optional<std::string> found;
  ListFolder(source, [&](const FolderEntry& entry) {
    auto entry_status = entry.Status();
    if (entry_status && entry_status->directory) found = ReadFolderPicture(entry.path, name);
    return !found;
  });
  return found;
}

std::vector<std::filesystem::path> FindDumpedGames(const std::vector<std::filesystem::path>& folders,
                                                   std::size_t limit) {
  std::vector<std::filesystem::path> result;
  std::size_t inspected = 0;
  for (const std::filesystem::path& folder : folders) {
    if (inspected >= limit) break;
    if (folder.empty() || !IsFolder(folder)) continue;
    ListFolder(folder, [&](const FolderEntry& entry) {
      if (inspected >= limit) return false;
      CheckGameSourceCandidate(result, entry.path);
      ++inspected;
      auto status = entry.Status();
      if (!status || !status->directory) return true;
      if (IsSymbolicLink(entry.path)) return true;
      // A folder that is itself one of this game's dumps is not searched further.
      if (IsListedTitle(ReadParamSfoValue(entry.path, "TITLE_ID"))) return true;
      ListFolder(entry.path, [&](const FolderEntry& inner) {
        if (inspected >= limit) return false;
        CheckGameSourceCandidate(result, inner.path);
        ++inspected;
        return true;
      });
      return true;
    });
  }
  return result;
}

}  // namespace qv::setup
