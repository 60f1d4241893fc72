#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/rename-item.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-mode.h"
#include "support/child-process.h"
#include "support/short-names.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::setup::CommitResult;
using qv::setup::CommitStagedFiles;
using qv::setup::InstalledFile;
using qv::setup::JournalContext;
using qv::setup::JournalStep;
using qv::setup::ReadFileText;
using qv::setup::ReadUpdateJournal;
using qv::setup::SimulatedCrash;
using qv::setup::SnapshotFileContents;
using qv::setup::IsUpdateLogKey;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::TempFolder;
using qv::test::ThrownMessage;

// The new release's files as the commit is asked to move them.
std::vector<InstalledFile> PlannedFiles() {
  return {{"qv.exe", ""}, {"shaders/a.spv", ""}, {"shaders/b.spv", ""}, {"shaders/new/c.spv", ""}};
}

// The commit's surroundings, found again from the site's root folder (the
// pause test runs the commit in a child process).
struct CommitPlaces {
  fs::path parent;
  fs::path install = parent / L"Game";
  fs::path staging = parent / L".qv-update-run";
  fs::path backup = parent / L".qv-update-old-run";
  JournalContext context;

  explicit CommitPlaces(fs::path root) : parent(std::move(root)) {
    context.journal_path = qv::setup::UpdateJournalPath(install);
    context.old_version = "1.0.3";
    context.new_version = "9.9.9";
    context.pid = 4242;
  }

  CommitResult Commit(std::int32_t fail_at, const JournalContext* journal,
                      std::vector<InstalledFile> installed = PlannedFiles(),
                      std::vector<std::string> extra = {"qv-install-manifest.txt"}) const {
    return CommitStagedFiles(staging, install, installed, extra, qv::setup::ReadExistingInstall(install), backup,
                             fail_at, journal, {});
  }
};

// An installation of 1.0.3 with the player's settings and a leftover of an
// older package ("extractor/QV.PkgExtract.exe"), and the staged release 9.9.9,
// which adds shaders/b.spv and shaders/new/c.spv and no longer has
// shaders/gone.spv. The commit's steps:
//   0 qv.exe  1 shaders/a.spv  2 shaders/b.spv  3 shaders/new/c.spv
//   4 qv-install-manifest.txt  5 extractor/QV.PkgExtract.exe
//   6 shaders/gone.spv  7 after the last pruning.
constexpr std::int32_t kLastStep = 7;

struct CommitSite {
  TempFolder temp;
  CommitPlaces places{qv::setup::WeaklyCanonicalPath(temp.path())};
  TreeSnapshot install_before;
  TreeSnapshot staging_before;

  CommitSite() {
    qv::setup::BuildJournalTestInstall(places.install, places.staging);
    WriteFixtureFile(places.install / L"extractor" / L"QV.PkgExtract.exe", "old extractor");
    WriteFixtureFile(places.staging / L"shaders" / L"new" / L"c.spv", "new c");
    install_before = SnapshotTree(places.install, IsUpdateLogKey);
    staging_before = SnapshotTree(places.staging, IsUpdateLogKey);
  }

  CommitResult Commit(std::int32_t fail_at = -1, bool with_journal = true) const {
    return places.Commit(fail_at, with_journal ? &places.context : nullptr);
  }

  TreeSnapshot Everything() const { return SnapshotTree(places.parent, IsUpdateLogKey); }
  bool JournalExists() const { return fs::exists(places.context.journal_path); }

  // The installation and the staging folder as they were before the commit,
  // and no journal.
  void ExpectUndone(const std::string& what = "") const {
    EXPECT_EQ(SnapshotTree(places.install, IsUpdateLogKey), install_before) << what;
    EXPECT_EQ(SnapshotTree(places.staging, IsUpdateLogKey), staging_before) << what;
    EXPECT_FALSE(JournalExists()) << what;
  }
};

const TreeSnapshot kNewVersion{{"data/", ""},
                               {"data/qv.ini", "settings"},
                               {"qv-install-manifest.txt", "qv-port-install 1\nversion=9.9.9\n"},
                               {"qv.exe", "new exe"},
                               {"shaders/", ""},
                               {"shaders/a.spv", "new a"},
                               {"shaders/b.spv", "new b"},
                               {"shaders/new/", ""},
                               {"shaders/new/c.spv", "new c"}};

