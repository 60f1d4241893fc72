#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/journal/update-journal.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/canonical-path.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::BuildJournalTestInstall;
using qv::setup::JournalTextAccepted;
using qv::setup::ReadFileText;
using qv::setup::SnapshotFileContents;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::TempFolder;

TEST(FixtureFiles, WriteCreatesFoldersAndReplacesContent) {
  TempFolder temp;
  const fs::path file = temp / L"one" / L"two" / L"three" / L"f.bin";
  WriteFixtureFile(file, "first content");
  WriteFixtureFile(file, "x");
  EXPECT_EQ(ReadFileText(file), "x");
  const std::string zeros("\0\0a\0", 4);
  WriteFixtureFile(file, zeros);
  EXPECT_EQ(ReadFileText(file), zeros);

  WriteFixtureFile(temp / L"plain", "file");
  try {
    WriteFixtureFile(temp / L"plain" / L"below" / L"f", "x");
    ADD_FAILURE() << "no exception";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("create_directories"), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadFileText(temp / L"missing"), "");
  EXPECT_EQ(ReadFileText(temp / L"one"), "");  // a folder reads as nothing
}

TEST(TreeSnapshot, ComparesNamesAndBytes) {
  TempFolder temp;
  WriteFixtureFile(temp / L"a.txt", "alpha");
  WriteFixtureFile(temp / L"sub" / L"b.bin", std::string("\0b", 2));
  WriteFixtureFile(temp / L"sub" / L"deeper" / L"c", "");
  const TreeSnapshot first = SnapshotTree(temp.path());
  EXPECT_EQ(first, SnapshotTree(temp.path()));
  EXPECT_EQ(first, (TreeSnapshot{{"a.txt", "alpha"},
                                 {"sub/", ""},
                                 {"sub/b.bin", std::string("\0b", 2)},
                                 {"sub/deeper/", ""},
                                 {"sub/deeper/c", ""}}));

  WriteFixtureFile(temp / L"sub" / L"b.bin", std::string("\0c", 2));  // one byte changed
  EXPECT_NE(first, SnapshotTree(temp.path()));
  WriteFixtureFile(temp / L"sub" / L"b.bin", std::string("\0b", 2));
  EXPECT_EQ(first, SnapshotTree(temp.path()));
  // A name in other letter case (through another name: a rename that only
  // changes the case is a no-op under Wine).
  fs::rename(temp / L"a.txt", temp / L"renamed");
  fs::rename(temp / L"renamed", temp / L"A.txt");
  EXPECT_NE(first, SnapshotTree(temp.path()));
}

TEST(TreeSnapshot, FoldersAndFilters) {
  TempFolder with_folder;
  TempFolder without_folder;
  for (const TempFolder* temp : {&with_folder, &without_folder}) {
    WriteFixtureFile(*temp / L"data" / L"qv.ini", "settings");
    WriteFixtureFile(*temp / L"qv.exe", "exe");
  }
  fs::create_directories(with_folder / L"empty");
  EXPECT_EQ(SnapshotFileContents(with_folder.path()), SnapshotFileContents(without_folder.path()));
  EXPECT_EQ(SnapshotFileContents(with_folder.path()), (TreeSnapshot{{"data/qv.ini", "settings"}, {"qv.exe", "exe"}}));
  EXPECT_NE(SnapshotTree(with_folder.path()), SnapshotTree(without_folder.path()));

  // Leaving out the folder's own entry still lists what is inside it.
  EXPECT_EQ(SnapshotTree(with_folder.path(), [](const std::string& key) { return key == "data/"; }),
            (TreeSnapshot{{"data/qv.ini", "settings"}, {"empty/", ""}, {"qv.exe", "exe"}}));
  EXPECT_EQ(SnapshotTree(with_folder.path(), [](const std::string& key) { return key.rfind("data/", 0) == 0; }),
            (TreeSnapshot{{"empty/", ""}, {"qv.exe", "exe"}}));
}

TEST(TreeSnapshot, NeverEntersALinkOrJunction) {
  TempFolder temp;
  WriteFixtureFile(temp / L"linked" / L"inside.txt", "behind the link");
  WriteFixtureFile(temp / L"plain.txt", "p");
  for (auto tag : {qv::setup::kReparseTagSymlink, qv::setup::kReparseTagMountPoint}) {
    auto view = qv::test::ViewWithReparsePoints({{temp / L"linked", tag}});
    EXPECT_EQ(SnapshotTree(temp.path(), {}, view), (TreeSnapshot{{"linked/", ""}, {"plain.txt", "p"}}));
  }
}

TEST(TreeSnapshot, FileContentsOfAMissingRootRaise) {
  TempFolder temp;
  EXPECT_NE(qv::test::ThrownMessage([&] {
              SnapshotFileContents(temp / L"missing");
            }).find("recursive_directory_iterator::recursive_directory_iterator"),
            std::string::npos);
  EXPECT_TRUE(SnapshotTree(temp / L"missing").empty());
}

TEST(JournalFixtures, TwoTreesOfTheJournalTest) {
  TempFolder temp;
  auto files = BuildJournalTestInstall(temp / L"install", temp / L"new");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].path, "qv.exe");
  EXPECT_EQ(files[1].path, "shaders/a.spv");
  EXPECT_EQ(files[2].path, "shaders/b.spv");
  for (const auto& file : files) EXPECT_EQ(file.sha256, "");

  const TreeSnapshot install = SnapshotFileContents(temp / L"install");
  ASSERT_EQ(install.size(), 5u);
  EXPECT_EQ(install[0], (std::pair<std::string, std::string>{"data/qv.ini", "settings"}));
  EXPECT_EQ(install[1].first, "qv-install-manifest.txt");
  EXPECT_EQ(install[2], (std::pair<std::string, std::string>{"qv.exe", "old exe"}));
  EXPECT_EQ(install[3], (std::pair<std::string, std::string>{"shaders/a.spv", "old a"}));
  EXPECT_EQ(install[4], (std::pair<std::string, std::string>{"shaders/gone.spv", "old gone"}));
  auto manifest = qv::setup::ReadInstallManifest(temp / L"install");
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, "1.0.3");
  ASSERT_EQ(manifest->files.size(), 3u);
  EXPECT_EQ(manifest->files[2].path, "shaders/gone.spv");
  EXPECT_EQ(manifest->files[2].sha256, std::string(64, '0'));

  auto new_manifest = qv::setup::ReadInstallManifest(temp / L"new");
  ASSERT_TRUE(new_manifest);
  EXPECT_EQ(new_manifest->version, "9.9.9");
  EXPECT_TRUE(new_manifest->files.empty());
  EXPECT_EQ(ReadFileText(temp / L"new" / L"shaders" / L"b.spv"), "new b");
}

TEST(JournalFixtures, HandWrittenJournalTexts) {
  TempFolder temp;
  const fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  const fs::path install = parent / L"Game";
  const std::string p = qv::setup::ToGenericUtf8(parent);
  const std::string head = "qv-update-journal 1\nstate=swapping\ninstall=" + qv::setup::ToGenericUtf8(install) +
                           "\nstaging=" + p + "/.qv-update-x\nbackup=" + p + "/.qv-update-old-x\n";
  EXPECT_TRUE(JournalTextAccepted(install, head + "step=r qv.exe\n"));
  EXPECT_FALSE(JournalTextAccepted(install, head + "step=r ../qv.exe\n"));
  // Either way the text stays in the journal file.
  EXPECT_EQ(ReadFileText(qv::setup::UpdateJournalPath(install)), head + "step=r ../qv.exe\n");
}

}  // namespace
