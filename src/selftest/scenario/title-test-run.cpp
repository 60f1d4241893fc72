#include "selftest/scenario/title-test-run.h"

#include "engine/transaction/install-transaction.h"
#include "foundation/text/hex-text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-install-hooks.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-payload.h"

namespace qv::setup {

TitleTest PrepareTitleTest(const std::filesystem::path& folder, const FileHasher& hash) {
  const FixtureFiles release = {{"qv.exe", "new exe"}, {"shaders/new.spv", "new shader"}};
  return {folder, hash, BuildTestPayload(folder / L"payload-scratch", release, hash)};
}

const std::string& TitlePictureBytes() {
  // A 1x1 PNG: small, but a picture by every check the engine makes.
  static const std::string picture = *HexDecode(
      "89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c49444154789c63f8cfc000000003"
      "010100c9fe92ef0000000049454e44ae4260",
      69);
  return picture;
}

void WriteDumpTitleFiles(const std::filesystem::path& dump, const std::string& picture, const std::string& title_id,
                         const std::string& content_id) {
  WriteFixtureFile(dump / L"sce_sys" / L"pic1.png", picture);
  WriteFixtureFile(dump / L"sce_sys" / L"param.sfo", BuildTestParamSfo(title_id, content_id));
}

std::filesystem::path InstalledTitlePicture(const std::filesystem::path& installation,
                                            const std::wstring& title_folder) {
  return installation / title_folder / L"sce_sys" / L"pic1.png";
}

InstallOutcome RunTitleUpdate(const TitleTest& test, const std::filesystem::path& source,
                              const std::filesystem::path& destination, const std::string& run_id) {
  // The hooks hold the payload by reference; both outlive the run.
  const InstallHooks hooks = MakeTitleTestHooks(test.payload, test.hash, run_id);
  InstallOutcome outcome;
  RunInstallTransaction(outcome, source, destination, false, hooks);
  return outcome;
}

}  // namespace qv::setup
