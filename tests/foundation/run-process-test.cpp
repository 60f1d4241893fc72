#include "foundation/win/run-process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "foundation/win/elevation.h"
#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RunProcess;
using qv::setup::RunProcessResult;
using Clock = std::chrono::steady_clock;

fs::path Probe() { return qv::test::TestBinaryFolder() / L"process-probe.exe"; }

// "key=value" lines of the probe's report; repeated keys keep their order.
std::multimap<std::string, std::string> ParseReport(const std::string& text) {
  std::multimap<std::string, std::string> report;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto equals = line.find('=');
    if (equals != std::string::npos) report.emplace(line.substr(0, equals), line.substr(equals + 1));
  }
  return report;
}

std::vector<std::string> ReportedArguments(const std::multimap<std::string, std::string>& report) {
  std::vector<std::string> args;
  auto [begin, end] = report.equal_range("arg");
  for (auto it = begin; it != end; ++it) {
    args.push_back(qv::setup::HexDecode(it->second, it->second.size() / 2).value_or("<bad hex>"));
  }
  return args;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string CurrentFolderUtf8() {
  wchar_t folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, folder);
  return qv::setup::WideToUtf8(folder);
}

class RunProcessTest : public ::testing::Test {
 protected:
  // Under Wine the child's console host keeps the log open for some
  // milliseconds after the child has ended; RunProcess waits for it, but each
  // run here gets a log of its own so that no test waits.
  RunProcessResult Run(const std::vector<std::string>& args, const fs::path& working_folder = {},
                       std::int64_t limit_ms = 30000, const fs::path& program = Probe()) {
    log = temp / (L"child-" + std::to_wstring(++runs) + L".log");
    return RunProcess(program, args, working_folder, log, cancel, limit_ms);
  }
  std::string Log() { return qv::test::ReadTestFile(log); }

  qv::test::TempFolder temp{L"qv-run"};
  fs::path log;
  int runs = 0;
  std::atomic<bool> cancel{false};
};

TEST_F(RunProcessTest, BothStreamsLandInTheNewLogFile) {
  qv::test::WriteTestFile(temp / L"child-1.log", std::string(5000, 'o') + "\nold content of an earlier run\n");
  RunProcessResult result = Run({"streams"});
  ASSERT_EQ(log, temp / L"child-1.log");
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.timed_out);
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_EQ(Log(), "to standard output\nto standard error\n");
}

// The child gets its standard handles and nothing else of the caller's,
// however many inheritable handles the caller holds (another thread's log,
// an elevated updater's files).
TEST_F(RunProcessTest, ChildInheritsOnlyItsStandardHandles) {
  const fs::path secret = temp / L"secret.txt";
  qv::test::WriteTestFile(secret, "the caller's own file");
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  qv::setup::UniqueFile held(::CreateFileW(secret.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable, OPEN_EXISTING,
                                           0, nullptr));
  ASSERT_TRUE(held);
  const auto value = reinterpret_cast<std::uintptr_t>(held.get());
  EXPECT_TRUE(Run({"read-handle", std::to_string(value)}).started);
  EXPECT_EQ(Log(), "read=error\n");
}

TEST_F(RunProcessTest, ReturnsTheChildsExitCode) {
  for (std::uint32_t code : {0u, 7u, 0xDEADBEEFu}) {
    RunProcessResult result = Run({"exit", std::to_string(code)});
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timed_out || result.cancelled);
    EXPECT_EQ(result.exit_code, code);
  }
}

// Arguments arrive exactly as given; the child runs hidden at below-normal
// priority in the given folder with the null device as its input.
TEST_F(RunProcessTest, ChildSeesItsArgumentsFolderAndSettings) {
  const std::vector<std::string> args = {
      "", "plain", "with blank", "tab\there", "quote\"inside", "\"", "trailing\\", "C:\\Program Files\\Q V\\",
      "a\\\\\"b", "caf\xC3\xA9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0", "\xF0\x9F\x92\xBE", "-", "--"};
  std::vector<std::string> command = {"report"};
  command.insert(command.end(), args.begin(), args.end());
  const fs::path folder = temp / L"work \u00e9";
  ASSERT_TRUE(fs::create_directory(folder));

  RunProcessResult result = Run(command, folder);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exit_code, 0u);
  auto report = ParseReport(Log());
  EXPECT_EQ(ReportedArguments(report), args);
  ASSERT_EQ(report.count("cwd"), 1u) << Log();
  EXPECT_EQ(Lower(report.find("cwd")->second), Lower(qv::setup::NativePathToUtf8(folder)));
  ASSERT_EQ(report.count("exe"), 1u) << Log();
  EXPECT_EQ(Lower(report.find("exe")->second), Lower(qv::setup::NativePathToUtf8(Probe())));
  EXPECT_EQ(report.find("console-window")->second, "no");
  if (!qv::setup::IsRunningUnderWine()) {  // Wine reports every process at normal priority
    EXPECT_EQ(report.find("priority")->second, std::to_string(BELOW_NORMAL_PRIORITY_CLASS));
  }
  EXPECT_EQ(report.find("stdin")->second, "0");
}

