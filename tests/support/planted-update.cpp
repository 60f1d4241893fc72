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

}  // namespace qv::test
