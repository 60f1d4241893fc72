// One frame-generation unlock operation in this process, with the tar
// stand-in as the system's "tar.exe" and packages built as zips.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/route-files.h"
#include "fg-route-fixtures.h"
#include "foundation/files/file-system-view.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"
#include "routes/fg/fg-route-record.h"
#include "routes/fg/fg-route-role.h"
#include "routes/fg/fg-route.h"
#include "routes/route-record-values.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/fake-links.h"
#include "support/scoped-variable.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::FgRouteServices;
using qv::setup::RouteAction;
using qv::setup::RunFgRouteOperation;
using qv::setup::RunFgRouteStep;
using qv::setup::UpdaterText;
using qv::test::FgGame;
using qv::test::GameTree;
using qv::test::ReadTestFile;
using qv::test::UpdaterLogMessages;
using qv::test::WriteTestFile;
using qv::test::Tree;

using qv::test::InstalledTree;
using qv::test::PlainTree;
using qv::test::Result;

int RunOperation(const FgGame& game, RouteAction action, std::string& detail, const FgRouteServices& services = {}) {
  return RunFgRouteOperation(game.State(action), detail, false, services);
}

TEST(FgRouteOperation, InstallPutsTheUnlockDownRecordsItAndTheEngineReadsItBack) {
  FgGame game;
  ASSERT_EQ(GameTree(game.path()), PlainTree());
  std::vector<int> keys;
  const int exit_code = RunFgRouteStep(game.State(RouteAction::kInstall), true,
                                       [&](UpdaterText key) { keys.push_back(static_cast<int>(key)); });
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(keys, std::vector<int>{20});
  EXPECT_EQ(GameTree(game.path()), InstalledTree("version.dll"));
  EXPECT_EQ(qv::test::FgResult(game.work()),
            Result("install", 0, "installed proxy version.dll, DLSS-G runtime sm86-3.10.2"));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{
                "fg route: installed: proxy version.dll, runtime sm86-3.10.2, 4 files (tool github v0.4.0)",
                "fg route: install exit 0: installed proxy version.dll, DLSS-G runtime sm86-3.10.2"}));
  // The work folder keeps what the run unpacked and logged.
  EXPECT_EQ(ReadTestFile(game.work() / L"manifest.json"), qv::test::FgManifestText());
  EXPECT_EQ(ReadTestFile(game.work() / L"proxy" / L"version.dll"), qv::test::FgProxyBytes("version.dll"));
  EXPECT_TRUE(fs::exists(game.work() / L"tar.log"));

  EXPECT_EQ(qv::setup::CollectFrameGenRouteFiles(game.path()),
            (qv::setup::RouteFileKeys{"dlssg_sm86.ini", "dlssg_sm86/nvngx_dlssg.dll",
                                      "dlssg_sm86/runtime/sl.interposer.dll", "qv-dlssg-route.json", "version.dll"}));
}

TEST(FgRouteOperation, RemoveTakesEverythingOutAndNeedsNoZip) {
  FgGame game;
  WriteTestFile(game / L"winmm.dll", qv::test::ForeignDllBytes("winmm.dll"));
  std::string detail;
  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
  fs::remove(game.zip());
  ASSERT_EQ(RunOperation(game, RouteAction::kRemove, detail), 0);
  EXPECT_EQ(detail, "removed");
  EXPECT_EQ(GameTree(game.path()), PlainTree({{"winmm.dll", qv::test::ForeignDllBytes("winmm.dll")}}));
  const auto log = UpdaterLogMessages(game.path());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "fg route: removed proxy version.dll");
}

TEST(FgRouteOperation, AForeignDllUnderTheRecordedNameIsMovedAsideAndComesBack) {
  FgGame game;
  // An earlier install left our proxy under "version.dll", the record naming
  // it and another program's version.dll beside it as the backup.
  std::string detail;
  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
  WriteTestFile(game / L"version.dll.qv-fg-backup", qv::test::ForeignDllBytes("version.dll"));

  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
  EXPECT_EQ(GameTree(game.path()),
            InstalledTree("version.dll", {{"version.dll.qv-fg-backup", qv::test::ForeignDllBytes("version.dll")}}));

  ASSERT_EQ(RunOperation(game, RouteAction::kRemove, detail), 0);
  EXPECT_EQ(GameTree(game.path()), PlainTree({{"version.dll", qv::test::ForeignDllBytes("version.dll")}}));
  const auto log = UpdaterLogMessages(game.path());
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()),
            (std::vector<std::string>{"fg route: removed proxy version.dll",
                                      "fg route: restored the original version.dll"}));
}

