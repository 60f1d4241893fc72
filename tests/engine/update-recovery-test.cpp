#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/journal/update-temp-folders.h"
#include "foundation/files/canonical-path.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-mode.h"
#include "support/child-process.h"
#include "support/short-names.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::setup::FinishStartedUpdate;
using qv::setup::ReadFileText;
using qv::setup::ReadUpdateJournal;
using qv::setup::RecoverInterruptedUpdate;
using qv::setup::RestorePreviousVersion;
using qv::setup::IsUpdateLogKey;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::UpdateJournal;
using qv::setup::WaitForStartedVersion;
using qv::setup::WriteFixtureFile;
using qv::setup::WriteUpdateJournal;
using qv::test::StartChildProcess;
using qv::test::StartedChild;
using qv::test::TempFolder;
using qv::test::ThrownMessage;

// `file` opened as a program in use holds it: others may read it, but not
// move, replace or delete it.
qv::setup::UniqueFile HeldWithoutWriteSharing(const fs::path& file) {
  return qv::setup::UniqueFile(
      ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

// One file move of an update, as the commit makes it.
struct Move {
  enum From { kInstallToBackup, kStagingToInstall } from;
  const char* path;
};

// An installation in the middle of an update from 1.0.3, built by hand one
// move at a time, so that it can stand at any point of the commit, between
// the two moves of a replaced file included.
struct UpdateSite {
  TempFolder temp;
  fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  fs::path install = parent / L"Game";
  fs::path staging = parent / L".qv-update-run";
  fs::path backup = parent / L".qv-update-old-run";
  fs::path journal_path = qv::setup::UpdateJournalPath(install);
  TreeSnapshot before;

  static constexpr Move kMoves[] = {
      {Move::kInstallToBackup, "qv.exe"},
      {Move::kStagingToInstall, "qv.exe"},
      {Move::kInstallToBackup, "shaders/a.spv"},
      {Move::kStagingToInstall, "shaders/a.spv"},
      {Move::kStagingToInstall, "shaders/b.spv"},
      {Move::kStagingToInstall, "shaders/new/c.spv"},
      {Move::kInstallToBackup, "qv-install-manifest.txt"},
      {Move::kStagingToInstall, "qv-install-manifest.txt"},
      {Move::kInstallToBackup, "shaders/gone.spv"},
  };

  UpdateSite() {
    qv::setup::BuildJournalTestInstall(install, staging);
    WriteFixtureFile(staging / L"shaders" / L"new" / L"c.spv", "new c");
    before = SnapshotTree(install, IsUpdateLogKey);
  }

  UpdateJournal Journal(std::int32_t state, std::uint64_t pid = 0) const {
    UpdateJournal journal;
    journal.state = state;
    journal.install = install;
    journal.staging = staging;
    journal.backup = backup;
    journal.old_version = "1.0.3";
    journal.new_version = "9.9.9";
    journal.pid = pid;
    journal.steps = {{'r', "qv.exe"},
                     {'r', "shaders/a.spv"},
                     {'a', "shaders/b.spv"},
                     {'a', "shaders/new/c.spv"},
                     {'r', "qv-install-manifest.txt"},
                     {'d', "shaders/gone.spv"}};
    return journal;
  }

  // Writes the journal, then makes the first `count` moves.
  void UpdateUpTo(size_t count, std::int32_t state = qv::setup::kJournalSwapping, std::uint64_t pid = 0) {
    ASSERT_TRUE(WriteUpdateJournal(journal_path, Journal(state, pid)));
    for (size_t i = 0; i < count; ++i) {
      const Move& move = kMoves[i];
      const fs::path relative = qv::setup::PathFromUtf8(move.path);
      const fs::path from = (move.from == Move::kInstallToBackup ? install : staging) / relative;
      const fs::path to = (move.from == Move::kInstallToBackup ? backup : install) / relative;
      fs::create_directories(to.parent_path());
      fs::rename(from, to);
    }
  }
  void UpdateAll(std::int32_t state) { UpdateUpTo(std::size(kMoves), state); }

  TreeSnapshot NewVersion() const {
    TreeSnapshot expected{{"data/", ""},
                          {"data/qv.ini", "settings"},
                          {"qv-install-manifest.txt", "qv-port-install 1\nversion=9.9.9\n"},
                          {"qv.exe", "new exe"},
                          {"shaders/", ""},
                          {"shaders/a.spv", "new a"},
                          {"shaders/b.spv", "new b"},
                          {"shaders/new/", ""},
                          {"shaders/new/c.spv", "new c"}};
    return expected;
  }

  bool TemporaryFoldersGone() const { return !fs::exists(staging) && !fs::exists(backup); }
};

TEST(RecoverInterruptedUpdate, NothingToDoWithoutAJournal) {
  UpdateSite site;
  const TreeSnapshot everything = SnapshotTree(site.parent, IsUpdateLogKey);
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(SnapshotTree(site.parent, IsUpdateLogKey), everything);
}

// A crash at any point of the commit, between the two moves of a replaced
// file included, leaves a journal from which the former tree comes back.
TEST(RecoverInterruptedUpdate, RollsBackAnInterruptedUpdateFromAnyPoint) {
  for (size_t moves = 0; moves <= std::size(UpdateSite::kMoves); ++moves) {
    UpdateSite site;
    site.UpdateUpTo(moves);
    EXPECT_TRUE(RecoverInterruptedUpdate(site.install)) << moves;
    EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before) << moves;
    EXPECT_TRUE(site.TemporaryFoldersGone()) << moves;
    EXPECT_FALSE(fs::exists(site.journal_path)) << moves;
  }
}

// The writer and the recovering caller spell the installation differently:
// the journal is still the installation's own, and it is used, not deleted.
TEST(RecoverInterruptedUpdate, SpellingOfTheInstallationDoesNotMatter) {
  UpdateSite site;
  site.UpdateUpTo(4);
  UpdateJournal shouted = site.Journal(qv::setup::kJournalSwapping);
  auto upper = [](const fs::path& path) {
    std::wstring text = path.native();
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
    return fs::path(text);
  };
  shouted.install = upper(site.install);
  shouted.staging = upper(site.staging);
  ASSERT_TRUE(WriteUpdateJournal(site.journal_path, shouted));
  const fs::path lowered = fs::path(site.parent.native() + L"\\game");
  EXPECT_TRUE(RecoverInterruptedUpdate(lowered));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
  EXPECT_TRUE(site.TemporaryFoldersGone());
}

// A probe program that sleeps, started with a security descriptor that lets
// no one else open it: as a service seen from the player's account is, which
// may hold a journal's id after a reboot.
struct UnqueryableProcess {
  qv::setup::UniqueHandle process;
  qv::setup::UniqueHandle thread;
  DWORD id = 0;

  UnqueryableProcess() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;GA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
      ADD_FAILURE() << "no security descriptor: " << ::GetLastError();
      return;
    }
    const qv::setup::UniqueLocal<PSECURITY_DESCRIPTOR> owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::wstring command =
        L"\"" + (qv::test::TestBinaryFolder() / L"process-probe.exe").native() + L"\" sleep 60000";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, command.data(), &attributes, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info)) {
      ADD_FAILURE() << "cannot start the probe: " << ::GetLastError();
      return;
    }
    process.reset(info.hProcess);
    thread.reset(info.hThread);
    id = info.dwProcessId;
  }
  ~UnqueryableProcess() {
    if (process) ::TerminateProcess(process.get(), 1);
  }
};