// Restores a process-wide hook when the test ends.
struct CancelHookGuard {
  ~CancelHookGuard() { qv::setup::CancelHook = nullptr; }
};

TEST(CommitStagedFiles, MovesEverythingWithBackupsUnderTheJournal) {
  CommitSite site;
  const CommitResult result = site.Commit();
  EXPECT_EQ(result.replaced, 3u);
  EXPECT_EQ(result.added, 2u);
  EXPECT_EQ(result.removed, 2u);
  EXPECT_TRUE(result.messages.empty());

  EXPECT_EQ(SnapshotTree(site.places.install, [](const std::string& key) { return key == "data/update-journal.txt" || IsUpdateLogKey(key); }),
            kNewVersion);
  EXPECT_TRUE(SnapshotFileContents(site.places.staging).empty());
  const std::string old_manifest = ReadFileText(site.places.backup / L"qv-install-manifest.txt");
  EXPECT_NE(old_manifest.find("version=1.0.3"), std::string::npos);
  EXPECT_EQ(SnapshotFileContents(site.places.backup), (TreeSnapshot{{"extractor/QV.PkgExtract.exe", "old extractor"},
                                                                    {"qv-install-manifest.txt", old_manifest},
                                                                    {"qv.exe", "old exe"},
                                                                    {"shaders/a.spv", "old a"},
                                                                    {"shaders/gone.spv", "old gone"}}));

  auto journal = ReadUpdateJournal(site.places.context.journal_path);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalSwapping);
  EXPECT_EQ(journal->install, site.places.install);
  EXPECT_EQ(journal->staging, site.places.staging);
  EXPECT_EQ(journal->backup, site.places.backup);
  EXPECT_TRUE(journal->download.empty());
  EXPECT_EQ(journal->old_version, "1.0.3");
  EXPECT_EQ(journal->new_version, "9.9.9");
  EXPECT_EQ(journal->pid, 4242u);
  std::vector<std::string> steps;
  for (const JournalStep& step : journal->steps) steps.push_back(std::string(1, step.kind) + " " + step.path);
  EXPECT_EQ(steps, (std::vector<std::string>{"r qv.exe", "r shaders/a.spv", "a shaders/b.spv", "a shaders/new/c.spv",
                                             "r qv-install-manifest.txt", "d extractor/QV.PkgExtract.exe",
                                             "d shaders/gone.spv"}));

  // The journal, rewritten as "swapped", still undoes the whole update.
  journal->state = qv::setup::kJournalSwapped;
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(site.places.context.journal_path, *journal));
  std::string message;
  EXPECT_TRUE(qv::setup::RollBackJournal(*journal, &message));
  EXPECT_EQ(message, "");
  EXPECT_EQ(SnapshotTree(site.places.install, [](const std::string& key) { return key == "data/update-journal.txt" || IsUpdateLogKey(key); }),
            site.install_before);
  EXPECT_EQ(SnapshotFileContents(site.places.staging), SnapshotFileContents(site.places.parent / L".qv-update-run"));
  for (const auto& [path, content] : site.staging_before) {
    if (path.back() != '/') {
      EXPECT_EQ(ReadFileText(site.places.staging / qv::setup::PathFromUtf8(path)), content);
    }
  }
}

TEST(CommitStagedFiles, WithoutAJournalContext) {
  CommitSite site;
  const CommitResult result = site.Commit(-1, false);
  EXPECT_EQ(result.replaced, 3u);
  EXPECT_EQ(result.added, 2u);
  EXPECT_EQ(result.removed, 2u);
  EXPECT_EQ(SnapshotTree(site.places.install, IsUpdateLogKey), kNewVersion);
  EXPECT_FALSE(site.JournalExists());
}

