// The payload's upscaler runtimes, and the question asked before installing
// the version an installation already has.

#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "foundation/payload/payload-checks.h"
#include "selftest/fixtures/update-test-trees.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/scenario/scenario-update-sections.h"
#include "setup/window/existing-install-question.h"

namespace qv::setup {

namespace fs = std::filesystem;

std::string CheckUpscalerRuntimes() {
  const std::vector<std::string> required = {"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll"};
  std::string tokens;
  try {
    CheckPayloadRuntimeFiles({{"amd_fidelityfx_vk.dll", ""}, {"nvngx_dlss.dll", ""}, {"libxess.dll", ""}}, required);
  } catch (...) {
    tokens += " complete-upscalers-rejected";
  }
  tokens += RefusalFailure(
      [&] { CheckPayloadRuntimeFiles({{"amd_fidelityfx_vk.dll", ""}, {"libxess.dll", ""}}, required); },
      "The installer payload is missing required runtime file nvngx_dlss.dll.", RefusalText::kWhole,
      " missing-upscaler-accepted");
  return tokens;
}

std::string CheckSameVersionQuestion(const fs::path& folder) {
  const ExistingInstall updated = ReadExistingInstall(folder / L"with" / L"QV");
  const std::string question = ExistingInstallQuestion(updated, kNewReleaseVersion);
  std::string tokens;
  Expect(question.find("up to date") != std::string::npos, " same-version-question", tokens);
  return tokens;
}

}  // namespace qv::setup