// Whoever wrote a journal has ended by the time a run that holds the
// installation's guard reads it, so the id the journal names is never taken
// for its writer: a process of the id may have started before the journal
// was last written or after, may refuse to be asked, may be this process.
// The recovery goes on in every state.
TEST(RecoverInterruptedUpdate, TheJournalsProcessIdNeverKeepsItsUpdate) {
  StartedChild earlier = StartChildProcess("recovery_sleeper", {});
  ASSERT_TRUE(earlier.started());
  UnqueryableProcess closed;
  ASSERT_NE(closed.id, 0u);
  // As the player's account would see a service's process.
  {
    qv::setup::UniqueHandle asked(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, closed.id));
    const DWORD error = ::GetLastError();
    EXPECT_FALSE(asked.valid());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  const std::uint64_t pids[] = {earlier.process_id(), closed.id, ::GetCurrentProcessId(), 0, 0xFFFFFFF3u,
                                std::uint64_t{1} << 40};
  for (std::uint64_t pid : pids) {
    for (std::int32_t state : {qv::setup::kJournalSwapping, qv::setup::kJournalSwapped, qv::setup::kJournalStarted}) {
      SCOPED_TRACE("pid " + std::to_string(pid) + ", state " + std::to_string(state));
      UpdateSite site;
      if (state == qv::setup::kJournalSwapping) {
        site.UpdateUpTo(3, state, pid);
      } else {
        site.UpdateUpTo(std::size(UpdateSite::kMoves), state, pid);
      }
      // Written while the process of the id ran.
      EXPECT_EQ(RecoverInterruptedUpdate(site.install), state == qv::setup::kJournalSwapping);
      EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), state == qv::setup::kJournalSwapping ? site.before : site.NewVersion());
      EXPECT_TRUE(site.TemporaryFoldersGone());
      EXPECT_FALSE(fs::exists(site.journal_path));
    }
  }
}

QV_CHILD_MODE(recovery_sleeper) {
  ::Sleep(60000);
  return 0;
}

TEST(RecoverInterruptedUpdate, FinishedUpdatesKeepTheNewVersion) {
  for (std::int32_t state : {qv::setup::kJournalSwapped, qv::setup::kJournalStarted}) {
    UpdateSite site;
    site.UpdateAll(state);
    EXPECT_FALSE(RecoverInterruptedUpdate(site.install)) << state;
    EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.NewVersion()) << state;
    EXPECT_TRUE(site.TemporaryFoldersGone()) << state;
    EXPECT_FALSE(fs::exists(site.journal_path)) << state;
  }
}