TEST(FgRouteOperation, RemovalNeverReplacesADllThatTookTheNameMeanwhile) {
  FgGame game;
  WriteTestFile(game / L"winmm.dll", qv::test::ForeignDllBytes("winmm.dll, newer"));
  WriteTestFile(game / L"winmm.dll.qv-fg-backup", qv::test::ForeignDllBytes("winmm.dll"));
  std::string detail;
  ASSERT_EQ(RunOperation(game, RouteAction::kRemove, detail), 0);
  EXPECT_EQ(GameTree(game.path()), PlainTree({{"winmm.dll", qv::test::ForeignDllBytes("winmm.dll, newer")},
                                              {"winmm.dll.qv-fg-backup", qv::test::ForeignDllBytes("winmm.dll")}}));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            std::vector<std::string>{"fg route: kept the original winmm.dll as winmm.dll.qv-fg-backup: another "
                                     "winmm.dll stands in its place"});
}

TEST(FgRouteOperation, ReinstallChoosesTheNameAfreshAndKeepsForeignDlls) {
  FgGame game;
  std::string detail;
  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
  // Another program replaces our proxy while the unlock is in place.
  WriteTestFile(game / L"version.dll", qv::test::ForeignDllBytes("version.dll"));
  std::vector<int> keys;
  ASSERT_EQ(RunFgRouteStep(game.State(RouteAction::kReinstall), false,
                           [&](UpdaterText key) { keys.push_back(static_cast<int>(key)); }, qv::test::QuickServices()),
            0);
  EXPECT_EQ(keys, std::vector<int>{22});
  EXPECT_EQ(GameTree(game.path()),
            InstalledTree("winmm.dll", {{"version.dll", qv::test::ForeignDllBytes("version.dll")}}));
  EXPECT_EQ(qv::test::FgResult(game.work()),
            Result("reinstall", 0, "installed proxy winmm.dll, DLSS-G runtime sm86-3.10.2"));
}

// Each failure: its detail, the result file, the log lines, the failure
// notice, and the game folder as the failure leaves it.
struct FailureCase {
  const char* name;
  std::function<void(FgGame&)> prepare;
  std::string detail;   // "{zip}" stands for the zip's digest
  bool digest_line;     // the detail is also logged on its own line
};

