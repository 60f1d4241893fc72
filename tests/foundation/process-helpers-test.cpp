#include "foundation/win/process-helpers.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "foundation/files/item-status.h"
#include "foundation/win/unique-handle.h"
#include "support/test-paths.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GetEnvUtf8;
using qv::setup::IsProcessRunning;

TEST(ProcessHelpers, OwnExecutablePathNamesThisTestProgram) {
  const fs::path own = qv::setup::OwnExecutablePath();
  EXPECT_TRUE(own.is_absolute()) << own.string();
  EXPECT_EQ(own.filename(), L"foundation_tests.exe");
  EXPECT_TRUE(fs::is_regular_file(own));
}

class EnvironmentTest : public ::testing::Test {
 protected:
  void TearDown() override { ::SetEnvironmentVariableW(kName, nullptr); }
  static constexpr const wchar_t* kName = L"QV_PROCESS_HELPERS_TEST";
};

TEST_F(EnvironmentTest, ValuesComeBackAsUtf8) {
  EXPECT_EQ(GetEnvUtf8("QV_PROCESS_HELPERS_TEST"), "");  // unset
  ::SetEnvironmentVariableW(kName, L"");
  EXPECT_EQ(GetEnvUtf8("QV_PROCESS_HELPERS_TEST"), "");  // empty
  ::SetEnvironmentVariableW(kName, L"1");
  EXPECT_EQ(GetEnvUtf8("QV_PROCESS_HELPERS_TEST"), "1");
  ::SetEnvironmentVariableW(kName, L"D:\\Spiele\\caf\u00e9 \u30b2\u30fc\u30e0 \U0001F4BE");
  EXPECT_EQ(GetEnvUtf8("QV_PROCESS_HELPERS_TEST"),
            "D:\\Spiele\\caf\xC3\xA9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0 \xF0\x9F\x92\xBE");
  const std::wstring long_value(30000, L'v');
  ::SetEnvironmentVariableW(kName, long_value.c_str());
  EXPECT_TRUE(GetEnvUtf8("QV_PROCESS_HELPERS_TEST") == std::string(30000, 'v'));
}

TEST_F(EnvironmentTest, UnpairedSurrogateRaises) {
  const wchar_t value[] = {L'a', wchar_t(0xD800), L'b', 0};
  ::SetEnvironmentVariableW(kName, value);
  EXPECT_THROW(GetEnvUtf8("QV_PROCESS_HELPERS_TEST"), std::system_error);
}

// A probe program that sleeps for 20 s, started directly.
struct SleepingProbe {
  qv::setup::UniqueHandle process;
  qv::setup::UniqueHandle thread;
  DWORD id = 0;
};

SleepingProbe StartSleepingProbe() {
  std::wstring command = L"\"" + (qv::test::TestBinaryFolder() / L"process-probe.exe").native() + L"\" sleep 20000";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  SleepingProbe probe;
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
    ADD_FAILURE() << "cannot start the probe: " << ::GetLastError();
    return probe;
  }
  probe.process.reset(info.hProcess);
  probe.thread.reset(info.hThread);
  probe.id = info.dwProcessId;
  return probe;
}

TEST(ProcessHelpers, IsProcessRunningFollowsAChild) {
  EXPECT_TRUE(IsProcessRunning(::GetCurrentProcessId()));

  SleepingProbe probe = StartSleepingProbe();
  ASSERT_TRUE(probe.process.valid());
  qv::setup::UniqueHandle& process = probe.process;
  qv::setup::UniqueHandle& thread = probe.thread;
  const DWORD id = probe.id;
  EXPECT_TRUE(IsProcessRunning(id));
  ::TerminateProcess(process.get(), 1);
  ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  // Ended but still held open by this handle: its exit code tells.
  EXPECT_FALSE(IsProcessRunning(id));
  process.reset();
  thread.reset();
  EXPECT_FALSE(IsProcessRunning(id));

  // Process ids are multiples of 4: this one never names a process.
  EXPECT_FALSE(IsProcessRunning(0xFFFFFFF3u));
}

}  // namespace
