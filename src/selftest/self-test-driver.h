#pragma once
// The built-in acceptance run behind "--self-test <result>": a path-containment
// check, the input-format checks, the scenario tests in a fixed order, then
// the checks of version order, build identity and release documents. It ends
// with one text in the result file: the pass line, or the first failure.
//
// Every test returns a string of failure tokens (" tag", some with more behind
// the tag), empty for a pass; the driver joins them in run order. Any tokens
// fail the run with "Self test failed:" and the joined tokens. An exception a
// test does not catch itself ends the run with its text.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-system-view.h"
#include "selftest/self-test-root.h"

namespace qv::setup {

inline constexpr const char* kSelfTestPassLine =
    "PASS path containment, input formats, update manifest and in-place update";
inline constexpr const char* kSelfTestFailedPrefix = "Self test failed:";
// The failure text of an exception that carries no text of its own.
inline constexpr const char* kSelfTestUnknownFailure = "Self test failed: an error of an unknown kind ended the run.";

// One scenario test as the driver runs it: its test folder and the file-hash
// hook (a std::function holding HashFile, made for the call and destroyed
// after it). Returns the test's failure tokens.
using SelfTestRun = std::function<std::string(const std::filesystem::path& folder, const FileHasher& hash)>;

struct SelfTestScenario {
  // The test's folder under the root, named by its tag ("update"); empty: the
  // root itself. The driver only forms the path; the test makes the folders.
  std::string folder;
  SelfTestRun run;
};

// A row of the scenario table from a test of either form.
using PlainSelfTest = std::string (*)(const std::filesystem::path& folder);
using HashingSelfTest = std::string (*)(const std::filesystem::path& folder, const FileHasher& hash);
SelfTestScenario ScenarioRow(std::string folder, PlainSelfTest test);
SelfTestScenario ScenarioRow(std::string folder, HashingSelfTest test);

// What the run depends on, so that tests can run the driver with stand-ins.
struct SelfTestSetup {
  std::vector<SelfTestScenario> scenarios;  // in run order
  std::function<std::filesystem::path()> parent_folder;  // the folder the root is made in
  GuidSource new_guid;                       // names the root
  FileSystemView result_view;                // how the result file's kind is read
  // The payload path check that must refuse "../escape" (SafePayloadPath).
  std::function<std::filesystem::path(const std::filesystem::path& root, const std::string& name)> payload_path;
  // The input-format checks, given the root (SelfTestInputFormats).
  std::function<std::string(const std::filesystem::path& root)> input_formats;
};

// The program's own run: the built-in scenario table, the user's temporary
// folder, CoCreateGuid, the system's view, SafePayloadPath and the input-format
// checks.
SelfTestSetup BuiltInSelfTest();

// Runs everything on the calling thread and returns the exit code: 0 once the
// pass line is in the result file; 1 for a failed run (its text goes to the
// result file only when ResultFileAcceptable allows it) and for a pass line
// that could not be written. Never raises.
int RunSelfTest(const std::filesystem::path& result, const SelfTestSetup& setup);

}  // namespace qv::setup
