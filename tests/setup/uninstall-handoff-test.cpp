// The temporary copy's name and command lines. Running them is shown end to
// end (uninstall-program-test.cpp).

#include "setup/uninstall/uninstall-handoff.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::wstring> Split(const std::wstring& line) {
  int count = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(line.c_str(), &count));
  std::vector<std::wstring> args;
  for (int i = 0; i < count; ++i) args.emplace_back(argv.get()[i]);
  return args;
}

TEST(UninstallHandoff, TemporaryCopyNames) {
  EXPECT_EQ(qv::setup::TemporaryCopyName(4242), L"qv-uninstall-4242.exe");
  EXPECT_EQ(qv::setup::TemporaryCopyName(4294967295u), L"qv-uninstall-4294967295.exe");
  struct Case {
    const wchar_t* name;
    bool copy;
  } cases[] = {
      {L"qv-uninstall-4242.exe", true},         {L"qv-uninstall-0.exe", true},
      {L"qv-uninstall-4294967295.exe", true},   {L"qv-uninstall-.exe", false},
      {L"qv-uninstall-12345678901.exe", false}, {L"qv-uninstall-42.exe.exe", false},
      {L"qv-uninstall-4 2.exe", false},         {L"qv-uninstall-42&.exe", false},
      {L"QV-UNINSTALL-42.EXE", false},          {L"qv-updater.exe", false},
      {L"x qv-uninstall-42.exe", false},        {L"qv-uninstall-%TEMP%.exe", false},
  };
  for (const Case& c : cases) EXPECT_EQ(qv::setup::IsTemporaryCopyName(c.name), c.copy) << fs::path(c.name);
}

TEST(UninstallHandoff, TheCopysCommandLine) {
  const struct {
    bool remove_data;
    bool silent;
    const wchar_t* line;
  } cases[] = {
      {true, true, L"C:\\Temp\\qv-uninstall-7.exe --uninstall --silent --self-delete --remove-data C:\\Games\\QV"},
      {false, true, L"C:\\Temp\\qv-uninstall-7.exe --uninstall --silent --self-delete C:\\Games\\QV"},
      // Not silent: the copy shows the final count (the question was asked).
      {true, false, L"C:\\Temp\\qv-uninstall-7.exe --uninstall --self-delete --remove-data C:\\Games\\QV"},
      {false, false, L"C:\\Temp\\qv-uninstall-7.exe --uninstall --self-delete C:\\Games\\QV"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qv::setup::TemporaryCopyCommandLine(L"C:\\Temp\\qv-uninstall-7.exe", L"C:\\Games\\QV", c.remove_data,
                                                  c.silent),
              c.line);
  }

  // Paths that need quoting come back whole from the system's splitter.
  const fs::path copy = L"C:\\Users\\A B\\Temp & 100% ^ (x)\\qv-uninstall-7.exe";
  const fs::path folder = L"D:\\My Games\\Q.V. \"DU\" Vora\\";
  EXPECT_EQ(Split(qv::setup::TemporaryCopyCommandLine(copy, folder, false, true)),
            (std::vector<std::wstring>{copy.native(), L"--uninstall", L"--silent", L"--self-delete", folder.native()}));
}

// The interpreter gets fixed text and a bare name only.
TEST(UninstallHandoff, TheSelfDeletionCommandLine) {
  EXPECT_EQ(qv::setup::SelfDeleteCommandLine(L"qv-uninstall-4242.exe"),
            L"cmd.exe /d /c ping -n 2 127.0.0.1 >nul & del /f /q qv-uninstall-4242.exe");
}

// Started on a copy in a folder whose name is cmd syntax: the copy goes, and
// nothing else does. Another name is never handed to the interpreter.
TEST(UninstallHandoff, SelfDeletionRemovesOnlyTheCopy) {
  qv::test::TempFolder temp{L"qv-self-delete"};
  const fs::path folder = temp / L"odd & (x) ^ %OS% 100%";
  const fs::path copy = folder / L"qv-uninstall-4242.exe";
  for (const fs::path& file :
       {copy, folder / L"qv-updater.exe", folder / L"qv-uninstall-4242.exe.txt", temp / L"qv-uninstall-4242.exe"}) {
    qv::test::WriteTestFile(file, "x");
  }
  qv::setup::StartSelfDeletion(folder / L"qv-updater.exe");
  qv::setup::StartSelfDeletion(copy);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (fs::exists(copy) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(fs::exists(copy));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(fs::exists(folder / L"qv-updater.exe"));
  EXPECT_TRUE(fs::exists(folder / L"qv-uninstall-4242.exe.txt"));
  EXPECT_TRUE(fs::exists(temp / L"qv-uninstall-4242.exe"));
}

}  // namespace
