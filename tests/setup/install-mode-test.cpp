// "--install SOURCE DEST RESULT" run as a user would, from the test releases
// (made by the release tool for this run) and from the plain build.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-pkg.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::TestReleaseSetup;

constexpr std::chrono::seconds kInstallTimeout{120};

// The lines of a result; a last line without its line end counts too (a
// failure's text has none).
std::vector<std::string> Lines(std::string text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

struct InstallMode : ::testing::Test {
  void SetUp() override {
    qv::setup::WriteDumpedGame(dump);
    qv::test::WriteTestFile(package, qv::setup::BuildTestPkg(qv::setup::PngBytes("icon of the package"), false));
    fs::create_directories(games);
  }

  // Runs "--install" of the setup file; the result file's lines.
  std::vector<std::string> Run(const fs::path& setup, const fs::path& source, const fs::path& destination,
                               const std::vector<std::string>& environment = {}) {
    fs::remove(result);
    run = qv::test::RunProgram(setup, {L"--install", source.native(), destination.native(), result.native()},
                               environment, kInstallTimeout);
    return Lines(ReadTestFile(result));
  }

  // The files of the release's content as installed (without the records).
  qv::setup::TreeSnapshot InstalledPortFiles(const fs::path& destination) const {
    qv::setup::TreeSnapshot installed;
    for (const auto& [path, bytes] : qv::setup::SnapshotFileContents(qv::test::TestReleaseContent())) {
      installed.emplace_back(path, ReadTestFile(destination / fs::path(qv::setup::Utf8ToWide(path))));
    }
    return installed;
  }

  TempFolder temp{L"qv-install-mode"};
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path package = temp / L"packages" / L"Q.V. game.pkg";
  fs::path games = temp / L"games";
  fs::path result = temp / L"result.txt";
  qv::test::ChildRun run;
};

TEST_F(InstallMode, FromADumpedFolderThenAgainAsAnUpdate) {
  const fs::path destination = games / L"Q.V. DU Vora";
  std::vector<std::string> lines = Run(TestReleaseSetup(L"good"), dump, destination);
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  ASSERT_EQ(lines.size(), 2u) << ReadTestFile(result);
  EXPECT_TRUE(ReadTestFile(result).ends_with("\r\n"));  // the last line ends as every other
  EXPECT_EQ(lines[0], "PASS installed");
  EXPECT_TRUE(StartsWith(lines[1], "progress events ")) << lines[1];
  EXPECT_NE(lines[1].find(" monotonic yes "), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find(" last 100% "), std::string::npos) << lines[1];

  EXPECT_EQ(InstalledPortFiles(destination), qv::setup::SnapshotFileContents(qv::test::TestReleaseContent()));
  EXPECT_EQ(ReadTestFile(destination / L"CUSA09901" / L"chunk1.psarc"), qv::setup::PsarcBytes());
  EXPECT_TRUE(fs::exists(destination / L"qv-files.json"));
  EXPECT_TRUE(fs::exists(destination / L"qv-install-manifest.txt"));
  EXPECT_EQ(qv::setup::SnapshotTree(games).front().first, "Q.V. DU Vora/");  // nothing left beside it

  const qv::setup::TreeSnapshot port_files = InstalledPortFiles(destination);
  lines = Run(TestReleaseSetup(L"good"), {}, destination);
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  ASSERT_EQ(lines.size(), 4u) << ReadTestFile(result);
  EXPECT_TRUE(ReadTestFile(result).ends_with("\r\n"));
  EXPECT_EQ(lines[0], "PASS updated");
  EXPECT_TRUE(StartsWith(lines[1], "from 1.1.0 replaced ")) << lines[1];
  EXPECT_NE(lines[1].find(" added 0 removed 0 archives kept"), std::string::npos) << lines[1];
  // Every file of the release and its file list compared and found unchanged.
  const std::string unchanged = "unchanged " + std::to_string(port_files.size() + 1) + " ";
  EXPECT_TRUE(StartsWith(lines[2], unchanged)) << lines[2];
  EXPECT_EQ(InstalledPortFiles(destination), port_files);
}

TEST_F(InstallMode, FromAPackageThroughTheExtractionHelper) {
  const fs::path destination = games / L"QV";
  const std::vector<std::string> lines =
      Run(TestReleaseSetup(L"good"), package, destination,
          {"QV_TEST_PKG_EXTRACT_WARNINGS=a file of the package was damaged|another warning", "QV_TEST_PKG_EXTRACT_DELAY_MS=300"});
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  ASSERT_EQ(lines.size(), 5u) << ReadTestFile(result);
  EXPECT_EQ(lines[0], "PASS installed");
  EXPECT_EQ(lines[1], "note: a file of the package was damaged");
  EXPECT_EQ(lines[2], "note: another warning");
  // The engine looks for the title picture in the package itself (a test
  // package carries only its icon), not in what the helper extracted.
  EXPECT_EQ(lines[3], "title picture missing");
  EXPECT_TRUE(StartsWith(lines[4], "progress events ")) << lines[4];
  EXPECT_NE(lines[4].find(" monotonic yes "), std::string::npos) << lines[4];

  EXPECT_EQ(InstalledPortFiles(destination), qv::setup::SnapshotFileContents(qv::test::TestReleaseContent()));
  const fs::path title = destination / L"CUSA09901";
  EXPECT_EQ(ReadTestFile(title / L"texture.qar"), qv::setup::QarBytes());
  EXPECT_EQ(ReadTestFile(title / L"sce_sys" / L"icon0.png"), qv::setup::PngBytes("icon of the package"));
  EXPECT_EQ(ReadTestFile(destination / L"install-notes.txt"), "a file of the package was damaged\nanother warning\n");
  const std::string log = ReadTestFile(destination / L"install-extraction.log");
  EXPECT_NE(log.find("package: " + qv::setup::WideToUtf8(package.native()) + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("warning: another warning\n"), std::string::npos) << log;
}

TEST_F(InstallMode, FailuresLeaveNothingBesideTheDestination) {
  qv::test::WriteTestFile(games / L"occupied", "a file where the installation should go");
  fs::path deep = games;
  while ((deep / L"qv.exe").native().size() < 230) deep /= L"level";
  const fs::path too_long = deep / std::wstring(250 - (deep / L"qv.exe").native().size() - 1, L'q');
  const fs::path fits = deep / std::wstring(too_long.filename().native().size() - 1, L'q');
  ASSERT_EQ((too_long / L"qv.exe").native().size(), 250u);
  fs::create_directories(deep);

  const std::string log_text(700, 'x');
  // A drive letter that names no drive here (the player's unplugged disk).
  std::wstring missing_drive = L"Q:\\";
  while (::GetDriveTypeW(missing_drive.c_str()) != DRIVE_NO_ROOT_DIR && missing_drive[0] < L'Y') ++missing_drive[0];
  const fs::path on_missing_drive = fs::path(missing_drive) / L"Games" / L"QV";
  struct Case {
    const char* what;
    fs::path setup;
    fs::path source;
    fs::path destination;
    std::vector<std::string> environment;
    std::string message;  // the whole result, or its beginning when `prefix_only`
    bool prefix_only = false;
  } cases[] = {
      {"missing source", TestReleaseSetup(L"good"), temp / L"missing", games / L"QV", {},
       "Select your Q.V. game: a fake PKG, or the game folder from your console dump."},
      {"damaged payload", TestReleaseSetup(L"damaged-payload"), dump, games / L"QV", {},
       "Installer payload decompression failed."},
      {"changed after stamping", TestReleaseSetup(L"modified-after-stamp"), dump, games / L"QV", {},
       "This setup file is damaged or was modified. Please download it again."},
      {"plain build", qv::test::SetupProgramPath(), dump, games / L"QV", {}, "Installer payload missing."},
      // The file stays as it was (the snapshot below holds it).
      {"destination is a file", TestReleaseSetup(L"good"), dump, games / L"occupied", {},
       "Choose a new installation folder. Existing folders are never overwritten."},
      {"path of 250", TestReleaseSetup(L"good"), dump, too_long, {},
       "This installation folder's path is too long: the game cannot start when its path has 250 characters or "
       "more. Choose a folder with a shorter path."},
      {"missing drive", TestReleaseSetup(L"good"), dump, on_missing_drive, {},
       "Could not create the folder " + qv::setup::WideToUtf8(on_missing_drive.parent_path().native()) +
           ": the path does not exist (is its drive or network share connected?)."},
      // Run from the folder the snapshot covers: an installation below the
      // current folder would show there.
      {"relative destination", TestReleaseSetup(L"good"), dump, L"relative\\QV", {},
       "Choose the installation folder by its full path, starting with a drive letter or a network share (for "
       "example C:\\Games\\Q.V. DU Vora)."},
      {"device name", TestReleaseSetup(L"good"), dump, games / L"CON", {},
       "Could not create the folder " + qv::setup::WideToUtf8((games / L"CON").native()) +
           ": Windows keeps the name \"CON\" for a device."},
      {"helper exit 2", TestReleaseSetup(L"good"), package, games / L"QV",
       {"QV_TEST_PKG_EXTRACT_EXIT=2", "QV_TEST_PKG_EXTRACT_TEXT=" + log_text},
       "PKG extraction failed. QV.PkgExtract (test stand-in)\npackage: " + qv::setup::WideToUtf8(package.native()) +
           "\noutput: ",
       true},
  };
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(games.c_str()));
  for (const Case& c : cases) {
    const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(games);
    const std::vector<std::string> lines = Run(c.setup, c.source, c.destination, c.environment);
    EXPECT_EQ(run.exit_code, 1u) << c.what << "\n" << run.output;
    std::string text = ReadTestFile(result);
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    if (c.prefix_only) {
      EXPECT_TRUE(StartsWith(text, c.message)) << c.what << ": " << text;
    } else {
      EXPECT_EQ(text, c.message) << c.what;
    }
    EXPECT_EQ(qv::setup::SnapshotTree(games), before) << c.what;
  }
  ::SetCurrentDirectoryW(previous);

  // The helper's failure quotes exactly the first 600 characters of its log
  // (all ASCII here), whose end is the text it printed last.
  const std::vector<std::string> lines = Run(TestReleaseSetup(L"good"), package, games / L"QV",
                                             {"QV_TEST_PKG_EXTRACT_EXIT=2", "QV_TEST_PKG_EXTRACT_TEXT=" + log_text});
  std::string text = ReadTestFile(result);
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  EXPECT_EQ(text.size(), std::string("PKG extraction failed. ").size() + 600) << text;
  EXPECT_EQ(text.back(), 'x');
  EXPECT_NE(text.find("\nextracted the game's files\n"), std::string::npos) << text;

  // One character less installs.
  const std::vector<std::string> installed = Run(TestReleaseSetup(L"good"), dump, fits);
  EXPECT_EQ(run.exit_code, 0u) << ReadTestFile(result);
  ASSERT_FALSE(installed.empty());
  EXPECT_EQ(installed[0], "PASS installed");
}

TEST_F(InstallMode, RefusedResultFileStopsBeforeAnythingIsInstalled) {
  const fs::path folder = temp / L"results";
  fs::create_directories(folder);
  const fs::path large = temp / L"large.txt";
  qv::test::WriteTestFile(large, std::string(65537, 'L'));
  for (const fs::path& refused : {folder, large}) {
    run = qv::test::RunProgram(TestReleaseSetup(L"good"),
                               {L"--install", dump.native(), (games / L"QV").native(), refused.native()}, {},
                               kInstallTimeout);
    EXPECT_EQ(run.exit_code, 1u) << refused.string();
    EXPECT_TRUE(fs::is_empty(games)) << refused.string();
  }
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(ReadTestFile(large), std::string(65537, 'L'));
}

}  // namespace
