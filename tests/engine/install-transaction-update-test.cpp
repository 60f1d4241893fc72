// Updates of an existing installation or portable copy through the whole
// transaction: what is compared, staged, replaced, added, removed and left
// alone, the update log's summary, and the journal kept for a start
// confirmation.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/install-transaction.h"
#include "engine/transaction/update-verification.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
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
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::HookRecorder;
using qv::test::InstalledSite;
using qv::test::PlentyOfSpace;
using qv::test::TemporaryItemsBeside;

// Files of the player and of a graphics route that no update may touch.
const qv::setup::FixtureFiles kUntouchable{
    {"data/qv.ini", "settings"},
    {"saves/slot1.dat", "a save"},
    {"mods/mine/readme.txt", "a mod"},
    {"dlss5-autopilot.json", R"({"files": ["nvngx_dlss.dll"]})"},
    {"nvngx_dlss.dll", "the route's own upscaler"},
};

void WriteFiles(const fs::path& root, const qv::setup::FixtureFiles& files) {
  for (const auto& [name, content] : files) WriteFixtureFile(root / qv::setup::PathFromUtf8(name), content);
}

// Volume serial and file index: a file moved by rename keeps them, a file
// written again does not.
std::optional<std::pair<std::uint32_t, std::uint64_t>> FileIdentity(const fs::path& path) {
  qv::setup::UniqueFile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return std::make_pair(static_cast<std::uint32_t>(info.dwVolumeSerialNumber),
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow);
}

// The update log's lines without their time stamps.
std::vector<std::string> UpdateLogMessages(const fs::path& install) {
  std::vector<std::string> messages;
  const std::string text = ReadFileText(install / L"data" / L"qv-update.log");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    messages.push_back(line.size() > 20 ? line.substr(20) : line);  // "YYYY-MM-DD hh:mm:ss "
    start = end + 1;
  }
  return messages;
}

std::string Digest(const std::string& content) {
  qv::test::TempFolder temp;
  WriteFixtureFile(temp / L"f", content);
  return qv::setup::HashFile(temp / L"f");
}

