#include "selftest/scenario/file-test-run.h"

#include "engine/transaction/install-transaction.h"
#include "selftest/fixtures/test-install-hooks.h"
#include "selftest/fixtures/test-payload.h"

namespace qv::setup {

FixtureFiles FileTestRelease() {
  // "Fonts/Case.ttf" differs from the installed "fonts/Case.ttf" only in
  // letter case; "reshade-shaders/x.fx" is a file the DLSS 5 tool owns there.
  return {{"qv.exe", "new exe"},
          {"shaders/same.spv", "same shader"},
          {"shaders/changed.spv", "changed shader, new"},
          {"voice/models/new.bin", "a new voice model"},
          {"Fonts/Case.ttf", "a font"},
          {"reshade-shaders/x.fx", "the package's copy of a file the unlock owns"},
          {"qv-files.json", "{\"format\": 1, \"files\": []}\n"}};
}

FileTest PrepareFileTest(const std::filesystem::path& folder, const FileHasher& hash) {
  FileTest test{folder, hash, FileTestRelease(), {}};
  test.payload = BuildTestPayload(folder / L"payload-scratch", test.release, hash);
  return test;
}

InstallHooks FileTestHooks(const FileTest& test, const std::string& run_id) {
  return MakeFileTestHooks(test.payload, test.hash, run_id);
}

InstallOutcome RunFileUpdate(const std::filesystem::path& destination, const InstallHooks& hooks,
                             const std::filesystem::path& source) {
  InstallOutcome outcome;
  RunInstallTransaction(outcome, source, destination, false, hooks);
  return outcome;
}

}  // namespace qv::setup
