#include "selftest/journal-fixtures.h"

#include "engine/install-manifest.h"
#include "engine/update-journal.h"
#include "selftest/fixture-files.h"

namespace qv::setup {

std::vector<InstalledFile> BuildJournalTestInstall(const std::filesystem::path& install_folder,
                                                   const std::filesystem::path& new_tree_folder) {
  WriteFixtureFile(install_folder / L"qv.exe", "old exe");
  WriteFixtureFile(install_folder / L"shaders" / L"a.spv", "old a");
  WriteFixtureFile(install_folder / L"shaders" / L"gone.spv", "old gone");
  WriteFixtureFile(install_folder / L"data" / L"qv.ini", "settings");
  const std::string zero_digest(64, '0');
  WriteInstallManifest(install_folder, "1.0.3",
                       {{"qv.exe", zero_digest}, {"shaders/a.spv", zero_digest}, {"shaders/gone.spv", zero_digest}},
                       "");

  WriteFixtureFile(new_tree_folder / L"qv.exe", "new exe");
  WriteFixtureFile(new_tree_folder / L"shaders" / L"a.spv", "new a");
  WriteFixtureFile(new_tree_folder / L"shaders" / L"b.spv", "new b");
  WriteInstallManifest(new_tree_folder, "9.9.9", {}, "");
  return {{"qv.exe", ""}, {"shaders/a.spv", ""}, {"shaders/b.spv", ""}};
}

bool JournalTextAccepted(const std::filesystem::path& install_folder, const std::string& text) {
  WriteFixtureFile(UpdateJournalPath(install_folder), text);
  return ReadUpdateJournal(UpdateJournalPath(install_folder)).has_value();
}

}  // namespace qv::setup