TEST(FgRouteOperation, FailuresLeaveTheGameFolderAsItWas) {
  const FailureCase cases[] = {
      {"digest mismatch",
       [](FgGame& game) { WriteTestFile(game.work() / L"tool-source.txt", "github v0.4.0 " + std::string(64, 'a')); },
       "the package zip SHA-256 {zip} does not match what the download recorded " + std::string(64, 'a'), true},
      {"digest in capitals",
       [](FgGame& game) {
         std::string upper = game.zip_digest();
         for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
         WriteTestFile(game.work() / L"tool-source.txt", "github v0.4.0 " + upper);
       },
       "the package zip SHA-256 {zip} does not match what the download recorded {upper}", true},
      {"63-character digest: the built-in one holds",
       [](FgGame& game) {
         WriteTestFile(game.work() / L"tool-source.txt", "github v0.4.0 " + game.zip_digest().substr(1));
       },
       "the package zip SHA-256 {zip} does not match what the download recorded {pinned}", true},
      {"65-character digest: the built-in one holds",
       [](FgGame& game) {
         WriteTestFile(game.work() / L"tool-source.txt", "github v0.4.0 " + game.zip_digest() + "0");
       },
       "the package zip SHA-256 {zip} does not match what the download recorded {pinned}", true},
      {"no note: the built-in digest holds", [](FgGame& game) { fs::remove(game.work() / L"tool-source.txt"); },
       "the package zip SHA-256 {zip} does not match what the download recorded {pinned}", true},
      {"zip missing", [](FgGame& game) { fs::remove(game.zip()); },
       "the package zip SHA-256 unreadable does not match what the download recorded {digest}", true},
      {"zip is a folder",
       [](FgGame& game) {
         fs::remove(game.zip());
         fs::create_directories(game.zip());
       },
       "the package zip SHA-256 unreadable does not match what the download recorded {digest}", true},
      {"all three names foreign",
       [](FgGame& game) {
         for (const char* name : {"version.dll", "winmm.dll", "dbghelp.dll"}) {
           WriteTestFile(game / name, qv::test::ForeignDllBytes(name));
         }
       },
       "no free proxy name (version.dll, winmm.dll and dbghelp.dll are all taken by other software)", false},
      {"folders and foreign dlls take every name",
       [](FgGame& game) {
         fs::create_directories(game / L"version.dll");
         WriteTestFile(game / L"winmm.dll", qv::test::ForeignDllBytes("winmm.dll"));
         fs::create_directories(game / L"dbghelp.dll" / L"inside");
       },
       "no free proxy name (version.dll, winmm.dll and dbghelp.dll are all taken by other software)", false},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    FgGame game;
    c.prepare(game);
    const Tree before = GameTree(game.path());
    std::vector<int> keys;
    const auto started = std::chrono::steady_clock::now();
    const int exit_code = RunFgRouteStep(game.State(RouteAction::kInstall), false,
                                         [&](UpdaterText key) { keys.push_back(static_cast<int>(key)); },
                                         qv::test::QuickServices());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_EQ(exit_code, -1);
    std::string upper = game.zip_digest();
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string detail = c.detail;
    auto replace = [&](const std::string& from, const std::string& to) {
      if (auto at = detail.find(from); at != std::string::npos) detail.replace(at, from.size(), to);
    };
    replace("{zip}", game.zip_digest());
    replace("{upper}", upper);
    replace("{pinned}", std::string(64, '0'));
    replace("{digest}", game.zip_digest());
    EXPECT_EQ(qv::test::FgResult(game.work()), Result("install", -1, detail));
    std::vector<std::string> log;
    if (c.digest_line) log.push_back("fg route: " + detail);
    log.push_back("fg route: install exit -1: " + detail);
    EXPECT_EQ(UpdaterLogMessages(game.path()), log);
    EXPECT_EQ(keys, (std::vector<int>{20, 26}));
    EXPECT_EQ(GameTree(game.path()), before);
  }
}

TEST(FgRouteOperation, AGameStillRunningStopsTheOperationAfterTheWait) {
  for (RouteAction action : {RouteAction::kRemove, RouteAction::kInstall}) {
    FgGame game;
    std::string detail;
    ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
    const Tree before = GameTree(game.path());
    qv::test::RunningGame running;
    auto state = game.State(action);
    state.game_process_id = running.process_id();
    const auto started = std::chrono::steady_clock::now();
    std::vector<int> keys;
    EXPECT_EQ(RunFgRouteStep(state, true, [&](UpdaterText key) { keys.push_back(static_cast<int>(key)); },
                             qv::test::QuickServices(std::chrono::milliseconds(500))),
              -1);
    // Nothing was changed, and the game that still runs is not started again.
    EXPECT_EQ(keys, (std::vector<int>{action == RouteAction::kRemove ? 21 : 20, 27}));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(450));
    EXPECT_EQ(qv::test::FgResult(game.work()),
              Result(std::string(qv::setup::RouteActionWord(action)), -1, "Q.V. was still running after 60 s"));
    EXPECT_EQ(GameTree(game.path()), before);
    running.Close();
    // Once the game has closed, the same step goes through at once.
    EXPECT_EQ(RunFgRouteStep(state, true, [](UpdaterText) {}, qv::test::QuickServices()), 0);
  }
}

TEST(FgRouteOperation, AZipThatIsALinkPassesTheDigestAndIsRefused) {
  for (std::uint32_t tag : {qv::setup::kReparseTagSymlink, qv::setup::kReparseTagMountPoint}) {
    FgGame game;
    const Tree before = GameTree(game.path());
    FgRouteServices services = qv::test::QuickServices();
    services.view = qv::test::ViewWithReparsePoints({{game.zip(), tag}});
    std::string detail;
    EXPECT_EQ(RunOperation(game, RouteAction::kInstall, detail, services), -1);
    EXPECT_EQ(detail, "the package zip is not in the work folder");
    EXPECT_EQ(GameTree(game.path()), before);
  }
}

