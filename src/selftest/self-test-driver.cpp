#include "selftest/self-test-driver.h"

#include <objbase.h>

#include <exception>
#include <stdexcept>

#include "foundation/logger.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/result-file.h"
#include "foundation/text/text.h"
#include "selftest/input-format-checks.h"
#include "selftest/refusal-check.h"
#include "selftest/release-checks.h"
#include "selftest/self-test-scenarios.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// A payload entry that climbs out of its folder must be refused for exactly
// that reason; the check runs before the root is even named.
void CheckPathContainment(const SelfTestSetup& setup) {
  const std::string failure =
      RefusalFailure([&] { setup.payload_path(fs::path(L"C:/test"), "../escape"); }, "Unsafe payload path.",
                     RefusalText::kWhole, "Traversal accepted");
  if (!failure.empty()) throw std::runtime_error(failure);
}

fs::path TestFolder(const fs::path& root, const SelfTestScenario& scenario) {
  return scenario.folder.empty() ? root : root / PathFromUtf8(scenario.folder);
}

// Every check and test, in order; returns only when all passed.
void RunAllChecks(const SelfTestSetup& setup) {
  CheckPathContainment(setup);

  const fs::path root = SelfTestRootPath(setup.parent_folder(), setup.new_guid);
  CreateSelfTestRoot(root);
  std::string tokens = setup.input_formats(root);
  RemoveSelfTestRoot(root);

  // Each test makes the folders it needs; the root itself is gone when the
  // first one starts.
  for (const SelfTestScenario& scenario : setup.scenarios) {
    const FileHasher hash = HashFile;
    tokens += scenario.run(TestFolder(root, scenario), hash);
  }
  RemoveSelfTestRoot(root);

  if (!tokens.empty()) throw std::runtime_error(kSelfTestFailedPrefix + tokens);
  CheckVersionOrder();
  CheckBuildIdentity();
  CheckReleaseParsing();
}

int ReportFailure(const fs::path& result, const SelfTestSetup& setup, std::string_view text) {
  Log(LogLevel::kError, "self-test: " + std::string(text));
  if (!WriteGuardedResultFile(result, text, setup.result_view)) {
    Log(LogLevel::kError, "self-test: the failure was not written to " + WideToUtf8(result.native()));
  }
  return 1;
}

}  // namespace

SelfTestScenario ScenarioRow(std::string folder, PlainSelfTest test) {
  return {std::move(folder), [test](const fs::path& path, const FileHasher&) { return test(path); }};
}

SelfTestScenario ScenarioRow(std::string folder, HashingSelfTest test) {
  return {std::move(folder), [test](const fs::path& path, const FileHasher& hash) { return test(path, hash); }};
}

SelfTestSetup BuiltInSelfTest() {
  SelfTestSetup setup;
  setup.scenarios = BuiltInSelfTestScenarios();
  setup.parent_folder = [] { return fs::temp_directory_path(); };
  setup.new_guid = [](GUID& guid) { return ::CoCreateGuid(&guid); };
  setup.result_view = SystemView();
  setup.payload_path = SafePayloadPath;
  setup.input_formats = SelfTestInputFormats;
  return setup;
}

int RunSelfTest(const fs::path& result, const SelfTestSetup& setup) {
  try {
    RunAllChecks(setup);
  } catch (const std::exception& error) {
    return ReportFailure(result, setup, error.what());
  } catch (...) {
    // Types outside std::exception (the commit's simulated crash, anything a
    // test lets through) must still end with a result, never an abort.
    return ReportFailure(result, setup, kSelfTestUnknownFailure);
  }
  if (!WriteRegularResultFile(result, kSelfTestPassLine, setup.result_view)) {
    Log(LogLevel::kError, "self-test: passed, but the pass line could not be written to " +
                              WideToUtf8(result.native()));
    return 1;
  }
  return 0;
}

}  // namespace qv::setup
