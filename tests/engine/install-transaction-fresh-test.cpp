// A fresh installation through the whole transaction: staging folder beside
// the destination, one rename into place, never over an existing folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/transaction/install-transaction.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "gamesource/archive-copy.h"
#include "gamesource/game-source.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-pkg.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/temp-folder.h"
#include "support/thrown.h"
#include "transaction-fixtures.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::InstallHooks;
using qv::setup::InstallOutcome;
using qv::setup::ReadFileText;
using qv::setup::RunInstallTransaction;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::HookRecorder;
using qv::test::MakeTestHooks;
using qv::test::MakeTestPayload;
using qv::test::PlentyOfSpace;
using qv::test::PortFiles;
using qv::test::TempFolder;
using qv::test::TemporaryItemsBeside;
using qv::test::ThrownMessage;

const std::string kNeverOverwritten = "Choose a new installation folder. Existing folders are never overwritten.";

// A player's dumped game beside an installation that does not exist yet.
struct FreshSite {
  TempFolder temp;
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path destination = temp / L"games" / L"Q.V. \u00e9dition";
  std::shared_ptr<const qv::test::TestPayload> payload = MakeTestPayload(temp / L"scratch", PortFiles("1.0.0"));
  std::vector<fs::path> shortcuts;
  InstallHooks hooks = MakeTestHooks(payload, "1.0.0", "fresh", &shortcuts);

  FreshSite() { qv::setup::WriteDumpedGame(dump); }

  void Run(InstallOutcome& outcome, const fs::path& source, bool shortcut = true) {
    RunInstallTransaction(outcome, source, destination, shortcut, hooks, PlentyOfSpace());
  }
  std::string Failure(const fs::path& source) {
    InstallOutcome outcome;
    return ThrownMessage([&] { Run(outcome, source); });
  }
};

