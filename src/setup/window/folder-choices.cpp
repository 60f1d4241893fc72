#include "setup/window/folder-choices.h"

#include <exception>
#include <string>
#include <system_error>

#include "engine/records/existing-install.h"
#include "foundation/files/folder-tests.h"
#include "foundation/text/text.h"
#include "gamesource/title-folders.h"
#include "setup/product-names.h"

namespace qv::setup {
namespace {

// A folder that cannot be read counts as no installation: the picker then
// takes it as a plain folder, and Install reports what is wrong with it.
bool HoldsInstallation(const std::filesystem::path& folder) {
  try {
    return ReadExistingInstall(folder).is_install;
  } catch (const std::exception&) {
    return false;
  }
}

std::string TitleFolderName(const std::filesystem::path& installation) {
  std::string name;
  try {
    name = FindTitleFolder(installation);
  } catch (const std::exception&) {
    name.clear();
  }
  return name.empty() ? std::string("CUSA09901") : name;
}

}  // namespace

std::filesystem::path InstallFolderForLocation(const std::filesystem::path& chosen) {
  if (HoldsInstallation(chosen)) return chosen;
  return chosen / std::wstring(kDisplayName);
}

DumpFolderChoice ChooseDumpFolder(const std::filesystem::path& chosen) {
  if (HoldsInstallation(chosen)) {
    const std::filesystem::path title = chosen / Utf8ToWide(TitleFolderName(chosen));
    std::error_code error;
    if (IsRealDirectory(title, error)) return DumpFolderChoice{title, chosen};
  }
  return DumpFolderChoice{chosen, std::nullopt};
}

}  // namespace qv::setup
