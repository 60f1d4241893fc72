#include "foundation/payload/package-folders.h"

#include "foundation/win/known-folder.h"

namespace qv::setup {

std::vector<std::filesystem::path> DefaultPackageFolders() { return DefaultPackageFolders(KnownFolderPath); }

std::vector<std::filesystem::path> DefaultPackageFolders(const KnownFolderQuery& query) {
  std::vector<std::filesystem::path> folders;
  for (const KNOWNFOLDERID* id : {&FOLDERID_Downloads, &FOLDERID_Desktop, &FOLDERID_Documents}) {
    if (std::optional<std::filesystem::path> folder = query(*id)) folders.push_back(std::move(*folder));
  }
  return folders;
}

}  // namespace qv::setup
