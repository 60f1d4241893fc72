#include "selftest/scenario/scenario-update.h"

#include "selftest/scenario/scenario-update-sections.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {

UpdateTestFolders UpdateTestFoldersIn(const std::filesystem::path& case_folder) {
  return {case_folder / L"QV", case_folder / L".qv-update-t", case_folder / L".qv-update-old-t"};
}

std::string SelfTestUpdate(const std::filesystem::path& folder) {
  // The game's texture archive in every older installation the test writes.
  const std::string texture_archive = SelfTestTextureArchive();
  std::string tokens;
  tokens += CheckInPlaceUpdates(folder, texture_archive);
  tokens += CheckCommitRollbacks(folder, texture_archive);
  tokens += CheckDestinationChoice(folder);
  tokens += CheckResultFileGuard(folder);
  tokens += CheckReservedPlayerData(folder, texture_archive);
  tokens += CheckWriteProbe(folder);
  tokens += CheckCustomDataFolder(folder);
  tokens += CheckUpscalerRuntimes();
  // Last: it reads the installation the in-place update left behind.
  tokens += CheckSameVersionQuestion(folder);
  return tokens;
}

}  // namespace qv::setup
