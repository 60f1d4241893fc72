// The built setup program as a file and as a process: its image, its
// resources, and the command lines it takes or refuses.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "support/child-process.h"
#include "support/signed-overlay.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "update/build-identity.h"
#include "update/version-order.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UniqueModule;
using qv::test::ReadTestFile;
using qv::test::SetupProgramPath;

constexpr const char* kDamagedText = "This setup file is damaged or was modified. Please download it again.";

bool FolderIsEmpty(const fs::path& folder) { return fs::is_empty(folder); }

std::string Describe(const std::vector<std::wstring>& arguments) {
  std::string text;
  for (const std::wstring& argument : arguments) text += "[" + qv::setup::WideToUtf8(argument) + "]";
  return text;
}

TEST(Program, IsAStaticPe32PlusGuiExecutable) {
  std::string image = ReadTestFile(SetupProgramPath());
  ASSERT_GT(image.size(), 4096u);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  // Linked statically: no mingw runtime or zlib DLL is imported.
  std::string lower = image;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "zlib1.dll"}) {
    EXPECT_EQ(lower.find(dll), std::string::npos) << dll;
  }
}

TEST(Program, CarriesItsApplicationManifest) {
  UniqueModule module(::LoadLibraryExW(SetupProgramPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(module.valid()) << ::GetLastError();
  HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_NE(resource, nullptr);
  HGLOBAL loaded = ::LoadResource(module.get(), resource);
  ASSERT_NE(loaded, nullptr);
  std::string manifest(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module.get(), resource));

  for (const char* required : {
           "level=\"asInvoker\"",
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
           ">true</longPathAware>",
           ">PerMonitorV2, PerMonitor</dpiAwareness>",
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
       }) {
    EXPECT_NE(manifest.find(required), std::string::npos) << required;
  }
}

// The version resource and CurrentVersion come from the build's one definition.
TEST(Program, VersionResourceMatchesCurrentVersion) {
  const std::wstring program = SetupProgramPath().native();
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &handle);
  ASSERT_GT(size, 0u) << ::GetLastError();
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  const auto parts = qv::update::SplitVersion(qv::update::CurrentVersion());
  ASSERT_EQ(parts.components.size(), 3u);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), static_cast<unsigned>(parts.components[0]));
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), static_cast<unsigned>(parts.components[1]));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), static_cast<unsigned>(parts.components[2]));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  for (const wchar_t* key : {L"\\StringFileInfo\\040904B0\\FileVersion", L"\\StringFileInfo\\040904B0\\ProductVersion"}) {
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&text), &length)) << fs::path(key).string();
    EXPECT_EQ(qv::setup::WideToUtf8(text), qv::update::CurrentVersion());
  }
  EXPECT_EQ(qv::update::CurrentVersion(), "1.1.0");
}

// Each line is one no role takes: exit code 2, and the would-be result file
// (the last argument, in an empty folder) is never made.
TEST(Program, UnrecognisedCommandLinesExitWithTwoAndWriteNothing) {
  qv::test::TempFolder temp{L"qv-program"};
  const std::wstring result = (temp / L"result.txt").native();
  const std::vector<std::vector<std::wstring>> lines = {
      {L"--nonsense"},
      {L"--NONSENSE", result},
      {L"--preview"},
      {L"", L"x", L"y", result},
      {L"--check-update"},
      {L"--check-update", result, result},
      {L"--CHECK-UPDATE", result},
      {L"--verify-integrity"},
      {L"--verify-integrity", result, result},
      {L"--VERIFY-INTEGRITY", result},
      {L"--verify-integrity ", result},
      {L"--Self-Test", result},
      {L"--self-test"},
      {L"--self-test", L"x", result},
      {L"--range-test", L"https://127.0.0.1/", L"index.txt", temp.path().native(), result},
      {L"--preview", L"a.bmp", L"b.bmp"},
  };
  for (const auto& line : lines) {
    auto run = qv::test::RunProgram(SetupProgramPath(), line, {"QV_UPDATE_TEST"});
    EXPECT_EQ(run.exit_code, 2u) << Describe(line);
    EXPECT_TRUE(FolderIsEmpty(temp.path())) << Describe(line);
  }
}