TEST(RecoverInterruptedUpdate, RefusedJournalMovesNothingAndGoesOnceItsBackupHoldsNothing) {
  // Beside malformed and foreign journals, damaged or planted ones whose
  // rollback would move the player's settings or the game's archive into the
  // staging folder (and delete them with it) or act on a device, and ones
  // the reader cannot decode. The update log says why each was refused.
  // Refused before any file moved, the journal goes; refused while its
  // backup holds old files with new ones in their place, it stays with them.
  constexpr const char* kUnsafe = " is not a safe name for a file of the installation";
  constexpr const char* kElsewhere =
      "its staging, backup or download folder is not the update's own beside the installation";
  const struct {
    const char* spoiler;
    std::string why;
  } cases[] = {
      {"step=r ../outside.txt", "../outside.txt is not a safe name for a file"},
      {"staging=C:/elsewhere/.qv-update-run", kElsewhere},
      {"install=C:/Other Game", "it names another installation than the one that holds it"},
      {"state=finished", "its state \"finished\" is none of an update's"},
      {"step=a data/qv.ini", "data/qv.ini lies under data/"},
      {"step=a DATA\\QV.INI", std::string("DATA\\QV.INI") + kUnsafe},
      {"step=a data./qv.ini", std::string("data./qv.ini") + kUnsafe},
      {"step=r data/qv.ini", "data/qv.ini lies under data/"},
      {"step=a qv.ini", "qv.ini is one of the player's files, which no update writes"},
      {"step=a cusa09901/CHUNK1.PSARC",
       "cusa09901/CHUNK1.PSARC lies in the game's data, which no update writes under that name"},
      {"step=a shaders/nul.spv", std::string("shaders/nul.spv") + kUnsafe},
      // The player's copy of the game's archives in a folder of their own.
      {"step=a game/chunk1.psarc", "game/chunk1.psarc lies in the game's data, which no update writes under that name"},
      {"step=r game/readme.txt", "game/readme.txt lies in the game's data, which no update writes under that name"},
      {"step=a shaders/\xff.spv", "its step line is not valid UTF-8"},
      {"install=C:/G\xe4me", "its install line is not valid UTF-8"},
  };
  for (const size_t moves : {size_t{0}, size_t{4}}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.spoiler) + " after " + std::to_string(moves) + " moves");
      UpdateSite site;
      site.UpdateUpTo(moves);
      WriteFixtureFile(site.install / L"game" / L"chunk1.psarc", "the player's archive");
      WriteFixtureFile(site.install / L"game" / L"texture.qar", "the player's textures");
      WriteFixtureFile(site.install / L"game" / L"readme.txt", "the player's notes");
      std::string text = ReadFileText(site.journal_path);
      const std::string key = std::string(c.spoiler).substr(0, std::string(c.spoiler).find('=') + 1);
      if (key == "step=") {
        text += std::string(c.spoiler) + "\n";
      } else {
        const size_t at = text.find(key);
        text.replace(at, text.find('\n', at) - at, c.spoiler);
      }
      WriteFixtureFile(site.journal_path, text);
      std::string why;
      ASSERT_FALSE(ReadUpdateJournal(site.journal_path, &why));
      EXPECT_EQ(why, c.why);
      TreeSnapshot everything = SnapshotTree(site.parent, IsUpdateLogKey);
      EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
      const std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
      EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
      if (moves == 0) {
        EXPECT_FALSE(fs::exists(site.journal_path));
        everything.erase(std::find_if(everything.begin(), everything.end(), [](const auto& item) {
          return item.first == "Game/data/update-journal.txt";
        }));
        EXPECT_TRUE(log.ends_with(" an update journal was refused and deleted, nothing moved: " + c.why + "\n"))
            << log;
      } else {
        EXPECT_TRUE(log.ends_with(" an update journal was refused and kept, nothing moved: " + c.why +
                                  "; its backup folder " + qv::setup::ToGenericUtf8(site.backup) +
                                  " still holds files that were not put back: qv.exe, shaders/a.spv\n"))
            << log;
      }
      EXPECT_EQ(SnapshotTree(site.parent, IsUpdateLogKey), everything);
    }
  }
}

