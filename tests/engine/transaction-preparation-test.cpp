// What refuses an install or update run before a single file is written, and
// the order in which the preparation settles it.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/transaction/install-transaction.h"
#include "engine/transaction/transaction-queries.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "gamesource/game-source.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"
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
using qv::setup::TransactionQueries;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::InstalledSite;
using qv::test::PlentyOfSpace;
using qv::test::SnapshotWithoutLog;
using qv::test::TemporaryItemsBeside;
using qv::test::ThrownMessage;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
const std::string kNotPortable =
    "This folder is not a Q.V. DU Vora portable copy (no qv-files.json naming the game).";
const std::string kArchivesMissing =
    "The game archives of this install are missing or damaged. Select your Q.V. PKG or dumped game folder to "
    "restore them.";
const std::string kNeed3 = "At least 3 GB free space is required.";
const std::string kNeed1 = "At least 1 GB free space is required.";
const std::string kNoRunId = "This run has no identifier that can name its temporary folders.";
const std::string kDownloadElsewhere =
    "The download folder must lie beside the installation, with a name that starts with \".qv-update-dl-\".";

// One run of the transaction against an installation of 1.0.0 (an update) or
// a folder beside it that does not exist yet (a fresh installation).
struct PreparedRun {
  InstalledSite& site;
  fs::path destination;
  fs::path source;
  InstallHooks hooks;
  TransactionQueries queries = PlentyOfSpace();
  std::vector<fs::path> validated;
  std::vector<fs::path> space_asked;

  PreparedRun(InstalledSite& installed, bool update)
      : site(installed),
        destination(update ? installed.install : installed.temp / L"games" / L"Second"),
        source(update ? fs::path() : installed.dump),
        hooks(installed.UpdateHooks("prep")) {
    hooks.validate_destination = [this](const fs::path& path) { validated.push_back(path); };
  }

  void SpaceOf(std::uint64_t bytes) {
    queries.available_space = [this, bytes](const fs::path& folder) {
      space_asked.push_back(folder);
      return bytes;
    };
  }
  std::string Failure() {
    InstallOutcome outcome;
    return ThrownMessage([&] { RunInstallTransaction(outcome, source, destination, false, hooks, queries); });
  }
};

struct RefusalCase {
  const char* name;
  bool update;
  std::function<void(PreparedRun&)> arrange;
  std::string expected;  // empty: ResolveGameSource's own text for run.source
};

TEST(TransactionPreparation, RefusalsLeaveEverythingAsItWas) {
  const RefusalCase cases[] = {
      {"empty destination", false, [](PreparedRun& run) { run.destination.clear(); }, "Choose an installation folder."},
      {"caller's check", true,
       [](PreparedRun& run) {
         run.hooks.validate_destination = [](const fs::path&) {
           throw std::runtime_error("Choose a destination without junctions or symbolic links.");
         };
       },
       "Choose a destination without junctions or symbolic links."},
      {"no destination check", true, [](PreparedRun& run) { run.hooks.validate_destination = nullptr; },
       "bad_function_call"},
      {"no setup check", true, [](PreparedRun& run) { run.hooks.verify_setup = nullptr; }, "bad_function_call"},
      {"not a portable copy", true, [](PreparedRun& run) { run.hooks.portable_copy = true; }, kNotPortable},
      {"archives missing, no source", true,
       [](PreparedRun& run) { fs::remove(run.destination / L"CUSA09901" / L"texture.qar"); }, kArchivesMissing},
      {"fresh without source", false, [](PreparedRun& run) { run.source.clear(); }, ""},
      {"damaged dumped game", false,
       [](PreparedRun& run) {
         run.source = run.site.temp / L"other dump";
         WriteFixtureFile(run.source / L"chunk1.psarc", "not an archive");
         WriteFixtureFile(run.source / L"texture.qar", "not a texture either");
       },
       ""},
      {"setup file refused", true,
       [](PreparedRun& run) { run.hooks.verify_setup = [] { throw std::runtime_error("The setup file is damaged."); }; },
       "The setup file is damaged."},
      {"parent not writable", false,
       [](PreparedRun& run) {
         run.queries.probe_writable = [](const fs::path&, std::string_view, const std::string& label) {
           if (label == "installation parent folder") throw std::runtime_error("The " + label + " is not writable.");
         };
       },
       "The installation parent folder is not writable."},
      {"installation not writable", true,
       [](PreparedRun& run) {
         run.queries.probe_writable = [](const fs::path&, std::string_view, const std::string& label) {
           if (label == "existing installation folder") throw std::runtime_error("The " + label + " is not writable.");
         };
       },
       "The existing installation folder is not writable."},
      {"fresh, just under 3 GiB", false, [](PreparedRun& run) { run.SpaceOf(3 * kGiB - 1); }, kNeed3},
      {"update, just under 1 GiB", true, [](PreparedRun& run) { run.SpaceOf(kGiB - 1); }, kNeed1},
      {"archives restored, just under 3 GiB", true,
       [](PreparedRun& run) {
         fs::remove(run.destination / L"CUSA09901" / L"chunk1.psarc");
         run.source = run.site.dump;
         run.SpaceOf(3 * kGiB - 1);
       },
       kNeed3},
      {"volume cannot tell", true,
       [](PreparedRun& run) {
         run.queries.available_space = [](const fs::path& folder) -> std::uint64_t {
           throw fs::filesystem_error("space", folder, std::error_code(21, std::system_category()));
         };
       },
       ""},
      {"empty run identifier", true, [](PreparedRun& run) { run.hooks.run_id.clear(); }, kNoRunId},
      {"empty run identifier, fresh", false, [](PreparedRun& run) { run.hooks.run_id.clear(); }, kNoRunId},
      {"run identifier with a separator", true, [](PreparedRun& run) { run.hooks.run_id = "a/b"; }, kNoRunId},
      {"run identifier of dots", true, [](PreparedRun& run) { run.hooks.run_id = ".."; }, kNoRunId},
      {"download folder elsewhere", true,
       [](PreparedRun& run) { run.hooks.download_folder = run.site.temp / L"downloads" / L".qv-update-dl-prep"; },
       kDownloadElsewhere},
      {"download folder without its prefix", true,
       [](PreparedRun& run) { run.hooks.download_folder = run.site.temp / L"games" / L"downloads"; },
       kDownloadElsewhere},
      {"download folder inside the installation", true,
       [](PreparedRun& run) { run.hooks.download_folder = run.destination / L".qv-update-dl-prep"; },
       kDownloadElsewhere},
      {"staging folder taken", true,
       [](PreparedRun& run) { WriteFixtureFile(run.site.temp / L"games" / L".qv-update-prep" / L"theirs.txt", "kept"); },
       "Could not create staging directory."},
  };
  for (const RefusalCase& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    InstalledSite site;
    PreparedRun run(site, refusal.update);
    refusal.arrange(run);
    const TreeSnapshot games = SnapshotWithoutLog(site.temp / L"games");
    std::string expected = refusal.expected;
    if (expected.empty() && std::string(refusal.name) == "volume cannot tell") {
      expected = fs::filesystem_error("space", qv::setup::ParentFolder(run.destination),
                                      std::error_code(21, std::system_category()))
                     .what();
    } else if (expected.empty()) {
      expected = ThrownMessage([&] { qv::setup::ResolveGameSource(run.source); });
    }
    EXPECT_EQ(run.Failure(), expected);
    EXPECT_EQ(SnapshotWithoutLog(site.temp / L"games"), games);
  }
}

