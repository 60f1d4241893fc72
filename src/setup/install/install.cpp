#include "setup/install/install.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/installation-guard.h"
#include "engine/records/existing-install.h"
#include "engine/transaction/destination-checks.h"
#include "engine/transaction/install-transaction.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/paths.h"
#include "foundation/payload/package-folders.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/guid-text.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "setup/desktop-shortcut.h"
#include "setup/install/own-payload.h"
#include "setup/install/package-extraction.h"
#include "setup/install/verify-setup.h"
#include "setup/uninstall-entry.h"
#include "update/build-identity.h"
#include "update/update-test-mode.h"

namespace qv::setup {
namespace {

// The game cannot start from a path of this many characters or more.
constexpr std::size_t kMaxGamePathLength = 250;

// A new GUID as 36 upper-case hexadecimal digits and hyphens (no braces).
std::string NewRunId() { return NewGuidText().substr(1, 36); }

// A folder typed without its drive or share would be taken from the setup's
// current folder, which the user neither sees nor chose.
void RequireFullPath(const std::filesystem::path& destination) {
  if (destination.is_absolute()) return;
  throw std::runtime_error(
      "Choose the installation folder by its full path, starting with a drive letter or a network share (for "
      "example C:\\Games\\Q.V. DU Vora).");
}

// Windows takes a device name for the device wherever it stands in a path:
// "C:\Games\CON" becomes "\\.\CON", and the failure would name that, not the
// folder the user typed.
void RefuseDeviceNames(const std::filesystem::path& destination) {
  for (const std::filesystem::path& element : destination.relative_path()) {
    if (!IsDeviceName(element.native())) continue;
    throw std::runtime_error("Could not create the folder " + NativePathToUtf8(destination) +
                             ": Windows keeps the name \"" + NativePathToUtf8(element) + "\" for a device.");
  }
}

void CheckGamePathLength(const std::filesystem::path& destination) {
  const std::filesystem::path game = NormalAbsolutePath(destination) / std::wstring(kGameExecutableName);
  if (game.native().size() >= kMaxGamePathLength) {
    throw std::runtime_error(
        "This installation folder's path is too long: the game cannot start when its path has 250 characters or "
        "more. Choose a folder with a shorter path.");
  }
}

}  // namespace

void CheckDestinationAsTyped(const std::filesystem::path& destination) {
  if (destination.empty()) return;  // the engine refuses it with its own sentence
  RequireFullPath(destination);
  RefuseDeviceNames(destination);
  CheckGamePathLength(destination);
}

InstallHooks SetupInstallHooks() {
  InstallHooks hooks;
  hooks.new_version = std::string(qv::update::CurrentVersion());
  hooks.run_id = NewRunId();
  hooks.validate_destination = [](const std::filesystem::path& folder) { CheckDestinationHasNoLinks(folder); };
  hooks.verify_setup = VerifySetupIntegrity;
  hooks.payload_size = [] { return OwnPayloadTotalSize(); };
  hooks.extract_payload = ExtractOwnPayload;
  hooks.check_payload = [](const std::vector<InstalledFile>& files) { ValidatePayloadFiles(files); };
  hooks.extract_package = ExtractPkg;
  hooks.create_shortcut = CreateDesktopShortcut;
  hooks.keep_journal = false;
  hooks.process_id = 0;
  hooks.picture_search_folders = [] { return DefaultPackageFolders(); };
  hooks.payload_entries = [] { return ReadOwnPayloadIndex(); };
  hooks.extract_entries = [](const std::filesystem::path& folder, const std::vector<PayloadEntry>& entries) {
    return ExtractOwnPayloadEntries(folder, entries);
  };
  hooks.hash_file = HashFile;
  if (qv::update::IsUpdateTestMode()) {
    hooks.fail_at_step = qv::update::TestSwitchStep(L"QV_UPDATE_TEST_FAIL_AT", hooks.fail_at_step);
    hooks.pause_at_step = qv::update::TestSwitchStep(L"QV_UPDATE_TEST_PAUSE_AT", hooks.pause_at_step);
    hooks.corrupt_after_commit = qv::update::TestSwitchText(L"QV_UPDATE_TEST_CORRUPT");
  }
  return hooks;
}

InstallOutcome Install(const std::filesystem::path& source, const std::filesystem::path& destination,
                       bool create_shortcut, bool register_uninstall, const TransactionQueries& queries) {
  CheckDestinationAsTyped(destination);
  const InstallHooks hooks = SetupInstallHooks();
  // No other install, update or uninstall of this folder while this one runs.
  std::optional<InstallationGuard> guard;
  if (!destination.empty()) guard = GuardInstallation(destination, hooks.run_id);
  InstallOutcome outcome;
  RunInstallTransaction(outcome, source, destination, create_shortcut, hooks, queries);
  if (register_uninstall) WriteUninstallEntry(destination);
  return outcome;
}

}  // namespace qv::setup