TEST(FgRouteOperation, AMissingMemberFailsTheInstall) {
  struct Case {
    const char* missing;
    Tree after;  // besides qv.exe: what was unpacked stays
  };
  const Case cases[] = {
      {"version.dll",
       {{"dlssg_sm86.ini", qv::test::kFgSettingsText},
        {"dlssg_sm86/", ""},
        {"dlssg_sm86/nvngx_dlssg.dll", "MZ frame generation"},
        {"dlssg_sm86/runtime/", ""},
        {"dlssg_sm86/runtime/sl.interposer.dll", "MZ interposer"}}},
      {"dlssg_sm86",
       {{"dlssg_sm86.ini", qv::test::kFgSettingsText}, {"version.dll", qv::test::FgProxyLabel("version.dll")}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing);
    std::vector<std::string> leave_out = {c.missing};
    if (std::string(c.missing) == "dlssg_sm86") {
      leave_out = {"dlssg_sm86/"};
      for (const auto& [path, content] : qv::test::FgRuntimeFiles()) leave_out.push_back(path);
    }
    FgGame game;
    // A proxy left in the work folder by an earlier run never stands in for
    // one the package lacks.
    WriteTestFile(game.work() / L"proxy" / L"version.dll", qv::test::FgProxyBytes("version.dll"));
    game.WritePackage(qv::test::FgPackageEntries(leave_out));
    std::string detail;
    EXPECT_EQ(RunOperation(game, RouteAction::kInstall, detail), -1);
    EXPECT_EQ(detail, "the package could not be extracted (tar failed or the proxy did not land)");
    EXPECT_EQ(GameTree(game.path()), PlainTree(c.after));
  }
}

TEST(FgRouteOperation, AMoveAsideThatFailsEndsTheInstallBeforeAnythingIsDeleted) {
  FgGame game;
  std::string detail;
  ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
  WriteTestFile(game / L"version.dll.qv-fg-backup", qv::test::ForeignDllBytes("version.dll"));
  // Once the earlier install is gone and the backup is back under its name,
  // something takes the backup's name before the install can move the
  // foreign DLL aside again.
  FgRouteServices services = qv::test::QuickServices();
  const fs::path target = game / L"version.dll";
  const fs::path backup = game / L"version.dll.qv-fg-backup";
  services.view.find_item = [target, backup](const fs::path& path) {
    if (path == target && qv::setup::ReadFileText(target).rfind("MZ another", 0) == 0) {
      std::error_code ignored;
      fs::create_directories(backup / L"in the way", ignored);
    }
    return qv::setup::SystemView().find_item(path);
  };
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, detail, services), -1);
  EXPECT_EQ(detail, "the original version.dll could not be moved aside to version.dll.qv-fg-backup");
  EXPECT_EQ(GameTree(game.path()), PlainTree({{"version.dll", qv::test::ForeignDllBytes("version.dll")},
                                              {"version.dll.qv-fg-backup/", ""},
                                              {"version.dll.qv-fg-backup/in the way/", ""}}));
}

// A copy of the proxy that stops halfway (a full disk, a kill) never leaves a
// part of it under a name the game loads: the game folder holds the whole
// proxy or none. The next install puts the unlock down under the same name
// and the remove then takes everything out.
TEST(FgRouteOperation, AProxyCopyStoppedHalfwayLeavesTheWholeProxyOrNone) {
  struct Killed {};
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed halfway" : "failed halfway");
    FgGame game;
    FgRouteServices services = qv::test::QuickServices();
    services.copy_file = [&](const fs::path& from, const fs::path& to) -> bool {
      const std::string bytes = ReadTestFile(from);
      WriteTestFile(to, bytes.substr(0, bytes.size() / 2));
      if (killed) throw Killed{};
      return false;
    };
    std::string detail;
    if (killed) {
      EXPECT_THROW(RunOperation(game, RouteAction::kInstall, detail, services), Killed);
    } else {
      EXPECT_EQ(RunOperation(game, RouteAction::kInstall, detail, services), -1);
      EXPECT_EQ(detail, "the package could not be extracted (tar failed or the proxy did not land)");
    }
    for (const char* name : {"version.dll", "winmm.dll", "dbghelp.dll"}) {
      const fs::path proxy = game / qv::setup::Utf8ToWide(name);
      if (fs::exists(proxy)) {
        EXPECT_TRUE(ReadTestFile(proxy) == qv::test::FgProxyBytes(name))
            << name << " holds " << ReadTestFile(proxy).size() << " bytes";
      }
    }

    ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
    EXPECT_EQ(GameTree(game.path()), InstalledTree("version.dll"));
    ASSERT_EQ(RunOperation(game, RouteAction::kRemove, detail), 0);
    EXPECT_EQ(GameTree(game.path()), PlainTree());
  }
}