TEST(TransactionPreparation, ValidatorFirstThenTheSpaceOfTheDestinationsVolume) {
  InstalledSite site;
  PreparedRun empty(site, false);
  empty.destination.clear();
  empty.Failure();
  EXPECT_TRUE(empty.validated.empty());

  PreparedRun fresh(site, false);
  fresh.destination = site.temp / L"games" / L"." / L"Second" / L"";
  fresh.SpaceOf(3 * kGiB);  // exactly enough
  EXPECT_EQ(fresh.Failure(), "(no exception)");
  const fs::path normal = site.temp / L"games" / L"Second";
  ASSERT_FALSE(fresh.validated.empty());
  EXPECT_EQ(fresh.validated.front(), normal);
  EXPECT_EQ(fresh.validated.back(), site.temp / L"games" / L".qv-install-prep" / L"data");  // the staged data folder
  EXPECT_EQ(fresh.space_asked, std::vector<fs::path>{site.temp / L"games"});

  PreparedRun update(site, true);
  update.SpaceOf(kGiB);  // an installation with its archives needs no game source
  EXPECT_EQ(update.Failure(), "(no exception)");
  EXPECT_EQ(update.validated, (std::vector<fs::path>{site.install, site.install / L"data"}));
}

TEST(TransactionPreparation, PortableCopyNeedsNoSourceAndOneGiB) {
  InstalledSite site;
  const fs::path portable = site.temp / L"portable";
  qv::test::WritePortableCopy(portable);
  PreparedRun run(site, true);
  run.destination = portable;
  run.source = site.dump;  // ignored for a portable copy
  run.hooks.portable_copy = true;
  run.SpaceOf(kGiB);
  EXPECT_EQ(run.Failure(), "(no exception)");
  EXPECT_EQ(ReadFileText(portable / L"qv.exe"), "game executable 1.1.0");
  EXPECT_FALSE(qv::setup::ReadItemStatus(portable / L"CUSA09901"));
  EXPECT_FALSE(qv::setup::ReadItemStatus(portable / L"qv-install-manifest.txt"));
}

TEST(TransactionPreparation, RelativeDestinationAgainstTheCurrentFolder) {
  InstalledSite site;
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(site.temp.path().c_str()));
  PreparedRun run(site, false);
  run.destination = L"games\\Relative";
  const std::string failure = run.Failure();
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(failure, "(no exception)");
  EXPECT_EQ(ReadFileText(site.temp / L"games" / L"Relative" / L"qv.exe"), "game executable 1.1.0");
}

// A journal an interrupted update left: it added "shaders/extra.spv" before it stopped.
void LeaveInterruptedUpdate(const InstalledSite& site, std::uint64_t pid) {
  const fs::path parent = site.temp / L"games";
  WriteFixtureFile(site.install / L"shaders" / L"extra.spv", "half-way");
  fs::create_directories(parent / L".qv-update-old");
  qv::setup::UpdateJournal journal;
  journal.install = site.install;
  journal.staging = parent / L".qv-update-old";
  journal.backup = parent / L".qv-update-old-old";
  journal.pid = pid;
  journal.steps = {{'a', "shaders/extra.spv"}};
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(qv::setup::UpdateJournalPath(site.install), journal));
}

TEST(TransactionPreparation, InterruptedUpdateIsRecoveredFirst) {
  InstalledSite site;
  // The journal names this very process: ids prove nothing of its writer.
  LeaveInterruptedUpdate(site, ::GetCurrentProcessId());

  InstallOutcome outcome;
  InstallHooks hooks = site.UpdateHooks("after");
  RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
  EXPECT_TRUE(outcome.recovery_done);
  EXPECT_TRUE(outcome.updated);
  EXPECT_FALSE(qv::setup::ReadItemStatus(site.install / L"shaders" / L"extra.spv"));
  EXPECT_FALSE(qv::setup::ReadItemStatus(qv::setup::UpdateJournalPath(site.install)));
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
}

}  // namespace