// A failure at any step leaves the installation and the staging folder as
// they were, and no journal.
TEST(CommitStagedFiles, FailureAtEveryStepIsUndone) {
  for (bool with_journal : {true, false}) {
    for (std::int32_t step = 0; step <= kLastStep; ++step) {
      CommitSite site;
      EXPECT_EQ(ThrownMessage([&] { site.Commit(step, with_journal); }), "Test failure during the update.")
          << step << " " << with_journal;
      site.ExpectUndone(std::to_string(step) + (with_journal ? " with a journal" : " without a journal"));
    }
  }
  // One step more than there are: no failure.
  CommitSite site;
  site.Commit(kLastStep + 1);
  EXPECT_EQ(SnapshotTree(site.places.install, [](const std::string& key) { return key == "data/update-journal.txt" || IsUpdateLogKey(key); }),
            kNewVersion);
}

// A crash at any step leaves a journal from which the recovery restores the
// former installation exactly and removes the temporary folders.
TEST(CommitStagedFiles, CrashAtEveryStepIsRecovered) {
  for (std::int32_t step = 0; step <= kLastStep; ++step) {
    CommitSite site;
    JournalContext crashing = site.places.context;
    crashing.crash_at = step;
    EXPECT_THROW(site.places.Commit(-1, &crashing), SimulatedCrash) << step;
    auto journal = ReadUpdateJournal(site.places.context.journal_path);
    ASSERT_TRUE(journal) << step;
    EXPECT_EQ(journal->state, qv::setup::kJournalSwapping);
    EXPECT_EQ(journal->steps.size(), 7u);

    EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.places.install)) << step;
    EXPECT_EQ(SnapshotTree(site.places.install, IsUpdateLogKey), site.install_before) << step;
    EXPECT_FALSE(fs::exists(site.places.staging)) << step;
    EXPECT_FALSE(fs::exists(site.places.backup)) << step;
    EXPECT_FALSE(site.JournalExists()) << step;
  }
}

// The staged files reach the disk before the journal is written. A staged
// file held open for a moment (a scanner) is waited for; one that cannot be
// written to the disk ends the commit before the journal, nothing moved.
TEST(CommitStagedFiles, StagedFilesReachTheDiskBeforeTheJournal) {
  for (const bool released : {true, false}) {
    SCOPED_TRACE(released ? "released after a moment" : "held throughout");
    CommitSite site;
    const fs::path staged = site.places.staging / L"qv.exe";
    qv::setup::UniqueFile held(
        ::CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    std::thread release;
    if (released) {
      release = std::thread([&] {
        std::this_thread::sleep_for(500ms);
        held.reset();
      });
    }
    const std::string message = ThrownMessage([&] { site.Commit(); });
    if (release.joinable()) release.join();
    if (released) {
      EXPECT_EQ(message, "(no exception)");
      EXPECT_EQ(SnapshotTree(site.places.install, [](const std::string& key) {
                  return key == "data/update-journal.txt" || IsUpdateLogKey(key);
                }),
                kNewVersion);
    } else {
      EXPECT_EQ(message.rfind("Could not write qv.exe to the disk (", 0), 0u) << message;
      held.reset();
      site.ExpectUndone();
    }
  }
}

// Puts back the product's moves when a test ends.
struct CrossVolumeGuard {
  ~CrossVolumeGuard() { qv::setup::CrossVolumeHook = {}; }
};

// A player with a large game may keep the title folder on another drive (a
// junction or a mount point), so every move into or out of it is a copy. A
// kill halfway through the copy of the new archive leaves the old archive
// whole: the recovery puts it back, and no part of the new one stays.
TEST(CommitStagedFiles, AKillHalfwayThroughAMoveThatCopiesLeavesTheWholeOldArchive) {
  CommitSite site;
  const fs::path title = site.places.install / L"CUSA09901";
  const std::string old_archive = "PSAR old " + std::string(600000, 'o');
  const std::string new_archive = "PSAR new " + std::string(600000, 'n');
  WriteFixtureFile(title / L"chunk1.psarc", old_archive);
  WriteFixtureFile(site.places.staging / L"CUSA09901" / L"chunk1.psarc", new_archive);
  const TreeSnapshot install_before = SnapshotTree(site.places.install, IsUpdateLogKey);

  CrossVolumeGuard guard;
  bool killed = false;
  qv::setup::CrossVolumeHook.crosses = [&](const fs::path& from, const fs::path& to) {
    return from.parent_path() == title || to.parent_path() == title;
  };
  qv::setup::CrossVolumeHook.copy = [&](const fs::path& from, const fs::path& to) {
    if (!killed && to.parent_path() == title) {  // the new archive on its way in
      killed = true;
      WriteFixtureFile(to, ReadFileText(from).substr(0, 262144));
      throw SimulatedCrash{};
    }
    return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;
  };
  EXPECT_THROW(site.places.Commit(-1, &site.places.context, PlannedFiles(),
                                  {"qv-install-manifest.txt", "CUSA09901/chunk1.psarc"}),
               SimulatedCrash);
  ASSERT_TRUE(killed);

  EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.places.install));
  const std::string in_place = ReadFileText(title / L"chunk1.psarc");
  EXPECT_TRUE(in_place == old_archive) << in_place.size() << " bytes: " << in_place.substr(0, 8);
  EXPECT_TRUE(SnapshotTree(site.places.install, IsUpdateLogKey) == install_before);
  EXPECT_FALSE(fs::exists(site.places.backup));
  EXPECT_FALSE(site.JournalExists());
}