// A journal refused for naming the installation by another path (what a
// changed drive letter gives) still names its backup folder beside this
// one: the old files whose place is empty come back, and the journal goes
// only once the backup holds nothing more.
TEST(RecoverInterruptedUpdate, ARefusedJournalsBackupComesBackWhereNothingIsInPlace) {
  UpdateSite site;
  site.UpdateUpTo(3);  // qv.exe replaced, the old shaders/a.spv moved out
  std::string text = ReadFileText(site.journal_path);
  const std::string parent = qv::setup::ToGenericUtf8(site.parent);
  for (size_t at = text.find(parent); at != std::string::npos; at = text.find(parent, at)) {
    text.replace(at, parent.size(), "X:/Elsewhere");
  }
  WriteFixtureFile(site.journal_path, text);
  const std::string backup = qv::setup::ToGenericUtf8(site.backup);

  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"a.spv"), "old a");
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "new exe");
  EXPECT_EQ(ReadFileText(site.backup / L"qv.exe"), "old exe");
  EXPECT_TRUE(fs::exists(site.journal_path));
  std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_NE(log.find("an update journal was refused and kept: it names another installation than the one that "
                     "holds it; put back from " + backup + ": shaders/a.spv; its backup folder " + backup +
                     " still holds files that were not put back: qv.exe\n"),
            std::string::npos)
      << log;

  // With the new file gone from its place, the next run puts the old one back
  // and the journal goes with the emptied backup.
  fs::remove(site.install / L"qv.exe");
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "old exe");
  EXPECT_FALSE(fs::exists(site.journal_path));
  EXPECT_FALSE(fs::exists(site.backup));
  log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_TRUE(log.ends_with("an update journal was refused and deleted: it names another installation than the one "
                            "that holds it; put back from " + backup + ": qv.exe\n"))
      << log;
}

// A journal that recovery kept is set aside, not overwritten, when a commit
// needs the journal's place (a repair after a refused uninstall): no later
// run takes its steps again, but every one finishes it as far as it can.
// The backup of a refused one gives back its files once their place is
// empty, a finished update's backup goes; until then no sweep touches its
// folders, and the journal goes only with the last of them.
TEST(RecoverInterruptedUpdate, AJournalKeptByRecoveryIsSetAsideAndFinishedByLaterRuns) {
  UpdateSite site;
  site.UpdateUpTo(3);  // qv.exe replaced, the old shaders/a.spv moved out
  std::string text = ReadFileText(site.journal_path);
  const std::string parent = qv::setup::ToGenericUtf8(site.parent);
  for (size_t at = text.find(parent); at != std::string::npos; at = text.find(parent, at)) {
    text.replace(at, parent.size(), "X:/Elsewhere");
  }
  WriteFixtureFile(site.journal_path, text);
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  ASSERT_TRUE(fs::exists(site.journal_path));

  const fs::path aside = site.install / L"data" / L"update-journal.kept-{run-2}.txt";
  EXPECT_EQ(qv::setup::SetAsideKeptJournal(site.install, "{run-2}"), aside);
  EXPECT_FALSE(fs::exists(site.journal_path));
  EXPECT_EQ(ReadFileText(aside), text);
  const std::string backup = qv::setup::ToGenericUtf8(site.backup);
  std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_TRUE(log.ends_with(" the update journal that recovery kept was set aside as " +
                            qv::setup::ToGenericUtf8(aside) + " for later runs to finish\n"))
      << log;
  qv::setup::RemoveAbandonedUpdateFolders(site.install, "{run-3}");
  EXPECT_EQ(ReadFileText(site.backup / L"qv.exe"), "old exe");
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "new exe");
  EXPECT_TRUE(fs::exists(aside));
  EXPECT_NE(qv::setup::KeptJournalText(site.install).find(qv::setup::NativePathToUtf8(site.backup)),
            std::string::npos);

  fs::remove(site.install / L"qv.exe");
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "old exe");
  EXPECT_FALSE(fs::exists(aside));
  EXPECT_FALSE(fs::exists(site.backup));
  log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_TRUE(log.ends_with(" the update journal set aside as " + qv::setup::ToGenericUtf8(aside) +
                            " is finished and deleted; put back from " + backup + ": qv.exe\n"))
      << log;

  // A finished update's journal, kept while its backup was held open: set
  // aside, its folders go at the next run and no old file comes back.
  UpdateSite finished;
  finished.UpdateAll(qv::setup::kJournalStarted);
  const fs::path finished_aside = finished.install / L"data" / L"update-journal.kept-{run-2}.txt";
  {
    qv::setup::UniqueFile held = HeldWithoutWriteSharing(finished.backup / L"qv.exe");
    ASSERT_TRUE(held);
    EXPECT_FALSE(RecoverInterruptedUpdate(finished.install, 1ms));
    EXPECT_EQ(qv::setup::SetAsideKeptJournal(finished.install, "{run-2}"), finished_aside);
  }
  EXPECT_FALSE(RecoverInterruptedUpdate(finished.install, 1ms));
  EXPECT_TRUE(finished.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(finished_aside));
  EXPECT_EQ(SnapshotTree(finished.install, IsUpdateLogKey), finished.NewVersion());
}