TEST(Program, VerifyIntegrityPassesForTheStampedProgramAndWithAnOverlay) {
  qv::test::TempFolder temp{L"qv-program"};
  const std::string program = ReadTestFile(SetupProgramPath());
  ASSERT_FALSE(program.empty());
  const fs::path with_overlay = temp / L"with-overlay.exe";
  qv::test::WriteTestFile(with_overlay, program + qv::test::SignedOverlay(program.size(), R"({"version":"1.2.0"})"));

  for (const fs::path& copy : {SetupProgramPath(), with_overlay}) {
    const fs::path result = temp / L"result.txt";
    auto run = qv::test::RunProgram(copy, {L"--verify-integrity", result.native()});
    EXPECT_EQ(run.exit_code, 0u) << copy.string() << "\n" << run.output;
    EXPECT_EQ(ReadTestFile(result), "PASS integrity verified\r\n") << copy.string();
    fs::remove(result);
  }
}

TEST(Program, VerifyIntegrityReportsAChangedByte) {
  qv::test::TempFolder temp{L"qv-program"};
  std::string program = ReadTestFile(SetupProgramPath());
  // A byte of the DOS stub: never executed, so only the check can notice it.
  const size_t stub = program.find("This program cannot be run");
  ASSERT_NE(stub, std::string::npos);
  program[stub] = 't';
  const fs::path damaged = temp / L"damaged.exe";
  qv::test::WriteTestFile(damaged, program);

  const fs::path result = temp / L"result.txt";
  qv::test::WriteTestFile(result, "an earlier result\nof two lines");
  auto run = qv::test::RunProgram(damaged, {L"--verify-integrity", result.native()});
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(ReadTestFile(result), kDamagedText);
}

// The guard keeps the result path from replacing a folder or a large file, on
// success and on failure alike; a file of exactly 65,536 bytes is replaced.
TEST(Program, ResultFileGuardOfTheTestModes) {
  qv::test::TempFolder temp{L"qv-program"};
  std::string program = ReadTestFile(SetupProgramPath());
  program[program.find("This program cannot be run")] = 't';
  const fs::path damaged = temp / L"damaged.exe";
  qv::test::WriteTestFile(damaged, program);

  const fs::path folder = temp / L"a folder";
  fs::create_directory(folder);
  const std::string large(65537, 'L');
  const std::string largest(65536, 'M');
  struct Case {
    const char* what;
    fs::path program;
    std::string before;  // empty: the result path is the folder
    std::uint32_t exit_code;
    std::string after;
  };
  const Case cases[] = {
      {"folder, intact program", SetupProgramPath(), "", 1, ""},
      {"folder, damaged program", damaged, "", 1, ""},
      {"65,537 bytes, intact program", SetupProgramPath(), large, 1, large},
      {"65,537 bytes, damaged program", damaged, large, 1, large},
      {"65,536 bytes, intact program", SetupProgramPath(), largest, 0, "PASS integrity verified\r\n"},
      {"65,536 bytes, damaged program", damaged, largest, 1, kDamagedText},
  };
  for (const Case& c : cases) {
    fs::path result = folder;
    if (!c.before.empty()) {
      result = temp / L"result.txt";
      qv::test::WriteTestFile(result, c.before);
    }
    auto run = qv::test::RunProgram(c.program, {L"--verify-integrity", result.native()});
    EXPECT_EQ(run.exit_code, c.exit_code) << c.what;
    if (c.before.empty()) {
      EXPECT_TRUE(fs::is_directory(folder)) << c.what;
      EXPECT_TRUE(FolderIsEmpty(folder)) << c.what;
    } else {
      EXPECT_EQ(ReadTestFile(result), c.after) << c.what;
    }
  }
}

}  // namespace
