// The texts made from an install outcome: the setup window's summary and the
// "--install" result.

#include <gtest/gtest.h>

#include <string>

#include "setup/modes/install-mode.h"
#include "setup/window/outcome-summary.h"

namespace {

using qv::setup::InstallOutcome;

const std::wstring kDiffers =
    L" Your copy differs from the tested US release; install-notes.txt in the install folder lists how.";
const std::wstring kNoPicture =
    L" The start picture (sce_sys/pic1.png) is still missing: select your PKG or dump folder above and press Install "
    L"again to add it.";

InstallOutcome Updated(std::uint32_t replaced, std::uint32_t added, std::uint32_t removed) {
  InstallOutcome outcome;
  outcome.updated = true;
  outcome.replaced = replaced;
  outcome.added = added;
  outcome.removed = removed;
  return outcome;
}

TEST(OutcomeSummary, EdgeCases) {
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(InstallOutcome{}), L"Installed. Launch qv.exe or the desktop shortcut.");
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(Updated(3, 1, 0)),
            L"Updated to version 1.1.0: 3 files replaced, 1 added, 0 removed. Your settings and saves are unchanged.");

  InstallOutcome restored = Updated(0, 4294967295u, 12);
  restored.archives_restored = true;
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(restored),
            L"Updated to version 1.1.0: 0 files replaced, 4294967295 added, 12 removed, game archives restored. Your "
            L"settings and saves are unchanged.");

  InstallOutcome both;
  both.notes = {"chunk1.psarc is named game.psarc in this release; installed as chunk1.psarc"};
  both.title_picture_missing = true;
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(both),
            L"Installed. Launch qv.exe or the desktop shortcut." + kDiffers + kNoPicture);

  // Warnings say what could not be finished; they are no difference of the game copy.
  InstallOutcome warned = Updated(1, 0, 0);
  warned.warnings = {"The desktop shortcut could not be created: no desktop."};
  warned.title_picture_missing = true;
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(warned),
            L"Updated to version 1.1.0: 1 file replaced, 0 added, 0 removed. Your settings and saves are unchanged." +
                kNoPicture + L" The desktop shortcut could not be created: no desktop.");
}

TEST(InstallResult, LinesInTheirOrder) {
  qv::setup::ProgressStatsRecord stats;
  EXPECT_EQ(qv::setup::FormatInstallResult(InstallOutcome{}, stats),
            "PASS installed\nprogress events 0 monotonic yes distinct 0 last 0% (0/0 bytes)\n");

  InstallOutcome outcome = Updated(2, 1, 3);
  outcome.archives_restored = true;
  outcome.unchanged = 7;
  outcome.verified = 3;
  outcome.repaired = 1;
  outcome.bytes_to_write = 123456789012;
  outcome.notes = {"first note", "second note"};
  outcome.warnings = {"The update journal could not be removed."};
  outcome.title_picture_missing = true;
  outcome.recovery_done = true;
  stats.events = 2;
  stats.last_done = 50;
  stats.last_total = 100;
  stats.seen_permille.set(0);
  stats.seen_permille.set(500);
  EXPECT_EQ(qv::setup::FormatInstallResult(outcome, stats),
            "PASS updated\nfrom older install replaced 2 added 1 removed 3 archives restored\n"
            "unchanged 7 verified 3 repaired 1 written 123456789012 bytes\nnote: first note\nnote: second note\n"
            "warning: The update journal could not be removed.\ntitle picture missing\n"
            "recovered an interrupted update\nprogress events 2 monotonic yes distinct 2 last 50% (50/100 bytes)\n");

  outcome.previous_version = "1.0.8";
  outcome.archives_restored = false;
  const std::string kept = "PASS updated\nfrom 1.0.8 replaced 2 added 1 removed 3 archives kept\n";
  EXPECT_EQ(qv::setup::FormatInstallResult(outcome, stats).substr(0, kept.size()), kept);
}

}  // namespace
