// How the setup judges a folder chosen as the destination, and which paths a
// test mode may write its result file to.

#include <exception>
#include <string>
#include <system_error>

#include "engine/records/existing-install.h"
#include "foundation/result-file.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/scenario/scenario-update-sections.h"

namespace qv::setup {

namespace fs = std::filesystem;

std::string CheckDestinationChoice(const fs::path& folder) {
  std::string tokens;
  // A folder holding something other than an installation is never taken.
  WriteFixtureFile(folder / L"other" / L"notes.txt", "x");
  tokens += RefusalFailure([&] { ReadExistingInstall(folder / L"other"); },
                           "This folder holds something else. Choose a new installation folder, or a folder with a "
                           "Q.V. install to update it.",
                           RefusalText::kWhole, " other-folder-accepted");

  // A missing folder and an empty one are fresh destinations.
  Expect(!ReadExistingInstall(folder / L"nothing").is_install, " new-folder", tokens);
  std::error_code ignored;  // a folder not made shows in the checks that use it
  fs::create_directories(folder / L"empty", ignored);
  try {
    Expect(!ReadExistingInstall(folder / L"empty").is_install, " empty-folder-as-install", tokens);
  } catch (...) {
    tokens += " empty-folder-refused";
  }
  return tokens;
}

std::string CheckResultFileGuard(const fs::path& folder) {
  std::string tokens;
  WriteFixtureFile(folder / L"result.txt", "PASS old");
  Expect(ResultFileAcceptable(folder / L"result.txt") && ResultFileAcceptable(folder / L"new-result.txt"),
         " result-refused", tokens);

  // Twice the largest result file (fixed here, so that a guard whose limit
  // grew fails), and a folder: neither may be replaced.
  WriteFixtureFile(folder / L"big.bin", std::string(131072, 'x'));
  Expect(!ResultFileAcceptable(folder / L"big.bin") && !ResultFileAcceptable(folder / L"empty"),
         " result-overwrites-user-file", tokens);
  return tokens;
}

}  // namespace qv::setup