// What a run killed while it wrote the unlock's files leaves under their
// temporary names goes with the next run, an install or a remove.
TEST(FgRouteOperation, TemporariesOfAKilledRunGoWithTheNextRun) {
  const Tree leftovers{{"version.dll.qv-tmp", "MZ half a proxy"},
                       {"dbghelp.dll.qv-tmp", "MZ half a proxy"},
                       {"dlssg_sm86.qv-tmp/dlssg_sm86/nvngx_dlssg.dll", "half a runtime"},
                       {"dlssg_sm86.qv-tmp/dlssg_sm86.ini", "[dlssg]"}};
  for (const RouteAction action : {RouteAction::kInstall, RouteAction::kRemove}) {
    SCOPED_TRACE(action == RouteAction::kInstall ? "install" : "remove");
    FgGame game;
    for (const auto& [path, content] : leftovers) WriteTestFile(game / qv::setup::Utf8ToWide(path), content);
    std::string detail;
    ASSERT_EQ(RunOperation(game, action, detail), 0) << detail;
    EXPECT_EQ(GameTree(game.path()), action == RouteAction::kInstall ? InstalledTree("version.dll") : PlainTree());
  }
}

TEST(FgRouteOperation, ProxyNameChoice) {
  struct Case {
    const char* name;
    std::function<void(FgGame&)> prepare;
    std::string proxy;
  };
  const Case cases[] = {
      {"nothing there", [](FgGame&) {}, "version.dll"},
      {"foreign version.dll",
       [](FgGame& game) { WriteTestFile(game / L"version.dll", qv::test::ForeignDllBytes("version.dll")); },
       "winmm.dll"},
      {"a folder named version.dll", [](FgGame& game) { fs::create_directories(game / L"version.dll"); },
       "winmm.dll"},
      {"foreign version.dll and winmm.dll",
       [](FgGame& game) {
         WriteTestFile(game / L"version.dll", qv::test::ForeignDllBytes("version.dll"));
         WriteTestFile(game / L"winmm.dll", qv::test::ForeignDllBytes("winmm.dll"));
       },
       "dbghelp.dll"},
      {"our proxy under winmm.dll, no record",
       [](FgGame& game) {
         WriteTestFile(game / L"version.dll", qv::test::ForeignDllBytes("version.dll"));
         WriteTestFile(game / L"winmm.dll", "MZ an earlier proxy, dlssg_sm86");
       },
       "winmm.dll"},
      {"recorded dbghelp.dll, free",
       [](FgGame& game) { WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "dbghelp.dll"})"); },
       "dbghelp.dll"},
      {"recorded dbghelp.dll, taken by another program",
       [](FgGame& game) {
         WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "dbghelp.dll"})");
         WriteTestFile(game / L"dbghelp.dll", qv::test::ForeignDllBytes("dbghelp.dll"));
       },
       "version.dll"},
      {"recorded name outside the game folder",
       [](FgGame& game) { WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "..\\..\\x.dll"})"); },
       "version.dll"},
      {"recorded name qv.exe",
       [](FgGame& game) { WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "qv.exe"})"); },
       "version.dll"},
      {"recorded name in capitals",
       [](FgGame& game) { WriteTestFile(game / L"qv-dlssg-route.json", R"({"proxy": "WINMM.DLL"})"); },
       "version.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FgGame game;
    c.prepare(game);
    std::string detail;
    ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
    EXPECT_EQ(detail, "installed proxy " + c.proxy + ", DLSS-G runtime sm86-3.10.2");
    EXPECT_EQ(ReadTestFile(game / c.proxy), qv::test::FgProxyBytes(c.proxy));
    EXPECT_EQ(qv::setup::RecordedProxyName(game.path()), c.proxy);
  }
}