// A file put back by hand at the place of a removed one, or the new file of
// a replaced one, never stops the rollback: it goes to the staging folder
// and the old file comes back. A folder in its place fails the step with a
// sentence that names it and what to do, never one to close the game.
TEST(RecoverInterruptedUpdate, AFileInPlaceIsMovedAsideAndTheBackupComesBack) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapping);
  WriteFixtureFile(site.install / L"shaders" / L"gone.spv", "put back by hand");
  EXPECT_TRUE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
  EXPECT_TRUE(site.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(site.journal_path));

  UpdateSite folder;
  folder.UpdateAll(qv::setup::kJournalSwapping);
  const fs::path in_the_way = folder.install / L"shaders" / L"gone.spv";
  fs::create_directories(in_the_way / L"inside");
  EXPECT_EQ(ThrownMessage([&] { RecoverInterruptedUpdate(folder.install); }),
            "An earlier update could not be undone (could not restore shaders/gone.spv: the folder " +
                qv::setup::ToGenericUtf8(in_the_way) +
                " stands in its place). Move that folder elsewhere, then try again; until then the update's backup "
                "folder " +
                qv::setup::ToGenericUtf8(folder.backup) + " is kept.");
  EXPECT_EQ(ReadFileText(folder.backup / L"shaders" / L"gone.spv"), "old gone");
  EXPECT_TRUE(fs::exists(folder.journal_path));
  // Done as the sentence says, the next run finishes the rollback.
  fs::rename(in_the_way, folder.parent / L"moved aside");
  EXPECT_TRUE(RecoverInterruptedUpdate(folder.install));
  EXPECT_EQ(SnapshotTree(folder.install, IsUpdateLogKey), folder.before);
  EXPECT_FALSE(fs::exists(folder.journal_path));
}

// A finished update's journal stays while its backup cannot go (a file held
// open), so that a later run removes the folder; then the journal goes too.
TEST(RecoverInterruptedUpdate, AFinishedUpdatesJournalStaysUntilItsFoldersAreGone) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalStarted);
  {
    qv::setup::UniqueFile held = HeldWithoutWriteSharing(site.backup / L"qv.exe");
    ASSERT_TRUE(held);
    EXPECT_FALSE(RecoverInterruptedUpdate(site.install, 1ms));
  }
  EXPECT_TRUE(fs::exists(site.journal_path));
  EXPECT_TRUE(fs::exists(site.backup / L"qv.exe"));
  const std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_NE(log.find("the folder " + qv::setup::ToGenericUtf8(site.backup) + " of a finished update could not be "
                     "removed; its journal stays for the next run"),
            std::string::npos)
      << log;
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install, 1ms));
  EXPECT_TRUE(site.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(site.journal_path));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.NewVersion());
}

// A journal that cannot be read for the moment (another program holds it
// open) is no damaged one: it stays, and the next run rolls back.
TEST(RecoverInterruptedUpdate, AJournalThatCannotBeReadForNowStays) {
  UpdateSite site;
  site.UpdateUpTo(4);
  const std::string text = ReadFileText(site.journal_path);
  {
    qv::setup::UniqueFile held(
        ::CreateFileW(site.journal_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(RecoverInterruptedUpdate(site.install, 1ms));
  }
  EXPECT_EQ(ReadFileText(site.journal_path), text);
  const std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_NE(log.find("the update journal could not be read for now ("), std::string::npos) << log;
  EXPECT_NE(log.find("); it stays for the next run"), std::string::npos) << log;
  EXPECT_TRUE(RecoverInterruptedUpdate(site.install, 1ms));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
}

TEST(RecoverInterruptedUpdate, FailedRollbackKeepsTheJournalForLater) {
  UpdateSite site;
  site.UpdateUpTo(2);  // qv.exe replaced
  // A folder stands in staging where the new qv.exe would go back.
  fs::create_directories(site.staging / L"qv.exe" / L"inside");
  EXPECT_EQ(ThrownMessage([&] { RecoverInterruptedUpdate(site.install); }),
            "An earlier update could not be undone (could not move qv.exe back: a folder of that name is in the "
            "staging folder " +
                qv::setup::ToGenericUtf8(site.staging) +
                "). Move that folder elsewhere, then try again; until then the update's backup folder " +
                qv::setup::ToGenericUtf8(site.backup) + " is kept.");
  EXPECT_TRUE(fs::exists(site.journal_path));
  EXPECT_EQ(ReadFileText(site.backup / L"qv.exe"), "old exe");
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "new exe");

  // Once the way is clear, the next recovery finishes the job.
  fs::remove_all(site.staging / L"qv.exe");
  EXPECT_TRUE(RecoverInterruptedUpdate(site.install));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
  EXPECT_TRUE(site.TemporaryFoldersGone());
}

// A journal cut short by damaged storage can still read as a shorter sound
// one: the rollback undoes only the steps it names, and the backup still
// holds old files that nothing else records. They are never deleted.
TEST(RecoverInterruptedUpdate, BackupThatStillHoldsFilesIsKept) {
  struct Case {
    const char* what;
    size_t kept_steps;  // step lines left in the journal
  } cases[] = {{"cut after the backup line", 0}, {"cut before the fourth step", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UpdateSite site;
    site.UpdateAll(qv::setup::kJournalSwapping);
    std::string text = ReadFileText(site.journal_path);
    size_t cut = text.find("\nstep=");
    for (size_t i = 0; i < c.kept_steps; ++i) cut = text.find("\nstep=", cut + 1);
    text.resize(cut + 1);
    if (c.kept_steps == 0) text.resize(text.find("\ndownload=") + 1);  // nothing after the backup line
    WriteFixtureFile(site.journal_path, text);
    ASSERT_TRUE(ReadUpdateJournal(site.journal_path));

    EXPECT_TRUE(RecoverInterruptedUpdate(site.install));
    // An old file the journal does not name comes back where nothing is in
    // place; the others are still there, with the staging folder and the
    // journal, and the update log says where.
    EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"gone.spv"), "old gone");
    EXPECT_FALSE(fs::exists(site.backup / L"shaders" / L"gone.spv"));
    EXPECT_NE(ReadFileText(site.backup / L"qv-install-manifest.txt"), "");
    EXPECT_TRUE(fs::exists(site.staging));
    EXPECT_TRUE(fs::exists(site.journal_path));
    const std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
    EXPECT_NE(log.find(qv::setup::ToGenericUtf8(site.backup) + " still holds files"), std::string::npos) << log;
    // The steps it does name are undone.
    if (c.kept_steps == 3) {
      EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "old exe");
      EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"a.spv"), "old a");
      EXPECT_FALSE(fs::exists(site.install / L"shaders" / L"b.spv"));
    }
    // A later recovery keeps them too.
    EXPECT_TRUE(RecoverInterruptedUpdate(site.install));
    EXPECT_NE(ReadFileText(site.backup / L"qv-install-manifest.txt"), "");
    std::string message;
    EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message));
    EXPECT_EQ(message, "the backup folder " + qv::setup::ToGenericUtf8(site.backup) + " still holds files");
    EXPECT_NE(ReadFileText(site.backup / L"qv-install-manifest.txt"), "");
  }
}

