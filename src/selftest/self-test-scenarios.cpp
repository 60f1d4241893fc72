#include "selftest/self-test-scenarios.h"

#include "selftest/scenario/scenario-fg-unlock.h"
#include "selftest/scenario/scenario-file-update.h"
#include "selftest/scenario/scenario-journal.h"
#include "selftest/scenario/scenario-portable.h"
#include "selftest/scenario/scenario-title-picture.h"
#include "selftest/scenario/scenario-unicode-paths.h"
#include "selftest/scenario/scenario-uninstall.h"
#include "selftest/scenario/scenario-update.h"

namespace qv::setup {

// One row per test, in run order: ScenarioRow(tag folder, test), where the
// test takes its folder (and, when it hashes files, the file-hash hook) and
// returns its failure tokens. An empty folder name hands the test the root.
std::vector<SelfTestScenario> BuiltInSelfTestScenarios() {
  std::vector<SelfTestScenario> scenarios;
  scenarios.push_back(ScenarioRow("update", SelfTestUpdate));
  scenarios.push_back(ScenarioRow("title-picture", SelfTestTitlePictureUpdate));
  scenarios.push_back(ScenarioRow("journal", SelfTestJournalRecovery));
  scenarios.push_back(ScenarioRow("files", SelfTestFileUpdate));
  scenarios.push_back(ScenarioRow("portable", SelfTestPortableUpdate));
  scenarios.push_back(ScenarioRow("fg-unlock", SelfTestFgUnlock));
  scenarios.push_back(ScenarioRow("", SelfTestUnicodePaths));
  scenarios.push_back(ScenarioRow("uninstall", SelfTestUninstall));
  return scenarios;
}

}  // namespace qv::setup