TEST(CommitStagedFiles, PlayersDataIsRefusedBeforeAnythingMoves) {
  for (const char* path : {"data/qv.log", "data./qv.log", "data /qv.log", "DATA\\qv.log", "Data"}) {
    CommitSite site;
    WriteFixtureFile(site.places.staging / qv::setup::PathFromUtf8(path), "payload's");
    const TreeSnapshot everything = site.Everything();
    auto installed = PlannedFiles();
    installed.push_back({path, ""});
    EXPECT_EQ(ThrownMessage([&] { site.places.Commit(-1, &site.places.context, installed); }),
              "The installer payload cannot contain files under data/.")
        << path;
    EXPECT_EQ(ThrownMessage([&] {
                site.places.Commit(-1, &site.places.context, PlannedFiles(), {"qv-install-manifest.txt", path});
              }),
              "The installer cannot replace files under data/.")
        << path;
    EXPECT_EQ(site.Everything(), everything) << path;
  }
}

TEST(CommitStagedFiles, RefusalsBeforeTheJournalIsWritten) {
  struct Case {
    const char* what;
    std::vector<std::string> extra;
    std::string message;
  } cases[] = {
      {"a folder in the way", {"shaders"}, "A folder is in the way of shaders."},
      {"a path leaving the installation", {"../outside.txt"}, "Unsafe payload path."},
      {"a path the journal could not name", {"newfolder/"}, "Unsafe payload path."},
      {"a stream", {"qv.exe:stream"}, "Unsafe payload path."},
      {"the player's mods", {"mods/pack.pak"}, "Unsafe payload path."},
      {"the player's settings", {"QV.INI"}, "Unsafe payload path."},
      {"a device name", {"shaders/nul.spv"}, "Unsafe payload path."},
  };
  for (const Case& c : cases) {
    CommitSite site;
    // A journal left by someone else is not this commit's to delete.
    WriteFixtureFile(site.places.context.journal_path, "someone else's");
    const TreeSnapshot everything = site.Everything();
    EXPECT_EQ(ThrownMessage([&] { site.places.Commit(-1, &site.places.context, PlannedFiles(), c.extra); }), c.message)
        << c.what;
    EXPECT_EQ(site.Everything(), everything) << c.what;
  }

  // The journal cannot be written: a folder stands where its ".new" file goes.
  CommitSite site;
  fs::create_directories(site.places.context.journal_path.native() + L".new");
  EXPECT_EQ(ThrownMessage([&] { site.Commit(); }), "Could not write the update journal.");
  EXPECT_EQ(
      SnapshotTree(site.places.install, [](const std::string& key) { return key == "data/update-journal.txt.new/" || IsUpdateLogKey(key); }),
      site.install_before);
  EXPECT_EQ(SnapshotTree(site.places.staging, IsUpdateLogKey), site.staging_before);
}