TEST(WaitForStartedVersion, ConfirmationByJournal) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalStarted);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForStartedVersion(site.journal_path, {}, 60), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

  // The game confirms while it is being waited for.
  UpdateSite later;
  later.UpdateAll(qv::setup::kJournalSwapped);
  std::thread game([&] {
    std::this_thread::sleep_for(400ms);
    auto journal = ReadUpdateJournal(later.journal_path);
    journal->state = qv::setup::kJournalStarted;
    WriteUpdateJournal(later.journal_path, *journal);
  });
  start = std::chrono::steady_clock::now();
  std::int32_t code = 77;
  EXPECT_EQ(WaitForStartedVersion(
                later.journal_path, [] { return std::optional<std::int32_t>(); }, 20, &code, 10ms),
            0);
  game.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(code, 77);  // no exit code was seen
}

TEST(WaitForStartedVersion, TheStartedGameEnds) {
  struct Case {
    std::int32_t exit;
    bool confirms_before_it_ends;
    std::int32_t expected;
  } cases[] = {{3, false, 1}, {0, false, 0}, {3, true, 0}, {-1, false, 1}};
  for (const Case& c : cases) {
    UpdateSite site;
    site.UpdateAll(qv::setup::kJournalSwapped);
    int asked = 0;
    auto exit_query = [&]() -> std::optional<std::int32_t> {
      if (++asked < 3) return std::nullopt;  // runs for two polls
      if (c.confirms_before_it_ends) {
        auto journal = ReadUpdateJournal(site.journal_path);
        journal->state = qv::setup::kJournalStarted;
        WriteUpdateJournal(site.journal_path, *journal);
      }
      return c.exit;
    };
    std::int32_t code = 77;
    EXPECT_EQ(WaitForStartedVersion(site.journal_path, exit_query, 60, &code, 10ms), c.expected) << c.exit;
    EXPECT_EQ(code, c.exit);
    EXPECT_EQ(asked, 3);
  }
}

TEST(WaitForStartedVersion, TimeLimit) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForStartedVersion(site.journal_path, {}, 1), 2);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 1s);
  EXPECT_LT(waited, 3s);

  // Still running at the limit counts as started; so does a missing journal
  // while the game runs.
  EXPECT_EQ(WaitForStartedVersion(
                site.journal_path, [] { return std::optional<std::int32_t>(); }, 0),
            0);
  fs::remove(site.journal_path);
  EXPECT_EQ(WaitForStartedVersion(
                site.journal_path, [] { return std::optional<std::int32_t>(); }, 0),
            0);
  EXPECT_EQ(WaitForStartedVersion(site.journal_path, {}, 0), 2);
}

TEST(FinishStartedUpdate, RemovesBackupStagingAndJournal) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  EXPECT_TRUE(FinishStartedUpdate(site.journal_path));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.NewVersion());
  EXPECT_TRUE(site.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(site.journal_path));
}