TEST(UpdateInstall, ComparingModeChangesOnlyWhatDiffers) {
  InstalledSite site;
  WriteFiles(site.install, kUntouchable);
  const auto unchanged_identity = FileIdentity(site.install / L"shaders" / L"a.spv");
  const auto picture_identity = FileIdentity(site.install / L"CUSA09901" / L"sce_sys" / L"pic1.png");
  std::vector<fs::path> shortcuts;
  InstallHooks hooks = site.UpdateHooks("u1", &shortcuts);
  hooks.before_commit = [&] { EXPECT_EQ(qv::setup::ReadFileText(site.install / L"qv.exe"), "game executable 1.0.0"); };
  HookRecorder recorder;
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, true, hooks, PlentyOfSpace());

  EXPECT_TRUE(outcome.updated);
  EXPECT_TRUE(outcome.had_install_manifest);
  EXPECT_EQ(outcome.previous_version, "1.0.0");
  EXPECT_FALSE(outcome.archives_restored);
  // Files of the release only: the install manifest and icon0.png (for the
  // shortcut) are written too, but are not counted.
  EXPECT_EQ(outcome.replaced, 1u);  // qv.exe
  EXPECT_EQ(outcome.added, 1u);     // shaders/new.spv
  EXPECT_EQ(outcome.removed, 1u);   // shaders/old.spv, which 1.1.0 no longer ships
  EXPECT_EQ(outcome.unchanged, 2u);
  EXPECT_EQ(outcome.verified, 4u);  // nvngx_dlss.dll belongs to the route
  EXPECT_EQ(outcome.repaired, 0u);
  EXPECT_EQ(outcome.bytes_to_write, std::string("game executable 1.1.0").size() + std::string("new shader").size());
  EXPECT_TRUE(outcome.notes.empty());
  EXPECT_TRUE(outcome.sweep_messages.empty());
  EXPECT_FALSE(outcome.title_picture_missing);
  EXPECT_TRUE(outcome.journal_path.empty());
  EXPECT_EQ(shortcuts, std::vector<fs::path>{site.install});

  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.1.0");
  EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"new.spv"), "new shader");
  EXPECT_EQ(ReadFileText(site.install / L"icon0.png"), qv::setup::PngBytes("icon0 CUSA09901"));
  EXPECT_FALSE(qv::setup::ReadItemStatus(site.install / L"shaders" / L"old.spv"));
  for (const auto& [name, content] : kUntouchable) {
    EXPECT_EQ(ReadFileText(site.install / qv::setup::PathFromUtf8(name)), content) << name;
  }
  // Files that did not differ were neither staged nor rewritten.
  EXPECT_EQ(FileIdentity(site.install / L"shaders" / L"a.spv"), unchanged_identity);
  EXPECT_EQ(FileIdentity(site.install / L"CUSA09901" / L"sce_sys" / L"pic1.png"), picture_identity);
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
  EXPECT_FALSE(qv::setup::ReadItemStatus(qv::setup::UpdateJournalPath(site.install)));

  const std::optional<qv::setup::InstallManifest> manifest = qv::setup::ReadInstallManifest(site.install);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, "1.1.0");
  EXPECT_EQ(manifest->source, qv::setup::ToGenericUtf8(site.dump));
  std::vector<std::string> listed;
  for (const auto& file : manifest->files) listed.push_back(file.path + " " + file.sha256);
  EXPECT_EQ(listed, (std::vector<std::string>{"qv.exe " + Digest("game executable 1.1.0"),
                                               "shaders/a.spv " + Digest("shader a"),
                                               "voice/model.bin " + Digest("voice model"),
                                               "shaders/new.spv " + Digest("new shader")}));

  EXPECT_EQ(UpdateLogMessages(site.install),
            std::vector<std::string>{
                "update 1.0.0 to 1.1.0: 1 replaced, 1 added, 2 unchanged, 1 removed, all 4 files checked"});
  EXPECT_EQ(outcome.replaced + outcome.added + outcome.unchanged, outcome.verified);
  const std::vector<std::string> stages{"Verifying the setup file...", "Comparing the installed files...",
                                        "Preparing native PC runtime...", "Updating the program files...",
                                        "Checking the installed files..."};
  std::vector<std::string> seen;
  for (const std::string& line : recorder.lines) {
    if (std::find(stages.begin(), stages.end(), line) != stages.end()) seen.push_back(line);
  }
  EXPECT_EQ(seen, stages);
  // Planned over the differing files; monotonic; complete at the end.
  ASSERT_FALSE(recorder.progress.empty());
  const std::uint64_t total = outcome.bytes_to_write;
  EXPECT_EQ(recorder.progress.front(), std::make_pair(std::uint64_t{0}, total));
  EXPECT_TRUE(std::is_sorted(recorder.progress.begin(), recorder.progress.end()));
  EXPECT_EQ(recorder.progress.back(), std::make_pair(total, total));
}

// A file held open without sharing while the installation is compared cannot
// be read, so it counts as differing and is written again once let go. Every
// file of the new version is then counted once: replaced, added or unchanged,
// which together make the files checked. The install manifest and the
// pictures the update writes beside them are not files of the release.
TEST(UpdateInstall, AFileInUseWhileComparingIsCountedOnceAndTheCountsAddUp) {
  InstalledSite site;
  const fs::path held_path = site.install / L"shaders" / L"a.spv";
  qv::setup::UniqueFile held(::CreateFileW(held_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid()) << ::GetLastError();
  InstallHooks hooks = site.UpdateHooks("in-use");
  // No ten seconds of retries for a file that stays held while it is compared.
  hooks.hash_file = [](const fs::path& path) { return qv::setup::HashFileSha256(path, qv::setup::kWholeFile, {1, 1}); };
  hooks.before_commit = [&] { held.reset(); };
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());

  EXPECT_EQ(outcome.replaced, 2u);  // qv.exe, and shaders/a.spv, which could not be read
  EXPECT_EQ(outcome.added, 2u);     // shaders/new.spv, nvngx_dlss.dll
  EXPECT_EQ(outcome.unchanged, 1u);  // voice/model.bin
  EXPECT_EQ(outcome.verified, 5u);
  EXPECT_EQ(outcome.replaced + outcome.added + outcome.unchanged, outcome.verified);
  EXPECT_EQ(ReadFileText(held_path), "shader a");
  EXPECT_EQ(UpdateLogMessages(site.install),
            std::vector<std::string>{
                "update 1.0.0 to 1.1.0: 2 replaced, 2 added, 1 unchanged, 1 removed, all 5 files checked"});
}