// A journal that its own reader refuses would be deleted by the next
// recovery, with it the only record of what to undo: the commit reads the
// journal back before anything moves.
TEST(CommitStagedFiles, JournalThatDoesNotReadBackMovesNothing) {
  struct Case {
    const char* what;
    std::function<void(const CommitSite&, fs::path& staging, fs::path& backup, JournalContext&)> arrange;
  } cases[] = {
      {"temporary folders named by the bare prefixes (an empty run identifier)",
       [](const CommitSite& site, fs::path& staging, fs::path& backup, JournalContext&) {
         staging = site.places.parent / L".qv-update-";
         backup = site.places.parent / L".qv-update-old-";
         fs::rename(site.places.staging, staging);
       }},
      {"a download folder elsewhere",
       [](const CommitSite& site, fs::path&, fs::path&, JournalContext& context) {
         context.download = site.places.parent / L"Downloads" / L".qv-update-dl-run";
       }},
      {"a download folder without its prefix",
       [](const CommitSite& site, fs::path&, fs::path&, JournalContext& context) {
         context.download = site.places.parent / L".qv-download-run";
       }},
      {"the journal of another installation",
       [](const CommitSite& site, fs::path&, fs::path&, JournalContext& context) {
         context.journal_path = qv::setup::UpdateJournalPath(site.places.parent / L"Other");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CommitSite site;
    fs::path staging = site.places.staging;
    fs::path backup = site.places.backup;
    JournalContext context = site.places.context;
    c.arrange(site, staging, backup, context);
    const TreeSnapshot staged = SnapshotTree(staging, IsUpdateLogKey);
    EXPECT_EQ(ThrownMessage([&] {
                CommitStagedFiles(staging, site.places.install, PlannedFiles(), {"qv-install-manifest.txt"},
                                  qv::setup::ReadExistingInstall(site.places.install), backup, -1, &context, {});
              }),
              "Could not write the update journal.");
    EXPECT_EQ(SnapshotTree(site.places.install, IsUpdateLogKey), site.install_before);
    EXPECT_EQ(SnapshotTree(staging, IsUpdateLogKey), staged);
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_FALSE(fs::exists(context.journal_path));
  }
}

// A journal that appeared after the run's recovery is another run's record of
// what to undo: the commit neither replaces it nor moves anything. One that
// the run's own recovery kept may be written over.
TEST(CommitStagedFiles, AJournalItDidNotWriteIsLeftAlone) {
  CommitSite site;
  WriteFixtureFile(site.places.context.journal_path, "another run's journal\n");
  const TreeSnapshot everything = site.Everything();
  EXPECT_EQ(ThrownMessage([&] { site.Commit(); }), "Another update of this install is running.");
  EXPECT_EQ(site.Everything(), everything);

  CommitSite kept;
  WriteFixtureFile(kept.places.context.journal_path, "kept by this run's recovery\n");
  kept.places.context.may_replace_journal = true;
  kept.Commit();
  EXPECT_EQ(ReadFileText(kept.places.install / L"qv.exe"), "new exe");
  const auto journal = ReadUpdateJournal(kept.places.context.journal_path);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalSwapping);
}

// The old file went into the backup, but its replacement could not move in
// (held open by another program), and meanwhile someone wrote a file at its
// place: the undo does not overwrite that file with the backup.
TEST(CommitStagedFiles, UndoNeverReplacesWhatAppearedWhereTheOldFileWas) {
  CommitSite site;
  CancelHookGuard guard;
  qv::setup::UniqueFile held;
  std::thread writer;
  qv::setup::CancelHook = [&] {
    if (held) return false;
    held.reset(::CreateFileW((site.places.staging / L"qv.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    writer = std::thread([&] {
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (!fs::exists(site.places.backup / L"qv.exe") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
      }
      WriteFixtureFile(site.places.install / L"qv.exe", "appeared meanwhile");
    });
    return false;
  };
  EXPECT_NE(ThrownMessage([&] { site.Commit(); }).find("rename"), std::string::npos);
  writer.join();
  ASSERT_TRUE(held);
  held.reset();
  EXPECT_EQ(ReadFileText(site.places.install / L"qv.exe"), "appeared meanwhile");
  EXPECT_EQ(ReadFileText(site.places.backup / L"qv.exe"), "old exe");
  EXPECT_EQ(ReadFileText(site.places.staging / L"qv.exe"), "new exe");
  // The undo is incomplete, so the journal stays for the recovery. To the
  // journal, whatever stands at a replaced file's place is the update's: it
  // goes back into the staging folder (the update's own, where it replaces
  // the staged copy) and the old file is back.
  EXPECT_TRUE(site.JournalExists());
  EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.places.install));
  EXPECT_EQ(ReadFileText(site.places.install / L"qv.exe"), "old exe");
  EXPECT_FALSE(site.JournalExists());
}

