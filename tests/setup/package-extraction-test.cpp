// The package extraction helper run by ExtractPkg, with the project's stand-in
// (or another test program) placed where the payload puts the real one.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/files/create-folders.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "foundation/win/elevation.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-pkg.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "setup/folder-size.h"
#include "setup/install/package-extraction.h"
#include "support/scoped-variable.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ReadTestFile;
using qv::test::ScopedVariable;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::WriteTestFile;

// A work folder as the engine hands it over: the helper in "extractor", and
// a package beside it.
struct Work {
  explicit Work(const fs::path& folder, const wchar_t* helper = L"pkg-extract-standin.exe") : folder(folder) {
    qv::setup::CreateFolders(folder / L"extractor");
    const fs::path target = folder / L"extractor" / L"QV.PkgExtract.exe";
    EXPECT_TRUE(::CopyFileW((qv::test::TestBinaryFolder() / helper).c_str(), qv::setup::ApiPath(target).c_str(), TRUE));
  }
  std::string Log() const { return ReadTestFile(folder / L"install-extraction.log"); }
  fs::path folder;
};

struct PackageTest : ::testing::Test {
  void SetUp() override {
    package = temp / L"packages" / L"Q.V. game.pkg";
    WriteTestFile(package, qv::setup::BuildTestPkg(qv::setup::PngBytes("icon of the package"), false));
  }
  void TearDown() override {
    qv::setup::CancelHook = nullptr;
    qv::setup::ProgressHook = nullptr;
    qv::setup::ResetProgress(0);
  }
  TempFolder temp{L"qv-pkg"};
  fs::path package;
};

TEST_F(PackageTest, HelperFillsTheTitleFolderAndLeavesItsLog) {
  Work work(temp / L"staging");
  ScopedVariable delay("QV_TEST_PKG_EXTRACT_DELAY_MS", "400");
  std::vector<std::uint64_t> progress;
  qv::setup::ResetProgress(1u << 20);
  qv::setup::ProgressHook = [&](std::uint64_t done, std::uint64_t) { progress.push_back(done); };

  qv::setup::ExtractPkg(work.folder, package);

  const fs::path title = work.folder / L"CUSA09901";
  EXPECT_EQ(ReadTestFile(title / L"chunk1.psarc"), qv::setup::PsarcBytes());
  EXPECT_EQ(ReadTestFile(title / L"texture.qar"), qv::setup::QarBytes());
  EXPECT_EQ(ReadTestFile(title / L"sce_sys" / L"param.sfo"),
            qv::setup::BuildTestParamSfo("CUSA09901", "UP4511-CUSA09901_00-QVDUVORA00000000"));
  EXPECT_EQ(ReadTestFile(title / L"sce_sys" / L"icon0.png"), qv::setup::PngBytes("icon of the package"));
  EXPECT_TRUE(fs::exists(title / L"sce_sys" / L"pic1.png"));
  // The helper saw exactly the absolute package path and the title folder, and
  // ran in the work folder.
  const std::string log = work.Log();
  EXPECT_NE(log.find("package: " + qv::setup::WideToUtf8(package.native()) + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("output: " + qv::setup::WideToUtf8(title.native()) + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("cwd: " + qv::setup::WideToUtf8(work.folder.native()) + "\n"), std::string::npos) << log;
  // The bar moved while the helper ran, by what the title folder held.
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(qv::setup::ProgressCounters.done, qv::setup::FolderSize(title));
}

TEST_F(PackageTest, ProgressNeverPassesTheTotal) {
  Work work(temp / L"staging");
  ScopedVariable delay("QV_TEST_PKG_EXTRACT_DELAY_MS", "300");
  qv::setup::ResetProgress(10);
  qv::setup::ExtractPkg(work.folder, package);
  EXPECT_EQ(qv::setup::ProgressCounters.done, 10u);
}

TEST_F(PackageTest, RelativePackagePathIsMadeAbsolute) {
  Work work(temp / L"staging");
  wchar_t previous[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(package.parent_path().c_str()));
  const std::string error = ThrownMessage([&] { qv::setup::ExtractPkg(work.folder, L"Q.V. game.pkg"); });
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(error, "(no exception)") << work.Log();
  EXPECT_NE(work.Log().find("package: " + qv::setup::WideToUtf8(package.native()) + "\n"), std::string::npos);
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(PackageTest, FailuresOfTheHelper) {
  struct Case {
    const char* what;
    const char* exit_code;
    std::string text;
    bool package_is_text;
  } cases[] = {
      {"exit 2 after 700 characters", "2", std::string(700, 'x'), false},
      {"not a package", "0", "", true},
      {"exit 1 with line ends", "1", "line one\r\nline two\r\n", false},
      {"700 two-byte characters", "3", Repeat("\xC3\xA9", 700), false},
  };
  int index = 0;
  for (const Case& c : cases) {
    Work work(temp / (L"work" + std::to_wstring(index++)));
    const fs::path source = c.package_is_text ? temp / L"notes.txt" : package;
    if (c.package_is_text) WriteTestFile(source, "not a package");
    ScopedVariable code("QV_TEST_PKG_EXTRACT_EXIT", c.exit_code);
    ScopedVariable printed("QV_TEST_PKG_EXTRACT_TEXT", c.text);
    const std::string error = ThrownMessage([&] { qv::setup::ExtractPkg(work.folder, source); });

    // The log read as text, its first 600 characters.
    std::wstring log = qv::setup::Utf8ToWide(work.Log());
    for (std::size_t at; (at = log.find(L"\r\n")) != std::wstring::npos;) log.erase(at, 1);
    EXPECT_GT(log.size(), 60u) << c.what;
    EXPECT_EQ(error, "PKG extraction failed. " + qv::setup::WideToUtf8(log.substr(0, 600))) << c.what;
    // Nothing holds the log any more: the engine can remove the work folder.
    EXPECT_TRUE(::DeleteFileW((work.folder / L"install-extraction.log").c_str())) << c.what;
  }
}

TEST_F(PackageTest, EmptyLogGivesTheBareSentence) {
  // The process probe takes the package path for an unknown mode: no output, exit 98.
  Work work(temp / L"staging", L"process-probe.exe");
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPkg(work.folder, package); }), "PKG extraction failed. ");
  EXPECT_EQ(work.Log(), "");
}

