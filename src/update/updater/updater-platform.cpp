#include <windows.h>

#include "engine/transaction/destination-checks.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/payload/package-folders.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/guid-text.h"
#include "foundation/win/process-helpers.h"
#include "update/update-test-mode.h"
#include "update/updater/updater-work.h"

namespace qv::setup::win_updater {

GameUpdatePlatform UpdaterPlatform(State& state, PackageView& package) {
  GameUpdatePlatform platform;
  // Braced: the download folder is named ".qv-update-dl-{...}".
  platform.run_id = NewGuidText();
  platform.process_id = ::GetCurrentProcessId();
  platform.check_destination = [](const std::filesystem::path& folder) { CheckDestinationHasNoLinks(folder); };
  platform.hash_file = HashFile;
  platform.hash_setup_file = HashSetupFile;
  platform.open_package = [&package](const std::filesystem::path& setup) { return OpenPackageView(package, setup); };
  platform.close_package = [&package] {
    // The module maps the file: it goes first.
    package.module.reset();
    package.file.reset();
  };
  platform.check_payload = [](const std::vector<InstalledFile>& files) { ValidatePayloadFiles(files); };
  platform.package_folders = [] { return DefaultPackageFolders(); };
  platform.on_phase = [&state](UpdatePhase phase) { PostPhase(state, phase); };
  // The window's downloading and installing lines name the version.
  platform.on_release = [&state](const std::string& version) { state.SetVersion(version); };
  if (qv::update::IsUpdateTestMode()) {
    platform.fail_at_step = qv::update::TestSwitchStep(L"QV_UPDATE_TEST_FAIL_AT", platform.fail_at_step);
  }
  return platform;
}

}  // namespace qv::setup::win_updater