TEST(CommitStagedFiles, EmptyPlanStillWritesAJournalAndCallsTheHookOnce) {
  TempFolder temp;
  const CommitPlaces places(qv::setup::WeaklyCanonicalPath(temp.path()));
  fs::create_directories(places.staging);
  WriteFixtureFile(places.install / L"data" / L"qv.ini", "x");  // no installation: no sweep
  auto commit = [&](std::int32_t fail_at, const JournalContext* journal) {
    return CommitStagedFiles(places.staging, places.install, {}, {}, qv::setup::ExistingInstall(), places.backup,
                             fail_at, journal, {});
  };
  EXPECT_EQ(ThrownMessage([&] { commit(0, &places.context); }), "Test failure during the update.");
  EXPECT_FALSE(fs::exists(places.context.journal_path));
  const CommitResult result = commit(1, &places.context);
  EXPECT_EQ(result.replaced + result.added + result.removed, 0u);
  auto journal = ReadUpdateJournal(places.context.journal_path);
  ASSERT_TRUE(journal);
  EXPECT_TRUE(journal->steps.empty());

  fs::remove(places.context.journal_path);  // as the transaction retires it
  JournalContext crashing = places.context;
  crashing.crash_at = 0;
  EXPECT_THROW(commit(-1, &crashing), SimulatedCrash);
}

TEST(CommitStagedFiles, AddedFileNeverReplacesWhatAppearedInItsPlace) {
  CommitSite site;
  CancelHookGuard guard;
  int asked = 0;
  // Just before step 2 (shaders/b.spv, an added file), another program writes
  // a file of that name: it has no backup and must survive.
  qv::setup::CancelHook = [&] {
    if (++asked == 3) WriteFixtureFile(site.places.install / L"shaders" / L"b.spv", "appeared meanwhile");
    return false;
  };
  const std::string thrown = ThrownMessage([&] { site.Commit(); });
  EXPECT_NE(thrown.find("rename"), std::string::npos) << thrown;
  TreeSnapshot expected = site.install_before;
  expected.push_back({"shaders/b.spv", "appeared meanwhile"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SnapshotTree(site.places.install, IsUpdateLogKey), expected);
  EXPECT_EQ(SnapshotTree(site.places.staging, IsUpdateLogKey), site.staging_before);
  EXPECT_FALSE(site.JournalExists());
}

TEST(CommitStagedFiles, CancelStopsAtTheNextFileAndUndoes) {
  CommitSite site;
  CancelHookGuard guard;
  int asked = 0;
  qv::setup::CancelHook = [&] { return ++asked == 4; };
  EXPECT_EQ(ThrownMessage([&] { site.Commit(); }), "Installation cancelled.");
  EXPECT_EQ(asked, 4);
  site.ExpectUndone();
}

TEST(CommitStagedFiles, MissingStagedFileFailsAtOnceAndUndoes) {
  CommitSite site;
  auto installed = PlannedFiles();
  // In folders of its own: the folders made for it go again too.
  installed.insert(installed.begin() + 2, {"brand/new/missing.spv", ""});
  const auto start = std::chrono::steady_clock::now();
  try {
    site.places.Commit(-1, &site.places.context, installed);
    ADD_FAILURE() << "no exception";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("rename"), std::string::npos) << error.what();
    EXPECT_EQ(error.path1(), site.places.staging / L"brand" / L"new" / L"missing.spv");
    EXPECT_EQ(error.path2(), site.places.install / L"brand" / L"new" / L"missing.spv");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);  // a vanished source is not waited for
  site.ExpectUndone();
}