TEST(UpdateInstall, KeptJournalAwaitsTheStartConfirmation) {
  InstalledSite site;
  const fs::path downloads = site.temp / L"games" / L".qv-update-dl-u2";
  WriteFixtureFile(downloads / L"part.bin", "downloaded");
  std::vector<fs::path> shortcuts;
  InstallHooks hooks = site.UpdateHooks("u2", &shortcuts);
  hooks.keep_journal = true;
  hooks.download_folder = downloads;
  hooks.process_id = 777;
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, true, hooks, PlentyOfSpace());

  EXPECT_TRUE(shortcuts.empty());  // the caller confirms the start first
  EXPECT_EQ(outcome.journal_path, qv::setup::UpdateJournalPath(site.install));
  const std::optional<qv::setup::UpdateJournal> journal = qv::setup::ReadUpdateJournal(outcome.journal_path);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalSwapped);
  EXPECT_EQ(journal->old_version, "1.0.0");
  EXPECT_EQ(journal->new_version, "1.1.0");
  EXPECT_EQ(journal->pid, 777u);
  EXPECT_EQ(journal->download.filename(), downloads.filename());
  EXPECT_EQ(TemporaryItemsBeside(site.install),
            (std::vector<std::string>{".qv-update-dl-u2", ".qv-update-old-u2", ".qv-update-u2"}));
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.1.0");

  EXPECT_TRUE(qv::setup::FinishStartedUpdate(outcome.journal_path));
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.1.0");
}

TEST(UpdateInstall, WithoutComparingTheWholePayloadIsTaken) {
  InstalledSite site;
  InstallHooks hooks = site.UpdateHooks("u3");
  hooks.hash_file = nullptr;
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
  EXPECT_EQ(outcome.replaced, 3u);  // qv.exe, a.spv, model.bin (not the install manifest)
  EXPECT_EQ(outcome.added, 2u);     // new.spv, nvngx_dlss.dll
  EXPECT_EQ(outcome.removed, 1u);
  EXPECT_EQ(outcome.unchanged + outcome.verified + outcome.repaired + outcome.bytes_to_write, 0u);
  EXPECT_EQ(UpdateLogMessages(site.install),
            std::vector<std::string>{"update 1.0.0 to 1.1.0: 3 replaced, 2 added, 0 unchanged, 1 removed"});
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
}

TEST(UpdateInstall, KnownChangesAreTakenWithoutComparing) {
  InstalledSite site;
  InstallOutcome first;
  RunInstallTransaction(first, {}, site.install, false, site.UpdateHooks("u4"), PlentyOfSpace());

  InstallHooks hooks = site.UpdateHooks("u5");
  int extractions = 0;
  hooks.extract_entries = [&](const fs::path&, const std::vector<qv::setup::PayloadEntry>&) {
    ++extractions;
    return std::vector<qv::setup::InstalledFile>{};
  };
  hooks.expected_changes.emplace();
  HookRecorder recorder;
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
  EXPECT_EQ(extractions, 0);
  EXPECT_EQ(std::count(recorder.lines.begin(), recorder.lines.end(), "Comparing the installed files..."), 0);
  EXPECT_EQ(outcome.unchanged, 5u);
  EXPECT_EQ(outcome.verified, 5u);
  // Only the install manifest was written, and it is not a file of the release.
  EXPECT_EQ(outcome.replaced + outcome.added + outcome.removed, 0u);
  EXPECT_EQ(recorder.progress.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{1}));  // never a total of 0
  EXPECT_EQ(recorder.progress.back(), std::make_pair(std::uint64_t{1}, std::uint64_t{1}));
}