TEST(FinishStartedUpdate, FileInUseLeavesAStartedJournal) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  {
    qv::setup::UniqueFile held = HeldWithoutWriteSharing(site.backup / L"qv.exe");
    ASSERT_TRUE(held);
    EXPECT_FALSE(FinishStartedUpdate(site.journal_path, 1ms));
  }
  auto journal = ReadUpdateJournal(site.journal_path);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalStarted);
  EXPECT_EQ(journal->steps.size(), 6u);
  EXPECT_TRUE(fs::exists(site.backup / L"qv.exe"));
  EXPECT_FALSE(fs::exists(site.staging));

  // The next recovery finishes the clean-up and keeps the new version.
  EXPECT_FALSE(RecoverInterruptedUpdate(site.install, 1ms));
  EXPECT_TRUE(site.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(site.journal_path));
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.NewVersion());
}

// The new version started, but the journal still says "swapping" (its
// rewrite as "swapped" failed): the start is recorded before any backup goes,
// or nothing goes at all.
TEST(FinishStartedUpdate, SwappingJournalIsMarkedStartedFirst) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapping);
  fs::create_directories(site.journal_path.native() + L".new");  // no rewrite possible
  EXPECT_FALSE(FinishStartedUpdate(site.journal_path, 1ms));
  EXPECT_TRUE(fs::exists(site.backup / L"qv.exe"));
  EXPECT_EQ(ReadUpdateJournal(site.journal_path)->state, qv::setup::kJournalSwapping);
  // The next recovery can still undo the whole update.
  EXPECT_TRUE(RecoverInterruptedUpdate(site.install, 1ms));
  EXPECT_EQ(SnapshotTree(site.install, [](const std::string& key) { return key == "data/update-journal.txt.new/" || IsUpdateLogKey(key); }),
            site.before);

  UpdateSite writable;
  writable.UpdateAll(qv::setup::kJournalSwapping);
  EXPECT_TRUE(FinishStartedUpdate(writable.journal_path));
  EXPECT_TRUE(writable.TemporaryFoldersGone());
  EXPECT_EQ(SnapshotTree(writable.install, IsUpdateLogKey), writable.NewVersion());
}

TEST(FinishStartedUpdate, RefusedOrMissingJournalCountsAsFinished) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  WriteFixtureFile(site.journal_path, "qv-update-journal 1\nstate=started\n");
  EXPECT_TRUE(FinishStartedUpdate(site.journal_path));
  EXPECT_FALSE(fs::exists(site.journal_path));
  EXPECT_TRUE(fs::exists(site.backup / L"qv.exe"));  // nothing is removed on the word of a refused journal
  EXPECT_TRUE(FinishStartedUpdate(site.journal_path));
}

// A refused journal that names a backup folder still holding files is the
// last record of them, and one that cannot be read for now may be sound:
// either stays for the next recovery, and nothing is removed.
TEST(FinishStartedUpdate, ARefusedJournalNamingFilesOrOneNotReadForNowStays) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalStarted);
  std::string text = ReadFileText(site.journal_path);
  const std::string install = qv::setup::ToGenericUtf8(site.install);
  text.replace(text.find(install), install.size(), "X:/Elsewhere/Game");
  WriteFixtureFile(site.journal_path, text);
  EXPECT_FALSE(FinishStartedUpdate(site.journal_path, 1ms));
  EXPECT_EQ(ReadFileText(site.journal_path), text);
  EXPECT_EQ(ReadFileText(site.backup / L"qv.exe"), "old exe");

  UpdateSite held;
  held.UpdateAll(qv::setup::kJournalStarted);
  {
    qv::setup::UniqueFile handle(
        ::CreateFileW(held.journal_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    EXPECT_FALSE(FinishStartedUpdate(held.journal_path, 1ms));
  }
  EXPECT_TRUE(fs::exists(held.journal_path));
  EXPECT_EQ(ReadFileText(held.backup / L"qv.exe"), "old exe");
  EXPECT_TRUE(FinishStartedUpdate(held.journal_path, 1ms));
  EXPECT_TRUE(held.TemporaryFoldersGone());
}

TEST(RestorePreviousVersion, UndoesAFinishedUpdate) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  std::string message = "untouched";
  EXPECT_TRUE(RestorePreviousVersion(site.journal_path, &message));
  EXPECT_EQ(message, "untouched");
  EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
  EXPECT_TRUE(site.TemporaryFoldersGone());
  EXPECT_FALSE(fs::exists(site.journal_path));

  // Nothing left to go by.
  EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message));
  EXPECT_EQ(message, "the update journal is missing");
  EXPECT_FALSE(RestorePreviousVersion(site.journal_path));
}

