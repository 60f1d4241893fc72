#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/records/install-notes.h"
#include "foundation/files/paths.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GameSource;
using qv::setup::GameSourceKind;
using qv::setup::WriteInstallNotes;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

const char kExtractionLog[] =
    "Extracting package...\r\n"
    "warning: entry 12 has an unknown type\r\n"
    "Warning: capitalised lines are not warnings\n"
    "warning:no blank after the colon\n"
    "\n"
    "  warning: indented\n"
    "warning: \n"
    "warning: \xE2\x80\x9C" "quoted\xE2\x80\x9D and \x1A after a Ctrl-Z\n"
    "done\n"
    "warning: last line without a line end";

GameSource Source(GameSourceKind kind, std::vector<std::string> notes) {
  GameSource source;
  source.kind = kind;
  source.path = L"C:\\Games\\game.pkg";
  source.files.notes = std::move(notes);
  return source;
}

TEST(InstallNotes, PackageWarningsFollowTheSourceNotes) {
  TempFolder temp;
  WriteTestFile(temp / L"install-extraction.log", kExtractionLog);
  auto notes = WriteInstallNotes(Source(GameSourceKind::Pkg, {"first note", "second note"}), temp.path());
  const std::vector<std::string> expected{"first note",
                                          "second note",
                                          "entry 12 has an unknown type",
                                          "",
                                          "\xE2\x80\x9C" "quoted\xE2\x80\x9D and \x1A after a Ctrl-Z",
                                          "last line without a line end"};
  EXPECT_EQ(notes, expected);
  EXPECT_EQ(ReadTestFile(temp / L"install-notes.txt"),
            "first note\nsecond note\nentry 12 has an unknown type\n\n\xE2\x80\x9C" "quoted\xE2\x80\x9D and \x1A after "
            "a Ctrl-Z\nlast line without a line end\n");
}

TEST(InstallNotes, FolderBeyondMaxPath) {
  TempFolder temp;
  // In the "\\?\" form, as a caller may name a folder that deep.
  const fs::path deep = qv::setup::ToLongPath(qv::test::MakeDeepFolder(temp.path(), 300).native());
  qv::setup::WriteFixtureFile(deep / L"install-extraction.log", kExtractionLog);
  auto notes = WriteInstallNotes(Source(GameSourceKind::Pkg, {"first note"}), deep);
  ASSERT_EQ(notes.size(), 5u);
  EXPECT_EQ(notes[1], "entry 12 has an unknown type");
  std::string written;
  for (const std::string& note : notes) written += note + "\n";
  EXPECT_EQ(qv::setup::ReadFileText(deep / L"install-notes.txt"), written);
}

// A log longer than the pieces it is read in, with a warning cut by a piece's end.
TEST(InstallNotes, LongExtractionLog) {
  TempFolder temp;
  std::string log(4u << 20, 'x');
  log.replace(log.size() - 20, 20, "\nwarning: across th");
  log += "e piece boundary\r\nwarning: last\n";
  WriteTestFile(temp / L"install-extraction.log", log);
  EXPECT_EQ(WriteInstallNotes(Source(GameSourceKind::Pkg, {}), temp.path()),
            (std::vector<std::string>{"across the piece boundary", "last"}));
}

TEST(InstallNotes, FolderSourcesNeverReadTheLog) {
  TempFolder temp;
  WriteTestFile(temp / L"install-extraction.log", kExtractionLog);
  EXPECT_TRUE(WriteInstallNotes(Source(GameSourceKind::Folder, {}), temp.path()).empty());
  EXPECT_FALSE(fs::exists(temp / L"install-notes.txt"));

  EXPECT_EQ(WriteInstallNotes(Source(GameSourceKind::Folder, {"renamed texture archive"}), temp.path()),
            std::vector<std::string>{"renamed texture archive"});
  EXPECT_EQ(ReadTestFile(temp / L"install-notes.txt"), "renamed texture archive\n");
}

TEST(InstallNotes, NoNotesLeaveAnEarlierFileAlone) {
  TempFolder temp;
  WriteTestFile(temp / L"install-notes.txt", "from an earlier run\n");
  EXPECT_TRUE(WriteInstallNotes(Source(GameSourceKind::Pkg, {}), temp.path()).empty());  // no log at all
  WriteTestFile(temp / L"install-extraction.log", "all fine\r\n");
  EXPECT_TRUE(WriteInstallNotes(Source(GameSourceKind::Pkg, {}), temp.path()).empty());
  EXPECT_EQ(ReadTestFile(temp / L"install-notes.txt"), "from an earlier run\n");

  // Notes replace it.
  WriteTestFile(temp / L"install-extraction.log", "warning: new\n");
  EXPECT_EQ(WriteInstallNotes(Source(GameSourceKind::Pkg, {}), temp.path()), std::vector<std::string>{"new"});
  EXPECT_EQ(ReadTestFile(temp / L"install-notes.txt"), "new\n");
}

TEST(InstallNotes, UnwritableFolderStillReturnsTheNotes) {
  TempFolder temp;
  fs::create_directories(temp / L"install-notes.txt");  // a folder stands in the way
  EXPECT_EQ(WriteInstallNotes(Source(GameSourceKind::Folder, {"a"}), temp.path()), std::vector<std::string>{"a"});
  EXPECT_EQ(WriteInstallNotes(Source(GameSourceKind::Folder, {"a"}), temp / L"missing"),
            std::vector<std::string>{"a"});
}

}  // namespace