// An installation made before install manifests existed.
void WriteOlderInstall(const fs::path& install) {
  WriteFixtureFile(install / L"qv.exe", "old build");
  WriteFixtureFile(install / L"shaders" / L"a.spv", "shader a");
  qv::setup::WriteGameArchives(install / L"CUSA09901");
}

TEST(UpdateInstall, ReplacedVersionOfAnOlderInstall) {
  struct Case {
    const char* name;
    bool release_digest;
    std::string fallback;
    std::string expected_version;
    std::string expected_summary_start;
  };
  const Case cases[] = {
      {"named by qv.exe", true, "1.0.1", "1.0.2", "update 1.0.2 to 1.1.0: "},
      {"fallback", false, "1.0.1", "1.0.1", "update 1.0.1 to 1.1.0: "},
      {"unknown", false, "", "", "update of an older install to 1.1.0: "},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    InstalledSite site;
    const fs::path older = site.temp / L"older";
    WriteOlderInstall(older);
    WriteFixtureFile(older / L"data" / L"qv.ini", "settings");
    InstallHooks hooks = site.UpdateHooks("old");
    if (test.release_digest) {
      hooks.hash_file = [](const fs::path& path) {
        return ReadFileText(path) == "old build" ? std::string(qv::setup::KnownPortReleases[2].exe_sha256)
                                                 : qv::setup::HashFile(path);
      };
    }
    hooks.fallback_previous_version = test.fallback;
    InstallOutcome outcome;
    RunInstallTransaction(outcome, {}, older, false, hooks, PlentyOfSpace());
    EXPECT_FALSE(outcome.had_install_manifest);
    EXPECT_EQ(outcome.previous_version, test.expected_version);
    const std::vector<std::string> log = UpdateLogMessages(older);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind(test.expected_summary_start, 0), 0u) << log[0];
    EXPECT_EQ(qv::setup::ReadExistingInstall(older).version, "1.1.0");
  }
}

TEST(UpdateInstall, PortableCopy) {
  for (const std::string fallback : {"9.9.8", ""}) {
    SCOPED_TRACE(fallback);
    InstalledSite site;
    const fs::path portable = site.temp / L"portable";
    qv::test::WritePortableCopy(portable);
    std::vector<fs::path> shortcuts;
    InstallHooks hooks = site.UpdateHooks("p", &shortcuts);
    hooks.portable_copy = true;
    hooks.fallback_previous_version = fallback;
    InstallOutcome outcome;
    RunInstallTransaction(outcome, site.dump, portable, true, hooks, PlentyOfSpace());
    EXPECT_TRUE(outcome.updated);
    EXPECT_EQ(outcome.previous_version, fallback);
    EXPECT_FALSE(outcome.title_picture_missing);
    EXPECT_FALSE(outcome.archives_restored);
    const std::string summary = fallback.empty() ? "update of a portable copy to 1.1.0: "
                                                 : "update 9.9.8 (a portable copy) to 1.1.0: ";
    const std::vector<std::string> log = UpdateLogMessages(portable);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind(summary, 0), 0u) << log[0];
    // No game files, title picture or manifest; the icon for the shortcut all the same.
    EXPECT_FALSE(qv::setup::ReadItemStatus(portable / L"CUSA09901"));
    EXPECT_FALSE(qv::setup::ReadItemStatus(portable / L"qv-install-manifest.txt"));
    EXPECT_EQ(ReadFileText(portable / L"icon0.png"), qv::setup::PngBytes("icon0 CUSA09901"));
    EXPECT_EQ(shortcuts, std::vector<fs::path>{portable});
  }
}