TEST_F(PackageTest, LogAndHelperMustBeThere) {
  Work work(temp / L"staging");
  qv::setup::ExtractPkg(work.folder, package);
  // A second run would mix two logs.
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPkg(work.folder, package); }), "Could not create extraction log.");

  fs::create_directories(temp / L"no-helper");
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPkg(temp / L"no-helper", package); }),
            "Could not start the PKG extraction helper.");
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPkg(temp / L"missing", package); }),
            "Could not create extraction log.");
}

TEST_F(PackageTest, LongWorkFolderRunsFromTheCurrentFolder) {
  if (qv::setup::IsRunningUnderWine()) GTEST_SKIP() << "Wine 8 starts no program from a path beyond MAX_PATH";
  fs::path folder = temp.path();
  while (folder.native().size() < 258) folder /= L"a-rather-long-folder-name";
  Work work(folder);
  ASSERT_GE(work.folder.native().size(), 258u);
  ASSERT_GT((work.folder / L"extractor" / L"QV.PkgExtract.exe").native().size(), 259u);
  qv::setup::ExtractPkg(work.folder, package);
  wchar_t current[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, current);
  EXPECT_NE(work.Log().find("cwd: " + qv::setup::WideToUtf8(current) + "\n"), std::string::npos) << work.Log();
  EXPECT_TRUE(fs::exists(work.folder / L"CUSA09901" / L"chunk1.psarc"));
}

TEST_F(PackageTest, CancelEndsTheHelperWithinAPoll) {
  Work work(temp / L"staging");
  ScopedVariable delay("QV_TEST_PKG_EXTRACT_DELAY_MS", "20000");
  const auto start = std::chrono::steady_clock::now();
  qv::setup::CancelHook = [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500); };
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPkg(work.folder, package); }), "Installation cancelled.");
  // The helper would sleep 20 s; well under that shows the cancel ended it, with
  // room for a machine busy with other builds (a poll plus the kill and the wait).
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(10000));
  // The helper is gone and has let go of its log.
  const bool deleted = ::DeleteFileW((work.folder / L"install-extraction.log").c_str());
  EXPECT_TRUE(deleted) << ::GetLastError();
}

}  // namespace
