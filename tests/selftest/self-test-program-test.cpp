// "--self-test" through the built program, as a script runs it.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ReadTestFile;

// The whole run takes a while under Wine; its own bound is generous.
constexpr auto kSelfTestTimeout = std::chrono::minutes(5);

bool IsEmptyFolder(const fs::path& folder) { return fs::is_directory(folder) && fs::is_empty(folder); }

// The parent's environment with a fresh temporary folder of the test's own,
// and the built-in release address.
std::vector<std::string> SelfTestEnvironment(const fs::path& temp, const char* manifest_url = nullptr) {
  const std::string folder = qv::setup::WideToUtf8(temp.native());
  std::vector<std::string> environment = {"TMP=" + folder, "TEMP=" + folder};
  environment.push_back(manifest_url ? std::string("QV_UPDATE_MANIFEST_URL=") + manifest_url
                                     : std::string("QV_UPDATE_MANIFEST_URL"));
  return environment;
}

TEST(SelfTestProgram, PassesAndLeavesNothingBehind) {
  qv::test::TempFolder folder{L"qv-self-test"};
  const fs::path temp = folder / L"temp";
  const fs::path out = folder / L"out";
  fs::create_directory(temp);
  fs::create_directory(out);
  const fs::path result = out / L"result.txt";

  const auto started = std::chrono::steady_clock::now();
  auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--self-test", result.native()},
                                  SelfTestEnvironment(temp), kSelfTestTimeout);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("self_test_seconds", std::to_string(seconds));
  std::printf("a full --self-test run took %.1f s\n", seconds);

  EXPECT_EQ(run.exit_code, 0u) << run.output;
  EXPECT_EQ(ReadTestFile(result), "PASS path containment, input formats, update manifest and in-place update");
  EXPECT_TRUE(IsEmptyFolder(temp));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

TEST(SelfTestProgram, ReleaseAddressOfAnotherHostFails) {
  qv::test::TempFolder folder{L"qv-self-test"};
  const fs::path temp = folder / L"temp";
  fs::create_directory(temp);
  const fs::path result = folder / L"result.txt";

  auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--self-test", result.native()},
                                  SelfTestEnvironment(temp, "https://elsewhere.example/latest"), kSelfTestTimeout);
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  EXPECT_EQ(ReadTestFile(result), "Built without qv_version or with a placeholder manifest address");
  EXPECT_TRUE(IsEmptyFolder(temp));
}

// The run makes its folder where TMP and TEMP say: a temporary folder that
// does not exist ends it before anything is made.
TEST(SelfTestProgram, TakesItsFolderFromTheTemporaryFolderVariables) {
  qv::test::TempFolder folder{L"qv-self-test"};
  const fs::path result = folder / L"result.txt";
  auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--self-test", result.native()},
                                  SelfTestEnvironment(folder / L"missing"), kSelfTestTimeout);
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  EXPECT_NE(ReadTestFile(result).find("temp_directory_path"), std::string::npos) << ReadTestFile(result);
  EXPECT_FALSE(fs::exists(folder / L"missing"));
}

TEST(SelfTestProgram, OtherArgumentCountsAreNotTheSelfTest) {
  qv::test::TempFolder folder{L"qv-self-test"};
  const fs::path temp = folder / L"temp";
  fs::create_directory(temp);
  const std::wstring result = (folder / L"result.txt").native();
  for (const std::vector<std::wstring>& line :
       {std::vector<std::wstring>{L"--self-test"}, std::vector<std::wstring>{L"--self-test", L"x", result},
        std::vector<std::wstring>{L"--self-test", result, result}}) {
    auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), line, SelfTestEnvironment(temp));
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_FALSE(fs::exists(folder / L"result.txt"));
    EXPECT_TRUE(IsEmptyFolder(temp));
  }
}

}  // namespace