TEST(CommitStagedFiles, FileNamedTwiceFailsWithoutLosingTheOldFile) {
  CommitSite site;
  auto installed = PlannedFiles();
  installed.push_back({"QV.EXE", ""});  // the same file in other letter case
  EXPECT_NE(ThrownMessage([&] { site.places.Commit(-1, &site.places.context, installed); }).find("rename"),
            std::string::npos);
  site.ExpectUndone();
}

TEST(CommitStagedFiles, LeftoverThatVanishedIsNotCountedButItsFoldersArePruned) {
  CommitSite site;
  CancelHookGuard guard;
  int asked = 0;
  qv::setup::CancelHook = [&] {
    if (++asked == 5) fs::remove(site.places.install / L"extractor" / L"QV.PkgExtract.exe");
    return false;
  };
  const CommitResult result = site.Commit();
  EXPECT_EQ(result.removed, 1u);
  EXPECT_FALSE(fs::exists(site.places.install / L"extractor"));
  EXPECT_FALSE(fs::exists(site.places.backup / L"extractor" / L"QV.PkgExtract.exe"));
}

TEST(CommitStagedFiles, FailedUndoKeepsTheJournalForTheRecovery) {
  CommitSite site;
  CancelHookGuard guard;
  qv::setup::UniqueFile held;
  int asked = 0;
  // After qv.exe has been replaced, the new game is opened by someone else
  // without delete sharing: neither it nor the old one can move back.
  qv::setup::CancelHook = [&] {
    if (++asked == 2) {
      held.reset(::CreateFileW((site.places.install / L"qv.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    }
    return false;
  };
  EXPECT_EQ(ThrownMessage([&] { site.Commit(3); }), "Test failure during the update.");
  ASSERT_TRUE(held);
  EXPECT_TRUE(site.JournalExists());
  EXPECT_EQ(ReadFileText(site.places.install / L"qv.exe"), "new exe");
  EXPECT_EQ(ReadFileText(site.places.backup / L"qv.exe"), "old exe");
  // Everything else was undone already.
  EXPECT_EQ(ReadFileText(site.places.install / L"shaders" / L"a.spv"), "old a");

  held.reset();
  EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.places.install));
  EXPECT_EQ(SnapshotTree(site.places.install, IsUpdateLogKey), site.install_before);
  EXPECT_FALSE(fs::exists(site.places.backup));
}

TEST(CommitStagedFiles, SweepMessagesArePassedOn) {
  CommitSite site;
  // An older package's frame-generation proxy, named by the old manifest,
  // without the unlock's record: removed, with a note.
  WriteFixtureFile(site.places.install / L"version.dll", "proxy dlssg_sm86 proxy");
  const std::string zeros(64, '0');
  qv::setup::WriteInstallManifest(
      site.places.install, "1.0.3",
      {{"qv.exe", zeros}, {"shaders/a.spv", zeros}, {"shaders/gone.spv", zeros}, {"version.dll", zeros}}, "");
  const CommitResult result = site.Commit();
  EXPECT_EQ(result.removed, 3u);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_NE(result.messages[0].find("version.dll"), std::string::npos) << result.messages[0];
  EXPECT_EQ(ReadFileText(site.places.backup / L"version.dll"), "proxy dlssg_sm86 proxy");
}

// The pause point holds the commit in the middle of the update; the process
// is then killed there, as a power cut would, and the recovery restores the
// installation.
QV_CHILD_MODE(commit_pause) {
  CommitPlaces places(qv::setup::PathFromUtf8(args.at(0)));
  JournalContext pausing = places.context;
  pausing.pause_at = 2;
  places.Commit(-1, &pausing);
  return 0;
}

TEST(CommitStagedFiles, PauseMarkerWhileTheCommitSleeps) {
  CommitSite site;
  const fs::path marker = site.places.context.journal_path.native() + L".paused";
  qv::test::StartedChild child =
      qv::test::StartChildProcess("commit_pause", {qv::setup::NativePathToUtf8(site.places.parent)});
  ASSERT_TRUE(child.started());
  // The marker is written, then the commit sleeps.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (ReadFileText(marker) != "2\n" && !child.WaitFor(50ms) && std::chrono::steady_clock::now() < deadline) {
  }
  ASSERT_EQ(ReadFileText(marker), "2\n") << child.Result().output;
  EXPECT_FALSE(child.WaitFor(0ms));  // still sleeping
  // Steps 0 and 1 are done, step 2 is not.
  EXPECT_EQ(ReadFileText(site.places.install / L"qv.exe"), "new exe");
  EXPECT_EQ(ReadFileText(site.places.install / L"shaders" / L"a.spv"), "new a");
  EXPECT_EQ(ReadFileText(site.places.staging / L"shaders" / L"b.spv"), "new b");
  EXPECT_TRUE(site.JournalExists());

  child.Terminate();
  EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.places.install));
  EXPECT_EQ(
      SnapshotTree(site.places.install, [](const std::string& key) { return key == "data/update-journal.txt.paused" || IsUpdateLogKey(key); }),
      site.install_before);
  EXPECT_FALSE(fs::exists(site.places.staging));
  EXPECT_FALSE(fs::exists(site.places.backup));
}

