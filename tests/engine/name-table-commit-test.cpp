// The commit and the update journal's reader judge the shared table of port
// file names (tests/fixtures/payload-names.txt) as its rows say: what the
// commit writes a journal may name, and what it refuses no journal may name.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "engine/records/existing-install.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/canonical-path.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/name-table.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::IsUpdateLogKey;
using qv::setup::SnapshotTree;
using qv::test::NameRow;
using qv::test::TempFolder;

struct Verdicts {
  bool commit_writes = false;
  bool journal_takes_add = false;
  bool journal_takes_replace = false;
};

// An installation that holds the game's title folder, and the game's archive
// pair also in "game/" and in "extractor/" (as a portable copy keeps it), with
// the staging folder of an update beside it.
void BuildInstall(const fs::path& install, const fs::path& staging) {
  qv::setup::BuildJournalTestInstall(install, staging);
  qv::setup::WriteFixtureFile(install / L"CUSA09901" / L"chunk1.psarc", "the player's archive");
  qv::setup::WriteFixtureFile(install / L"CUSA09901" / L"texture.qar", "the player's textures");
  for (const wchar_t* folder : {L"game", L"extractor"}) {
    qv::setup::WriteFixtureFile(install / folder / L"chunk1.psarc", "the player's archive, copied");
    qv::setup::WriteFixtureFile(install / folder / L"texture.qar", "the player's textures, copied");
  }
}

// The installation as BuildInstall leaves it, taken once: every refusal must
// leave each row's installation exactly so. (Walking and reading a tree costs
// as much under Wine as building it; once per row was a third of the test.)
const qv::setup::TreeSnapshot& InstallAsBuilt() {
  static const qv::setup::TreeSnapshot snapshot = [] {
    TempFolder temp;
    const fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
    BuildInstall(parent / L"Game", parent / L".qv-update-run");
    return SnapshotTree(parent / L"Game", IsUpdateLogKey);
  }();
  return snapshot;
}

// Stages one file under `name` beside the installation of BuildInstall and
// commits it under a journal; first asks the journal's reader whether a
// journal of that installation may name it. A refusal must leave the installation as it was.
Verdicts Judge(const std::string& name) {
  TempFolder temp;
  const fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  const fs::path install = parent / L"Game";
  const fs::path staging = parent / L".qv-update-run";
  const fs::path backup = parent / L".qv-update-old-run";
  BuildInstall(install, staging);
  fs::path staged;
  try {
    staged = staging / qv::setup::PathFromUtf8(name);
    qv::setup::WriteFixtureFile(staged, "staged");
  } catch (const std::exception&) {
    // A name that cannot even be staged cannot be written either; the
    // commit is still asked, and must refuse it.
  }
  qv::setup::JournalContext journal;
  journal.journal_path = qv::setup::UpdateJournalPath(install);
  journal.old_version = "1.0.3";
  journal.new_version = "9.9.9";
  Verdicts verdicts;
  qv::setup::UpdateJournal record;
  record.install = install;
  record.steps = {{'a', name}};
  verdicts.journal_takes_add = qv::setup::CheckJournalSteps(record);
  record.steps = {{'r', name}};
  verdicts.journal_takes_replace = qv::setup::CheckJournalSteps(record);

  try {
    qv::setup::CommitStagedFiles(staging, install, {{name, ""}}, {}, qv::setup::ReadExistingInstall(install), backup,
                                 -1, &journal, {});
  } catch (const std::exception& error) {
    EXPECT_EQ(SnapshotTree(install, IsUpdateLogKey), InstallAsBuilt()) << error.what();
    return verdicts;
  }
  EXPECT_EQ(qv::setup::ReadFileText(install / qv::setup::PathFromUtf8(name)), "staged");
  verdicts.commit_writes = true;
  return verdicts;
}

TEST(NameTable, TheCommitAndTheJournalJudgeTheRowsAsTheySay) {
  const std::vector<NameRow> rows = qv::test::ReadNameTable();
  ASSERT_GT(rows.size(), 50u);
  for (const NameRow& row : rows) {
    ASSERT_TRUE(row.commit_verdict == "writes" || row.commit_verdict == "refuses" || row.commit_verdict == "game-data")
        << "line " << row.line;
    for (const std::string& name : row.names) {
      SCOPED_TRACE("payload-names.txt line " + std::to_string(row.line) + ": " + name);
      const bool writes = row.commit_verdict == "writes";
      const Verdicts verdicts = Judge(name);
      EXPECT_EQ(verdicts.commit_writes, writes);
      EXPECT_EQ(verdicts.journal_takes_add, writes);
      EXPECT_EQ(verdicts.journal_takes_replace, writes);
    }
  }
}

}  // namespace
