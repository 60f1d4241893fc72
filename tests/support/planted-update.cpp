#include "support/planted-update.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text/text.h"
#include "support/temp-folder.h"

namespace qv::test {

qv::setup::UpdateJournal PlantUpdate(const std::filesystem::path& install, std::string_view run, std::int32_t state) {
  const std::filesystem::path parent = install.parent_path();
  qv::setup::UpdateJournal journal;
  journal.state = state;
  journal.install = install;
  journal.staging = parent / qv::setup::Utf8ToWide(".qv-update-" + std::string(run));
  journal.backup = parent / qv::setup::Utf8ToWide(".qv-update-old-" + std::string(run));
  journal.steps = {{'r', "qv.exe"}, {'a', "shaders/new.spv"}};
  WriteTestFile(journal.backup / L"qv.exe", "the old qv.exe");
  WriteTestFile(install / L"qv.exe", "the new qv.exe");
  WriteTestFile(install / L"shaders" / L"new.spv", "a new shader");
  std::filesystem::create_directories(journal.staging);
  EXPECT_TRUE(qv::setup::WriteUpdateJournal(qv::setup::UpdateJournalPath(install), journal));
  return journal;
}

const char* StuckJournalName(StuckJournal kind) {
  switch (kind) {
    case StuckJournal::kUndecodable:
      return "undecodable";
    case StuckJournal::kFileBackInPlace:
      return "file back in place";
    case StuckJournal::kOtherDriveLetter:
      return "other drive letter";
  }
  return "";
}

void PlantStuckJournal(const std::filesystem::path& install, StuckJournal kind) {
  namespace fs = std::filesystem;
  const std::string run = "{5A5A5A5A-7777-2222-3333-444444444444}";
  const fs::path parent = install.parent_path();
  const fs::path staging = parent / qv::setup::Utf8ToWide(".qv-update-" + run);
  const fs::path backup = parent / qv::setup::Utf8ToWide(".qv-update-old-" + run);
  fs::create_directories(staging);
  fs::create_directories(backup);
  const auto generic = [](const fs::path& path) { return qv::setup::WideToUtf8(path.generic_wstring()); };
  std::string named_install = generic(install);
  std::string named_staging = generic(staging);
  std::string named_backup = generic(backup);
  std::string step;
  switch (kind) {
    case StuckJournal::kUndecodable:
      named_staging += "\xff";
      step = "r qv.exe";
      break;
    case StuckJournal::kFileBackInPlace:
      fs::rename(install / L"qv.exe", backup / L"qv.exe");
      WriteTestFile(install / L"qv.exe", "a qv.exe put back by hand");
      step = "d qv.exe";
      break;
    case StuckJournal::kOtherDriveLetter: {
      fs::create_directories(backup / L"CUSA09901");
      fs::rename(install / L"CUSA09901" / L"chunk1.psarc", backup / L"CUSA09901" / L"chunk1.psarc");
      // The same folders, as the drive that held them was lettered before.
      for (std::string* named : {&named_install, &named_staging, &named_backup}) (*named)[0] = 'Q';
      step = "r CUSA09901/chunk1.psarc";
      break;
    }
  }
  WriteTestFile(qv::setup::UpdateJournalPath(install),
                "qv-update-journal 1\nstate=swapping\ninstall=" + named_install + "\nstaging=" + named_staging +
                    "\nbackup=" + named_backup +
                    "\ndownload=\nold_version=1.0.0\nnew_version=1.1.0\npid=0\nstep=" + step + "\n");
}

std::string StuckJournalLogLine(StuckJournal kind) {
  switch (kind) {
    case StuckJournal::kUndecodable:
      return "an update journal was refused and deleted, nothing moved: its staging line is not valid UTF-8";
    case StuckJournal::kFileBackInPlace:
      return "an interrupted update from 1.0.0 to 1.1.0 was rolled back";
    case StuckJournal::kOtherDriveLetter:
      return "; put back from ";
  }
  return "";
}

}  // namespace qv::test