TEST(CommitStagedFiles, TestPointsNeedAJournalContextButFailAtDoesNot) {
  JournalContext context;
  context.journal_path = L"unused";
  context.crash_at = 0;
  context.pause_at = 0;
  std::int32_t step = 0;
  // Without the context neither the crash nor the pause happens.
  qv::setup::UpdateTestHook(nullptr, step, -1);
  EXPECT_EQ(step, 1);
  EXPECT_EQ(ThrownMessage([&] { qv::setup::UpdateTestHook(nullptr, step, 1); }), "Test failure during the update.");
  EXPECT_EQ(step, 2);
  step = 0;
  EXPECT_THROW(qv::setup::UpdateTestHook(&context, step, -1), SimulatedCrash);
  EXPECT_EQ(step, 0);
}

}  // namespace

namespace {

// Short 8.3 names of the player's folders and files pass every name test of
// a step, yet the move would take what they stand for: the commit refuses
// them before anything moves, naming the entry and what it stands for.
TEST(CommitStagedFiles, ShortNamesOfThePlayersItemsAreRefusedBeforeAnythingMoves) {
  CommitSite site;
  const fs::path& install = site.places.install;
  WriteFixtureFile(install / L"screenshots" / L"shot.png", "the player's picture");
  WriteFixtureFile(install / L"enhanced-textures" / L"t.dds", "the player's texture");
  WriteFixtureFile(install / L"dlssg_sm86.ini", "the unlock's settings");
  WriteFixtureFile(install / L"CUSA09901" / L"chunk1.psarc", "the player's archive");
  const std::string shots = qv::test::ShortNameOf(install / L"screenshots");
  const std::string textures = qv::test::ShortNameOf(install / L"enhanced-textures");
  const std::string unlock = qv::test::ShortNameOf(install / L"dlssg_sm86.ini");
  const std::string title = qv::test::ShortNameOf(install / L"CUSA09901");
  ASSERT_FALSE(shots.empty() || textures.empty() || unlock.empty() || title.empty());
  const struct {
    std::string path;
    std::string stored;
  } cases[] = {
      {shots + "/shot.png", "screenshots/shot.png"},
      {shots + "/new.png", "screenshots/new.png"},
      {textures + "/t.dds", "enhanced-textures/t.dds"},
      {unlock, "dlssg_sm86.ini"},
      // A name of the game's own files is the game's by its name alone; any
      // other file that a short name would put into the title folder is not.
      {title + "/readme.txt", "CUSA09901/readme.txt"},
  };
  const TreeSnapshot everything = site.Everything();
  for (const auto& c : cases) {
    const std::string message = "Cannot write " + c.path + ": it is " + c.stored + " under another name.";
    EXPECT_EQ(ThrownMessage([&] {
                site.places.Commit(-1, &site.places.context, PlannedFiles(), {"qv-install-manifest.txt", c.path});
              }),
              message);
    EXPECT_EQ(site.Everything(), everything) << c.path;
  }
}

}  // namespace
