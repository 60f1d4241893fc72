#include "engine/transaction/staging-pictures.h"

#include <optional>
#include <system_error>

#include "engine/transaction/destination-checks.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/whole-file.h"
#include "foundation/text/text.h"
#include "gamesource/title-picture.h"

namespace qv::setup {
namespace {

// The folder in the form IsOutsideFolderCanonical compares with; the folder as
// given when the system cannot resolve it.
std::filesystem::path CanonicalFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::path canonical = WeaklyCanonicalPath(folder, error);
  return error ? folder : canonical;
}

// The folders no source may lie in, in the form IsOutsideFolderCanonical
// compares with: the installation, and this run's staging folder (whose files
// vanish with it).
struct ExcludedFolders {
  std::filesystem::path destination;
  std::filesystem::path staging;
};

ExcludedFolders FoldersToExclude(const TransactionState& state) {
  return {CanonicalFolder(state.destination), CanonicalFolder(state.staging)};
}

// Whether an existing path lies outside both folders.
bool LiesOutside(const ExcludedFolders& excluded, const std::filesystem::path& candidate) {
  return IsOutsideFolderCanonical(excluded.destination, candidate) &&
         IsOutsideFolderCanonical(excluded.staging, candidate);
}

// The text a record stores for a path: absolute, '/' separators.
std::string RecordedPath(const std::filesystem::path& path) {
  return ToGenericUtf8Lenient(NormalAbsolutePath(path));
}

// The old manifest's source as a path; nothing when it is empty or not UTF-8.
std::optional<std::filesystem::path> RecordedSource(const ExistingInstall& existing) {
  if (!existing.is_install || existing.source.empty()) return std::nullopt;
  try {
    return PathFromUtf8(existing.source);
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

// Writes a staged picture and lists it for the commit when the write succeeded.
void StagePicture(TransactionState& state, const std::string& relative, const std::string& bytes) {
  if (WriteWholeFile(state.staging / PathFromUtf8(relative), bytes)) state.staged_extras.push_back(relative);
}

}  // namespace

SourceRecord FindSourceRecord(const TransactionState& state, const std::filesystem::path& source) {
  SourceRecord record;
  const ExcludedFolders excluded = FoldersToExclude(state);
  if (state.game_source) record.candidates.push_back(state.game_source->path);
  if (!source.empty() && LiesOutside(excluded, source)) {
    record.candidates.push_back(source);
  }
  const std::optional<std::filesystem::path> recorded = RecordedSource(state.existing);
  if (recorded && LiesOutside(excluded, *recorded)) {
    record.candidates.push_back(*recorded);
  }
  if (!record.candidates.empty()) {
    record.text = RecordedPath(record.candidates.front());
  } else if (state.existing.is_install) {
    record.text = state.existing.source;
  }
  return record;
}

void StageTitlePicture(TransactionState& state, InstallOutcome& outcome, SourceRecord& record,
                       const InstallHooks& hooks) {
  if (hooks.portable_copy) return;
  const std::filesystem::path title_folder = PathFromUtf8(state.title_folder_name);
  const std::filesystem::path installed = state.destination / title_folder / L"sce_sys" / L"pic1.png";
  if (IsRegularFile(installed) && !IsLinkOrJunction(installed)) return;

  std::optional<std::string> picture;
  for (const std::filesystem::path& candidate : record.candidates) {
    if ((picture = ReadSourcePicture(candidate, "pic1.png"))) break;
  }
  if (!picture) {
    const ExcludedFolders excluded = FoldersToExclude(state);
    std::vector<std::filesystem::path> folders{state.parent};
    if (hooks.picture_search_folders) {
      for (std::filesystem::path& folder : hooks.picture_search_folders()) folders.push_back(std::move(folder));
    }
    for (const std::filesystem::path& game : FindDumpedGames(folders)) {
      if (!LiesOutside(excluded, game)) continue;
      if ((picture = ReadSourcePicture(game, "pic1.png"))) {
        if (record.text.empty()) record.text = RecordedPath(game);
        break;
      }
    }
  }
  if (!picture) {
    outcome.title_picture_missing = true;
    return;
  }
  try {
    CreateFolders(state.staging / title_folder / L"sce_sys");
  } catch (const std::filesystem::filesystem_error&) {
    // The write below fails too and leaves the picture out.
  }
  StagePicture(state, state.title_folder_name + "/sce_sys/pic1.png", *picture);
  outcome.title_picture_missing = false;
}

void StageShortcutIcon(TransactionState& state, const SourceRecord& record) {
  if (record.candidates.empty()) return;
  if (std::optional<std::string> icon = ReadSourcePicture(record.candidates.front(), "icon0.png")) {
    StagePicture(state, "icon0.png", *icon);
  }
}

}  // namespace qv::setup