TEST(FgRouteOperation, ALineBreakInThePackagesTextsStaysInItsLine) {
  const std::string manifest = R"({"bundle": {"runtime_model": "sm86\nfg route: forged line"}, "files": []})";
  FgGame game(qv::test::FgPackageEntries({}, {{"manifest.json", manifest}}));
  ASSERT_EQ(RunFgRouteStep(game.State(RouteAction::kInstall), false, [](UpdaterText) {}), 0);
  const std::string detail = "installed proxy version.dll, DLSS-G runtime sm86 fg route: forged line";
  EXPECT_EQ(qv::test::FgResult(game.work()), Result("install", 0, detail));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{
                "fg route: installed: proxy version.dll, runtime sm86 fg route: forged line, 2 files (tool github "
                "v0.4.0)",
                "fg route: install exit 0: " + detail}));
  const auto record = qv::setup::ParseJsonDocument(ReadTestFile(game / L"qv-dlssg-route.json"));
  ASSERT_TRUE(record);
  EXPECT_EQ(qv::setup::JsonStringMember(*record, "runtime"), "sm86\nfg route: forged line");
}

TEST(FgRouteOperation, TheAddressVariableNamesTheZip) {
  FgGame game;
  fs::rename(game.zip(), game.work() / L"other-package.zip");
  std::string detail;
  {
    qv::test::ScopedVariable address("QV_FG_TOOL_URL", "https://example.test/releases/v0.5.0/other-package.zip");
    ASSERT_EQ(RunOperation(game, RouteAction::kInstall, detail), 0) << detail;
    EXPECT_EQ(GameTree(game.path()), InstalledTree("version.dll"));
  }
  {
    // An address ending in "/" names no zip.
    qv::test::ScopedVariable address("QV_FG_TOOL_URL", "https://example.test/releases/v0.5.0/");
    EXPECT_EQ(RunOperation(game, RouteAction::kReinstall, detail), -1);
    EXPECT_EQ(detail, "the package zip SHA-256 unreadable does not match what the download recorded " +
                          game.zip_digest());
  }
  // The built-in name: no zip of that name is there.
  EXPECT_EQ(RunOperation(game, RouteAction::kInstall, detail), -1);
  EXPECT_EQ(detail, "the package zip SHA-256 unreadable does not match what the download recorded " +
                        game.zip_digest());
  EXPECT_EQ(GameTree(game.path()), InstalledTree("version.dll"));
}

// The role's worker thread without a window, installing in `game` (or
// refused with `refusal`); the keys it showed.
std::vector<int> RunRoleThread(const FgGame& game, const std::string& refusal = {}) {
  qv::setup::win_route::SetCurrentState(nullptr);
  qv::setup::fg_route::Args args;
  args.game_folder = game.path();
  args.work_folder = game.work();
  args.valid = true;
  std::vector<int> keys;
  qv::setup::FgRouteThread(args, qv::test::QuickServices(), refusal,
                           [&](UpdaterText key) { keys.push_back(static_cast<int>(key)); });
  return keys;
}

TEST(FgRouteOperation, AnErrorOutOfTheOperationStillEndsTheRoleWithItsResult) {
  FgGame game;
  // An address the program cannot read as text makes the operation raise.
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QV_FG_TOOL_URL", L"https://example.test/\xD800.zip"));
  const std::vector<int> keys = RunRoleThread(game);
  ::SetEnvironmentVariableW(L"QV_FG_TOOL_URL", nullptr);
  EXPECT_EQ(keys, (std::vector<int>{20, 26}));
  const std::string result = qv::test::FgResult(game.work());
  EXPECT_EQ(result.rfind("kind install\nexit -1\ndetail ", 0), 0u) << result;
  EXPECT_GT(result.size(), std::string("kind install\nexit -1\ndetail \n").size()) << result;
  const auto log = UpdaterLogMessages(game.path());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "fg route: install exit -1: " + result.substr(28, result.size() - 29));
  EXPECT_EQ(GameTree(game.path()), PlainTree());
}

// Another run holds the installation: nothing runs, and the notice leaves the
// game to that run.
TEST(FgRouteOperation, ARefusalChangesNothingAndLeavesTheGameToTheOtherRun) {
  FgGame game;
  const std::vector<int> keys = RunRoleThread(game, "Another update of this install is running.");
  EXPECT_EQ(qv::test::FgResult(game.work()), Result("install", -1, "Another update of this install is running."));
  EXPECT_EQ(keys, std::vector<int>{28});
  EXPECT_EQ(GameTree(game.path()), PlainTree());
}

}  // namespace