TEST(UpdateInstall, MissingArchivesAreRestoredFromTheSource) {
  InstalledSite site;
  fs::remove(site.install / L"CUSA09901" / L"texture.qar");
  InstallOutcome outcome;
  RunInstallTransaction(outcome, site.dump, site.install, false, site.UpdateHooks("r"), PlentyOfSpace());
  EXPECT_TRUE(outcome.archives_restored);
  EXPECT_EQ(ReadFileText(site.install / L"CUSA09901" / L"texture.qar"), qv::setup::QarBytes());
  EXPECT_EQ(ReadFileText(site.install / L"CUSA09901" / L"sce_sys" / L"pic1.png"), qv::setup::PngBytes("pic1 CUSA09901"));
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
}

TEST(UpdateInstall, TitlePictureFromADumpFoundElsewhere) {
  for (const bool search_elsewhere : {true, false}) {
    SCOPED_TRACE(search_elsewhere);
    InstalledSite site;
    const fs::path picture = site.install / L"CUSA09901" / L"sce_sys" / L"pic1.png";
    fs::remove(picture);
    // The manifest names no source, and the dump has moved away.
    std::optional<qv::setup::InstallManifest> manifest = qv::setup::ReadInstallManifest(site.install);
    ASSERT_TRUE(manifest);
    qv::setup::WriteInstallManifest(site.install, manifest->version, manifest->files, "");
    const fs::path moved = site.temp / L"elsewhere" / L"CUSA09901";
    fs::create_directories(moved.parent_path());
    fs::rename(site.dump, moved);
    // A copy inside the installation never counts, though the search beside it finds it.
    qv::setup::WriteDumpedGame(site.install / L"dumpcopy", "CUSA09903");
    InstallHooks hooks = site.UpdateHooks("t");
    if (search_elsewhere) {
      hooks.picture_search_folders = [&] { return std::vector<fs::path>{site.temp / L"elsewhere"}; };
    }
    InstallOutcome outcome;
    RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
    EXPECT_EQ(outcome.title_picture_missing, !search_elsewhere);
    EXPECT_EQ(ReadFileText(picture), search_elsewhere ? qv::setup::PngBytes("pic1 CUSA09901") : "");
    manifest = qv::setup::ReadInstallManifest(site.install);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->source, search_elsewhere ? qv::setup::ToGenericUtf8(moved) : "");
  }
}

TEST(UpdateInstall, ShortcutFailureAfterTheUpdateIsAWarning) {
  InstalledSite site;
  InstallHooks hooks = site.UpdateHooks("s");
  hooks.create_shortcut = [](const fs::path&) { throw std::runtime_error("no desktop here"); };
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, true, hooks, PlentyOfSpace());
  EXPECT_EQ(outcome.warnings, std::vector<std::string>{"The desktop shortcut could not be created: no desktop here"});
  EXPECT_TRUE(outcome.notes.empty());
  EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.1.0");
}

TEST(UpdateSummary, Wording) {
  struct Case {
    std::string previous;
    bool portable;
    bool comparing;
    std::uint64_t repaired;
    std::string expected;
  };
  const Case cases[] = {
      {"1.0.2", false, true, 0, "update 1.0.2 to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed, all 655 files checked"},
      {"1.0.2", false, true, 1,
       "update 1.0.2 to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed, all 655 files checked, 1 fetched again"},
      {"", false, false, 0, "update of an older install to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed"},
      {"", true, false, 0, "update of a portable copy to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed"},
      {"1.0.3", true, false, 2,
       "update 1.0.3 (a portable copy) to 1.1.0: 12 replaced, 3 added, 640 unchanged, 2 removed, 2 fetched again"},
  };
  for (const Case& test : cases) {
    InstallOutcome outcome;
    outcome.previous_version = test.previous;
    outcome.replaced = 12;
    outcome.added = 3;
    outcome.unchanged = 640;
    outcome.removed = 2;
    outcome.verified = 655;
    outcome.repaired = test.repaired;
    InstallHooks hooks;
    hooks.new_version = "1.1.0";
    hooks.portable_copy = test.portable;
    EXPECT_EQ(qv::setup::UpdateSummaryLine(outcome, hooks, test.comparing), test.expected);
  }
}

}  // namespace