TEST_F(RunProcessTest, WorkingFolderIsUsedUpTo257Characters) {
  const std::string caller_folder = Lower(CurrentFolderUtf8());
  auto folder_of_length = [&](std::size_t length) {
    std::wstring text = (temp / L"missing-").native();
    text.append(length - text.size(), L'x');
    return fs::path(text);
  };
  // Not used: the child starts in the caller's folder although this one does not exist.
  for (const fs::path& ignored : {fs::path(), folder_of_length(258), folder_of_length(300)}) {
    RunProcessResult result = Run({"report"}, ignored);
    ASSERT_TRUE(result.started) << ignored.native().size();
    auto report = ParseReport(Log());
    ASSERT_EQ(report.count("cwd"), 1u) << Log();
    EXPECT_EQ(Lower(report.find("cwd")->second), caller_folder);
  }
  // Used: a missing folder of 257 characters makes process creation fail.
  for (const fs::path& used : {folder_of_length(257), temp / L"missing"}) {
    RunProcessResult result = Run({"report"}, used);
    EXPECT_FALSE(result.started) << used.native().size();
    EXPECT_EQ(result.exit_code, qv::setup::kNotStartedExitCode);
  }
}

TEST_F(RunProcessTest, TimeLimitEndsTheChild) {
  const auto start = Clock::now();
  RunProcessResult result = Run({"sleep", "20000"}, {}, 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.timed_out);
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(result.exit_code, 1u);

  // A child that ends in time keeps its own exit code, also with a limit too
  // large to add to the clock.
  result = Run({"exit", "3"}, {}, INT64_MAX);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 3u);
}

TEST_F(RunProcessTest, CancelEndsTheChild) {
  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  const auto start = Clock::now();
  RunProcessResult result = Run({"sleep", "20000"}, {}, 60000);
  const auto elapsed = Clock::now() - start;
  canceller.join();
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.cancelled);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 1u);

  // Cancelled and past the time limit at once: the cancel counts.
  result = Run({"sleep", "20000"}, {}, 0);
  EXPECT_TRUE(result.cancelled);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 1u);
}

TEST_F(RunProcessTest, MissingProgramLeavesAnEmptyLog) {
  RunProcessResult result = Run({"report"}, {}, 30000, temp / L"no-such-program.exe");
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.exit_code, 0xFFFFFFFFu);
  EXPECT_TRUE(fs::exists(log));
  EXPECT_EQ(Log(), "");
}

TEST_F(RunProcessTest, OneLogServesRunsOneAfterAnother) {
  // The tool runs of one operation share their log: each run replaces it,
  // also right after the previous child ended.
  const fs::path shared = temp / L"shared.log";
  for (std::uint32_t code : {3u, 4u, 5u}) {
    RunProcessResult result = RunProcess(Probe(), {"exit", std::to_string(code)}, {}, shared, cancel, 30000);
    EXPECT_TRUE(result.started) << code;
    EXPECT_EQ(result.exit_code, code);
  }
  RunProcessResult result = RunProcess(Probe(), {"streams"}, {}, shared, cancel, 30000);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(qv::test::ReadTestFile(shared), "to standard output\nto standard error\n");
}

// Tools with a fixed log name run again while the log of their last run may
// still be open elsewhere for a moment: the run waits for it.
TEST_F(RunProcessTest, ALogStillOpenElsewhereIsWaitedFor) {
  const fs::path shared_log = temp / L"fixed-name.log";
  qv::test::WriteTestFile(shared_log, "earlier run\n");
  qv::setup::UniqueFile held(
      ::CreateFileW(shared_log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());
  std::thread releaser([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    held.reset();
  });
  const RunProcessResult result = RunProcess(Probe(), {"streams"}, {}, shared_log, cancel, 30000);
  releaser.join();
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_EQ(qv::test::ReadTestFile(shared_log), "to standard output\nto standard error\n");
}

TEST_F(RunProcessTest, LogThatCannotBeCreatedStartsNothing) {
  RunProcessResult result = RunProcess(Probe(), {"exit", "0"}, {}, temp / L"missing-folder" / L"child.log", cancel, 30000);
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.exit_code, 0xFFFFFFFFu);
}

TEST_F(RunProcessTest, InvalidUtf8ArgumentRaisesBeforeAnythingIsCreated) {
  EXPECT_THROW(Run({"report", "ok", "bad \xFF byte"}), std::system_error);
  EXPECT_FALSE(fs::exists(log));
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

// A program path longer than MAX_PATH reaches process creation in its "\\?\"
// form; the started program finds its own path with a larger buffer.
TEST_F(RunProcessTest, RunsAProgramWithALongPath) {
  if (qv::setup::IsRunningUnderWine()) GTEST_SKIP() << "Wine 8 starts no program from a path beyond MAX_PATH";
  std::vector<std::wstring> folders;
  std::wstring deep = temp.path().native();
  while (deep.size() < 280) folders.push_back(deep += L"\\folder-with-a-longish-name");
  ASSERT_TRUE(fs::create_directories(fs::path(L"\\\\?\\" + deep)));
  const std::wstring program = deep + L"\\probe.exe";
  ASSERT_TRUE(::CopyFileW(Probe().c_str(), (L"\\\\?\\" + program).c_str(), FALSE)) << ::GetLastError();

  RunProcessResult result = Run({"report", "x"}, {}, 30000, program);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exit_code, 0u);
  auto report = ParseReport(Log());
  EXPECT_EQ(ReportedArguments(report), std::vector<std::string>{"x"});
  if (report.count("exe") == 1) {
    std::string exe = report.find("exe")->second;
    if (exe.rfind("\\\\?\\", 0) == 0) exe.erase(0, 4);
    EXPECT_EQ(Lower(exe), Lower(qv::setup::WideToUtf8(program)));
  } else {
    ADD_FAILURE() << Log();
  }

  // The temporary folder's own removal cannot reach this deep.
  ::DeleteFileW((L"\\\\?\\" + program).c_str());
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) ::RemoveDirectoryW((L"\\\\?\\" + *folder).c_str());
}

}  // namespace