// The new version failed to start, and the restore fails half-way (a file
// held open). The journal it leaves must make the next recovery finish the
// rollback, not take the mix for a finished update and delete the backup.
TEST(RestorePreviousVersion, FailedRestoreIsFinishedByTheNextRecovery) {
  for (std::int32_t state : {qv::setup::kJournalSwapped, qv::setup::kJournalStarted}) {
    SCOPED_TRACE(state);
    UpdateSite site;
    site.UpdateAll(state);
    std::string message;
    {
      qv::setup::UniqueFile held = HeldWithoutWriteSharing(site.install / L"qv.exe");
      ASSERT_TRUE(held);
      EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message));
    }
    EXPECT_EQ(message.rfind("could not move qv.exe back: ", 0), 0u) << message;
    ASSERT_TRUE(ReadUpdateJournal(site.journal_path));
    EXPECT_EQ(ReadUpdateJournal(site.journal_path)->state, qv::setup::kJournalSwapping);
    EXPECT_EQ(ReadFileText(site.backup / L"qv.exe"), "old exe");

    // Released, the next recovery restores the old tree byte for byte.
    EXPECT_TRUE(RecoverInterruptedUpdate(site.install));
    EXPECT_EQ(SnapshotTree(site.install, IsUpdateLogKey), site.before);
    EXPECT_TRUE(site.TemporaryFoldersGone());
    EXPECT_FALSE(fs::exists(site.journal_path));
  }

  // The journal cannot be rewritten: nothing is moved.
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalSwapped);
  fs::create_directories(site.journal_path.native() + L".new");
  const TreeSnapshot everything = SnapshotTree(site.parent, IsUpdateLogKey);
  std::string message;
  EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message));
  EXPECT_EQ(message, "the update journal could not be rewritten");
  EXPECT_EQ(SnapshotTree(site.parent, IsUpdateLogKey), everything);
}

TEST(RestorePreviousVersion, FailedRollbackKeepsJournalAndFolders) {
  UpdateSite site;
  site.UpdateAll(qv::setup::kJournalStarted);
  const fs::path in_the_way = site.install / L"shaders" / L"gone.spv";
  fs::create_directories(in_the_way / L"made by the new version");
  std::string message;
  EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message));
  EXPECT_EQ(message, "could not restore shaders/gone.spv: the folder " + qv::setup::ToGenericUtf8(in_the_way) +
                         " stands in its place; move that folder elsewhere");
  EXPECT_TRUE(fs::exists(site.journal_path));
  EXPECT_TRUE(fs::exists(site.backup / L"shaders" / L"gone.spv"));
  EXPECT_TRUE(fs::exists(in_the_way / L"made by the new version"));
  // Every other step was undone.
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "old exe");
}

}  // namespace

namespace {

// A journal step that names the player's item by its short 8.3 name passes
// every name test, yet a rollback would move what the name stands for into
// the staging folder, which then goes. No commit writes such a step: the
// journal is refused as any other planted one, and nothing moves.
TEST(RecoverInterruptedUpdate, AStepNamingAnItemByAnotherNameRefusesTheJournal) {
  const struct {
    const wchar_t* item;  // the player's, below the installation
    char kind;
  } cases[] = {
      {L"screenshots/shot.png", 'a'},
      {L"enhanced-textures/t.dds", 'r'},
      {L"dlssg_sm86.ini", 'a'},
      {L"qv-dlssg-route.json", 'r'},
  };
  for (const auto& c : cases) {
    UpdateSite site;
    const fs::path item = site.install / fs::path(c.item).make_preferred();
    WriteFixtureFile(item, "the player's");
    const fs::path first = site.install / *fs::path(c.item).begin();
    const std::string short_name = qv::test::ShortNameOf(first);
    ASSERT_FALSE(short_name.empty());
    std::string step = qv::setup::ToGenericUtf8(fs::path(c.item));
    step.replace(0, qv::setup::ToGenericUtf8(*fs::path(c.item).begin()).size(), short_name);
    SCOPED_TRACE(step);
    UpdateJournal journal = site.Journal(qv::setup::kJournalSwapping);
    journal.steps.push_back({c.kind, step});
    if (c.kind == 'r') WriteFixtureFile(site.backup / qv::setup::PathFromUtf8(step), "old");
    ASSERT_TRUE(WriteUpdateJournal(site.journal_path, journal));
    ASSERT_TRUE(ReadUpdateJournal(site.journal_path)) << "a journal its reader takes";
    const TreeSnapshot everything = SnapshotTree(site.parent, [](const std::string& key) {
      return key == "Game/data/update-journal.txt" || IsUpdateLogKey(key);
    });

    std::string message;
    EXPECT_FALSE(RestorePreviousVersion(site.journal_path, &message, 1ms));
    EXPECT_EQ(message, step + " is " + qv::setup::ToGenericUtf8(fs::path(c.item)) + " under another name");
    EXPECT_FALSE(RecoverInterruptedUpdate(site.install, 1ms));
    // The backup's file under the short name is never put back, and the
    // journal stays with it.
    EXPECT_EQ(fs::exists(site.journal_path), c.kind == 'r');
    EXPECT_EQ(ReadFileText(item), "the player's");
    EXPECT_EQ(SnapshotTree(site.parent, [](const std::string& key) { return key == "Game/data/update-journal.txt" || IsUpdateLogKey(key); }),
              everything);
  }
}

}  // namespace