// The install manifest a fresh installation of the payload from `source` holds.
std::string ExpectedManifest(const qv::test::TestPayload& payload, const std::string& version,
                             const std::string& source) {
  std::string text = "qv-port-install 1\nversion=" + version + "\n";
  if (!source.empty()) text += "source=" + source + "\n";
  for (const auto& entry : qv::setup::ReadPayloadIndex(payload.image.data(), payload.image.size())) {
    text += "file=" + entry.sha256 + " " + entry.name + "\n";
  }
  return text;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(FreshInstall, FromDumpedFolder) {
  FreshSite site;
  site.hooks.before_commit = [] { ADD_FAILURE() << "a fresh installation has nothing to commit file by file"; };
  HookRecorder hooks;
  InstallOutcome outcome;
  outcome.notes = {"left by the caller"};
  outcome.warnings = {"left by the caller"};
  site.Run(outcome, site.dump);

  const std::string recorded_source = qv::setup::ToGenericUtf8(site.dump);
  const TreeSnapshot expected{
      {"CUSA09901/", ""},
      {"CUSA09901/chunk1.psarc", qv::setup::PsarcBytes()},
      {"CUSA09901/pathid_list_ps4.bin", qv::setup::PathIdListBytes(true)},
      {"CUSA09901/sce_sys/", ""},
      {"CUSA09901/sce_sys/pic1.png", qv::setup::PngBytes("pic1 CUSA09901")},
      {"CUSA09901/source.txt", qv::setup::RenderSourceRecord(qv::setup::ResolveGameSource(site.dump).files)},
      {"CUSA09901/texture.qar", qv::setup::QarBytes()},
      {"data/", ""},
      {"icon0.png", qv::setup::PngBytes("icon0 CUSA09901")},
      {"qv-install-manifest.txt", ExpectedManifest(*site.payload, "1.0.0", recorded_source)},
      {"qv.exe", "game executable 1.0.0"},
      {"shaders/", ""},
      {"shaders/a.spv", "shader a"},
      {"shaders/old.spv", "old shader"},
      {"voice/", ""},
      {"voice/model.bin", "voice model"},
  };
  EXPECT_EQ(SnapshotTree(site.destination), expected);
  EXPECT_EQ(TemporaryItemsBeside(site.destination), std::vector<std::string>{});
  EXPECT_EQ(site.shortcuts, std::vector<fs::path>{site.destination});

  EXPECT_FALSE(outcome.updated);
  EXPECT_FALSE(outcome.archives_restored);
  EXPECT_FALSE(outcome.title_picture_missing);
  EXPECT_FALSE(outcome.recovery_done);
  EXPECT_TRUE(outcome.notes.empty());  // cleared, and a clean dump has none
  EXPECT_TRUE(outcome.warnings.empty());
  EXPECT_TRUE(outcome.journal_path.empty());
  EXPECT_EQ(outcome.replaced + outcome.added + outcome.removed, 0u);
  EXPECT_EQ(outcome.unchanged + outcome.verified + outcome.repaired + outcome.bytes_to_write, 0u);

  EXPECT_TRUE(Contains(hooks.lines, "Verifying the setup file..."));
  EXPECT_TRUE(Contains(hooks.lines, "Preparing native PC runtime..."));
  EXPECT_FALSE(Contains(hooks.lines, "Updating the program files..."));
  // Planned over payload and archives; raised by both, never backwards.
  ASSERT_FALSE(hooks.progress.empty());
  const std::uint64_t total = hooks.progress.front().second;
  EXPECT_EQ(hooks.progress.front().first, 0u);
  EXPECT_EQ(total, site.hooks.payload_size() + qv::setup::PsarcBytes().size() + qv::setup::QarBytes().size() +
                       qv::setup::PathIdListBytes(true).size());
  EXPECT_TRUE(std::is_sorted(hooks.progress.begin(), hooks.progress.end()));
  EXPECT_EQ(hooks.progress.back(), std::make_pair(total, total));

  const qv::setup::ExistingInstall installed = qv::setup::ReadExistingInstall(site.destination);
  EXPECT_TRUE(installed.has_manifest);
  EXPECT_EQ(installed.version, "1.0.0");
  EXPECT_EQ(installed.source, recorded_source);
}

TEST(FreshInstall, EmptyFolderIsReplacedAnythingElseRefused) {
  FreshSite empty;
  fs::create_directories(empty.destination);
  InstallOutcome outcome;
  empty.Run(outcome, empty.dump);
  EXPECT_EQ(ReadFileText(empty.destination / L"qv.exe"), "game executable 1.0.0");

  FreshSite file;
  WriteFixtureFile(file.destination, "someone's file");
  EXPECT_EQ(file.Failure(file.dump), kNeverOverwritten);
  EXPECT_EQ(ReadFileText(file.destination), "someone's file");
  EXPECT_EQ(TemporaryItemsBeside(file.destination), std::vector<std::string>{});

  // Something that appears while the staging folder is built is not overwritten either.
  FreshSite late;
  late.hooks.check_payload = [&](const std::vector<qv::setup::InstalledFile>&) {
    WriteFixtureFile(late.destination / L"notes.txt", "arrived meanwhile");
  };
  EXPECT_EQ(late.Failure(late.dump), kNeverOverwritten);
  EXPECT_EQ(SnapshotTree(late.destination), (TreeSnapshot{{"notes.txt", "arrived meanwhile"}}));
  EXPECT_EQ(TemporaryItemsBeside(late.destination), std::vector<std::string>{});
  EXPECT_TRUE(late.shortcuts.empty());
}

TEST(FreshInstall, FailureAfterStagingLeavesNothing) {
  FreshSite site;
  site.hooks.check_payload = [](const std::vector<qv::setup::InstalledFile>&) {
    throw std::runtime_error("The installer payload is missing required runtime file nvngx_dlss.dll.");
  };
  EXPECT_EQ(site.Failure(site.dump), "The installer payload is missing required runtime file nvngx_dlss.dll.");
  EXPECT_FALSE(qv::setup::ReadItemStatus(site.destination));
  EXPECT_EQ(TemporaryItemsBeside(site.destination), std::vector<std::string>{});
}

TEST(FreshInstall, ShortcutFailureIsAWarning) {
  FreshSite site;
  site.hooks.create_shortcut = [](const fs::path&) { throw std::runtime_error("no desktop here"); };
  InstallOutcome outcome;
  site.Run(outcome, site.dump);
  EXPECT_EQ(outcome.warnings, std::vector<std::string>{"The desktop shortcut could not be created: no desktop here"});
  EXPECT_TRUE(outcome.notes.empty());  // the game copy is as tested
  EXPECT_EQ(ReadFileText(site.destination / L"qv.exe"), "game executable 1.0.0");
  EXPECT_EQ(TemporaryItemsBeside(site.destination), std::vector<std::string>{});

  // Without a shortcut callable a run that asks for one is refused before it starts.
  FreshSite empty;
  empty.hooks.create_shortcut = nullptr;
  EXPECT_EQ(empty.Failure(empty.dump), "bad_function_call");
  EXPECT_FALSE(qv::setup::ReadItemStatus(empty.destination));
  EXPECT_EQ(TemporaryItemsBeside(empty.destination), std::vector<std::string>{});
  InstallOutcome without;
  empty.Run(without, empty.dump, false);
  EXPECT_TRUE(qv::setup::ReadItemStatus(empty.destination / L"qv.exe"));
}

TEST(FreshInstall, FromConsolePackage) {
  FreshSite site;
  const fs::path package = site.temp / L"downloads" / L"game.pkg";
  const std::string image = qv::setup::BuildTestPkg(qv::setup::PngBytes("package icon"), false);
  WriteFixtureFile(package, image);
  std::vector<fs::path> extracted;
  site.hooks.extract_package = [&](const fs::path& work, const fs::path& from) {
    extracted = {work, from};
    qv::setup::WriteGameArchives(work / L"CUSA09901");
    WriteFixtureFile(work / L"install-extraction.log", "unpacking\r\nwarning: entry 7 is odd\r\nWarning: no\r\n");
  };
  HookRecorder hooks;
  InstallOutcome outcome;
  site.Run(outcome, package);

  ASSERT_EQ(extracted.size(), 2u);
  EXPECT_EQ(qv::setup::WideToUtf8(extracted[0].filename().native()), ".qv-install-fresh");
  EXPECT_EQ(qv::setup::ParentFolder(extracted[0]), qv::setup::ParentFolder(qv::setup::NormalAbsolutePath(site.destination)));
  EXPECT_EQ(extracted[1], package);
  EXPECT_EQ(outcome.notes, std::vector<std::string>{"entry 7 is odd"});
  EXPECT_EQ(ReadFileText(site.destination / L"install-notes.txt"), "entry 7 is odd\n");
  EXPECT_TRUE(qv::setup::ReadItemStatus(site.destination / L"install-extraction.log"));
  EXPECT_TRUE(qv::setup::ReadItemStatus(site.destination / L"CUSA09901" / L"chunk1.psarc"));
  // The package holds an icon but no title picture, and no dump lies beside the installation.
  EXPECT_TRUE(outcome.title_picture_missing);
  EXPECT_EQ(ReadFileText(site.destination / L"icon0.png"), qv::setup::PngBytes("package icon"));
  EXPECT_TRUE(Contains(hooks.lines, "Extracting your game package..."));
  // The package's share of the progress is counted once the helper is done.
  const std::uint64_t total = site.hooks.payload_size() + image.size();
  EXPECT_EQ(hooks.progress.front(), std::make_pair(std::uint64_t{0}, total));
  EXPECT_EQ(hooks.progress.back(), std::make_pair(total, total));
  EXPECT_TRUE(std::is_sorted(hooks.progress.begin(), hooks.progress.end()));
}

}  // namespace
