// The trees, hook records and filters of the title-picture, portable-copy and
// file-level update self tests, each record run once through the install
// engine as its self test runs it.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/records/existing-install.h"
#include "engine/records/files-json.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/install-transaction.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/payload/payload-archive.h"
#include "selftest/fixtures/file-update-fixtures.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-install-hooks.h"
#include "selftest/fixtures/test-payload-hooks.h"
#include "selftest/fixtures/test-payload.h"
#include "selftest/fixtures/title-portable-fixtures.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/scenario/file-test-run.h"
#include "selftest/self-test-archives.h"
#include "selftest/test-file-list.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using qv::test::TempFolder;

// The texture archive of the tests.
std::string TextureBytes() { return SelfTestTextureArchive(); }

const std::string kChunk = "PSAR" + std::string(60, '\0');
const std::string kZeroDigest(64, '0');

std::string ManifestText(const std::string& version, const std::vector<std::string>& files) {
  std::string text = "qv-port-install 1\nversion=" + version + "\n";
  for (const std::string& file : files) text += "file=" + kZeroDigest + " " + file + "\n";
  return text;
}

TreeSnapshot Sorted(TreeSnapshot files) {
  std::sort(files.begin(), files.end());
  return files;
}

// -- Trees -----------------------------------------------------------------

TEST(ScenarioFixtures, TitleTestInstallation) {
  TempFolder temp;
  const fs::path install = temp / L"games" / L"Q.V. DU Vora";
  BuildTitleTestInstall(install, TextureBytes());
  EXPECT_EQ(SnapshotFileContents(install),
            Sorted({{"qv.exe", "old exe"},
                    {"shaders/gone.spv", "old shader"},
                    {"CUSA09901/chunk1.psarc", "PSAR old archive"},
                    {"CUSA09901/texture.qar", TextureBytes()},
                    {"data/qv.ini", "settings"},
                    {"data/saves/progress.dat", "save"},
                    {"mods/mine/init.lua", "player mod"},
                    {"qv-install-manifest.txt",
                     ManifestText("1.0.3", {"qv.exe", "shaders/gone.spv", "mods/mine/init.lua"})}}));
  const auto manifest = ReadInstallManifest(install);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->version, "1.0.3");
  EXPECT_EQ(manifest->source, "");
  ASSERT_EQ(manifest->files.size(), 3u);
  EXPECT_EQ(manifest->files[2].path, "mods/mine/init.lua");
}

TEST(ScenarioFixtures, PortableCopy) {
  TempFolder temp;
  const FixtureFiles old_release = {{"qv.exe", "old exe"},
                                    {"shaders/same.spv", "same shader"},
                                    {"shaders/changed.spv", "changed shader, old"},
                                    {"licenses/OLD.txt", "an old licence"}};
  const fs::path copy = temp / L"copy" / L"QV";
  BuildPortableCopyFixture(copy, old_release, old_release, TextureBytes());
  TreeSnapshot expected = old_release;
  expected.insert(expected.end(),
                  {{"qv-files.json", RenderFilesJson(old_release)},
                   {"README.md", "a readme every published setup installed"},
                   {"extractor/chunk1.psarc", kChunk},
                   {"extractor/texture.qar", TextureBytes()},
                   {"extractor/sce_sys/pic1.png", "the player's title picture"},
                   {"data/qv.ini", "settings"},
                   {"data/saves/progress.dat", "save"},
                   {"mods/mine/init.lua", "player mod"},
                   {"enhanced-textures/cache/a.dds", "generated texture"},
                   {"notes-of-the-player.txt", "the player's own file"},
                   {"dxgi.dll", "reshade"},
                   {"dlss5-autopilot.json", R"({"complete": true, "route": "native", "files": ["dxgi.dll"]})"}});
  EXPECT_EQ(SnapshotFileContents(copy), Sorted(expected));
  EXPECT_EQ(ReadFileText(copy / L"dlss5-autopilot.json").size(), 60u);
  // The file list reads back as the engine reads it, and the folder is a
  // portable copy to the engine.
  const auto listed = ReadFilesJson(copy / L"qv-files.json");
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[3].name, "licenses/OLD.txt");
  EXPECT_EQ(listed[3].size, 14u);
  EXPECT_FALSE(fs::exists(copy / L"qv-install-manifest.txt"));
  EXPECT_TRUE(ProbePortableCopy(copy, HashFile).portable);
}

TEST(ScenarioFixtures, FileUpdateInstallation) {
  const TreeSnapshot common = {
      {"qv.exe", "old exe"},
      {"shaders/same.spv", "same shader"},
      {"shaders/changed.spv", "changed shader, old"},
      {"fonts/Case.ttf", "a font"},
      {"fonts/NotoSansArabic.ttf", "an old font"},
      {"README.md", "an old release's readme, in no manifest"},
      {"CUSA09901/chunk1.psarc", kChunk},
      {"CUSA09901/texture.qar", TextureBytes()},
      {"CUSA09901/pathid_list_ps4.bin", "/Assets/xq/level/qv14_hallway/" + std::string(40, 'x')},
      {"data/qv.ini", "settings"},
      {"data/saves/progress.dat", "save"},
      {"data/logs/qv.log", "log"},
      {"enhanced-textures/cache/a.dds", "generated texture"},
      {"mods/mine/init.lua", "player mod"},
      {"qv.ini", "old layout settings"},
      {"notes-of-the-player.txt", "the player's own file"},
      {"dxgi.dll", "reshade"},
      {"reshade-shaders/x.fx", "the unlock's shader"},
      {"dlss5-autopilot.json",
       R"({"complete": true, "route": "native", "files": ["dxgi.dll", "reshade-shaders/x.fx"]})"}};
  const std::vector<std::string> manifest_files = {"qv.exe",         "shaders/same.spv",
                                                   "shaders/changed.spv", "fonts/Case.ttf",
                                                   "loop-previews/pipeline-cache/old.bin", "dxgi.dll"};
  for (bool with_manifest : {true, false}) {
    SCOPED_TRACE(with_manifest ? "with manifest" : "without manifest");
    TempFolder temp;
    const fs::path install = temp / L"old" / L"QV";
    BuildFileUpdateFixture(install, with_manifest, TextureBytes());
    TreeSnapshot expected = common;
    if (with_manifest) {
      expected.push_back({"loop-previews/pipeline-cache/old.bin", "a cache an old package shipped"});
      expected.push_back({"qv-install-manifest.txt", ManifestText("1.0.3", manifest_files)});
    }
    EXPECT_EQ(SnapshotFileContents(install), Sorted(expected));
    EXPECT_EQ(ReadFileText(install / L"dlss5-autopilot.json").size(), 84u);
    EXPECT_EQ(ReadFileText(install / L"CUSA09901" / L"pathid_list_ps4.bin").size(), 70u);
    const auto manifest = ReadInstallManifest(install);
    EXPECT_EQ(manifest.has_value(), with_manifest);
    if (manifest) {
      EXPECT_EQ(manifest->version, "1.0.3");
      EXPECT_EQ(manifest->files.size(), 6u);
    }
  }
}

// -- Filters ---------------------------------------------------------------

TEST(ScenarioFixtures, PortableTestFilter) {
  struct Case {
    const char* key;
    bool ignored;
  };
  for (const Case& c : {Case{"data/", true}, Case{"DATA/", true}, Case{"data/qv.ini", true}, Case{"mods/", true},
                        Case{"mods/mine/init.lua", true}, Case{"enhanced-textures/", true},
                        Case{"enhanced-textures/cache/a.dds", true}, Case{"notes-of-the-player.txt", true},
                        Case{"Notes-Of-The-Player.TXT", true}, Case{"dxgi.dll", true}, Case{"DXGI.DLL", true},
                        Case{"dlss5-autopilot.json", true}, Case{"extractor/", true},
                        Case{"extractor/sce_sys/pic1.png", true}, Case{"Extractor/chunk1.psarc", true},
                        Case{"qv.exe", false}, Case{"qv-files.json", false}, Case{"README.md", false},
                        Case{"shaders/", false}, Case{"shaders/same.spv", false}, Case{"licenses/", false},
                        Case{"extractor", false}, Case{"my-extractor/x", false}}) {
    EXPECT_EQ(IsIgnoredInPortableTest(c.key), c.ignored) << c.key;
  }
}

TEST(ScenarioFixtures, FileTestFilter) {
  struct Case {
    const char* key;
    bool on_list;  // MatchesFileTestIgnoreList of the key as it is
    bool ignored;  // IsIgnoredInFileTest
  };
  for (const Case& c : {Case{"data/", true, true}, Case{"Data/", true, true}, Case{"data/qv.ini", true, true},
                        Case{"dxgi.dll", true, true}, Case{"DXGI.dll", false, true},
                        Case{"reshade-shaders/", true, true}, Case{"reshade-shaders/x.fx", true, true},
                        Case{"reshade-shaders/y.fx", false, false}, Case{"dlss5-autopilot.json", true, true},
                        Case{"notes-of-the-player.txt", true, true}, Case{"cusa09901/", true, true},
                        Case{"CUSA09901/", true, true}, Case{"CUSA09901/texture.qar", true, true},
                        Case{"cusa09901-copy/x", true, true}, Case{"qv-install-manifest.txt", true, true},
                        Case{"QV-Install-Manifest.txt", false, true}, Case{"install-notes.txt", true, true},
                        Case{"enhanced-textures/", true, true}, Case{"mods/", true, true}, Case{"qv.ini", true, true},
                        Case{"qv.exe", false, false}, Case{"shaders/", false, false},
                        Case{"fonts/case.ttf", false, false}, Case{"qv-files.json", false, false},
                        Case{"voice/models/new.bin", false, false}}) {
    EXPECT_EQ(MatchesFileTestIgnoreList(c.key), c.on_list) << c.key;
    EXPECT_EQ(IsIgnoredInFileTest(c.key), c.ignored) << c.key;
  }
}

// -- Hooks -----------------------------------------------------------------

TEST(ScenarioFixtures, HookRecords) {
  TempFolder temp;
  const std::string payload =
      BuildTestPayload(temp / L"scratch", {{"qv.exe", "new exe"}, {"shaders/new.spv", "new shader"}}, HashFile);
  int hashed = 0;
  const FileHasher hasher = [&hashed](const fs::path& path) {
    ++hashed;
    return HashFile(path);
  };
  struct Case {
    const char* name;
    InstallHooks hooks;
    const char* run_id;
    bool comparing;
    bool portable;
    const char* previous;
  };
  const Case cases[] = {{"title", MakeTitleTestHooks(payload, hasher, "a"), "a", false, false, ""},
                        {"portable", MakePortableTestHooks(payload, hasher, "p"), "p", true, true, "9.9.8"},
                        {"file", MakeFileTestHooks(payload, hasher, "u"), "u", true, false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const InstallHooks& hooks = c.hooks;
    EXPECT_EQ(hooks.new_version, "9.9.9");
    EXPECT_EQ(hooks.run_id, c.run_id);
    EXPECT_NO_THROW(hooks.validate_destination(temp.path()));
    EXPECT_NO_THROW(hooks.verify_setup());
    EXPECT_NO_THROW(hooks.create_shortcut(temp.path()));
    EXPECT_EQ(hooks.payload_size(), 17u);
    EXPECT_TRUE(hooks.picture_search_folders().empty());
    try {
      hooks.extract_package(temp / L"work", temp / L"game.pkg");
      ADD_FAILURE() << "the package hook returned";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "no package in this test");
    }
    EXPECT_EQ(hooks.fail_at_step, -1);
    EXPECT_EQ(hooks.pause_at_step, -1);
    EXPECT_FALSE(hooks.keep_journal);
    EXPECT_FALSE(hooks.check_payload);
    EXPECT_FALSE(hooks.before_commit);
    EXPECT_TRUE(hooks.corrupt_after_commit.empty());
    EXPECT_EQ(hooks.portable_copy, c.portable);
    EXPECT_EQ(hooks.fallback_previous_version, c.previous);
    EXPECT_EQ(static_cast<bool>(hooks.payload_entries), c.comparing);
    EXPECT_EQ(static_cast<bool>(hooks.extract_entries), c.comparing);
    EXPECT_EQ(static_cast<bool>(hooks.hash_file), c.comparing);

    hashed = 0;
    const fs::path whole = temp / c.name / L"whole";
    const auto files = hooks.extract_payload(whole);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(hashed, 2);  // checked with the test's hasher
    EXPECT_EQ(ReadFileText(whole / L"shaders" / L"new.spv"), "new shader");
    if (!c.comparing) continue;
    const auto entries = hooks.payload_entries();
    ASSERT_EQ(entries.size(), 2u);
    const fs::path some = temp / c.name / L"some";
    const auto listed = hooks.extract_entries(some, {entries[1]});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, "shaders/new.spv");
    EXPECT_FALSE(fs::exists(some / L"qv.exe"));
    EXPECT_TRUE(hooks.extract_entries(temp / c.name / L"none", {}).empty());
    EXPECT_FALSE(fs::exists(temp / c.name / L"none" / L"qv.exe"));
    EXPECT_EQ(hooks.hash_file(whole / L"qv.exe"), HashFile(whole / L"qv.exe"));
  }
}

TEST(ScenarioFixtures, PayloadHookErrorsPassUnchanged) {
  TempFolder temp;
  const std::string damaged = "QVSETUP";
  EXPECT_THROW(TestPayloadSize(damaged), std::runtime_error);
  EXPECT_THROW(ReadTestPayloadIndex(damaged), std::runtime_error);
  EXPECT_THROW(ExtractTestPayload(damaged, HashFile, temp / L"x"), std::runtime_error);
  EXPECT_TRUE(EmptyPathList().empty());
}

// -- Each record through the engine, as its self test runs it ------------------

TEST(ScenarioFixtures, TitleRunA) {
  TempFolder temp;
  const std::string payload =
      BuildTestPayload(temp / L"payload-scratch", {{"qv.exe", "new exe"}, {"shaders/new.spv", "new shader"}}, HashFile);
  const fs::path install = temp / L"games" / L"Q.V. DU Vora";
  BuildTitleTestInstall(install, TextureBytes());
  InstallOutcome outcome;
  RunInstallTransaction(outcome, fs::path(), install.native(), false, MakeTitleTestHooks(payload, HashFile, "a"));
  EXPECT_TRUE(outcome.updated);
  EXPECT_TRUE(outcome.title_picture_missing);
  EXPECT_FALSE(fs::exists(install / L"CUSA09901" / L"sce_sys" / L"pic1.png"));
  EXPECT_EQ(ReadFileText(install / L"qv.exe"), "new exe");
  EXPECT_EQ(ReadFileText(install / L"shaders" / L"new.spv"), "new shader");
  EXPECT_FALSE(fs::exists(install / L"shaders" / L"gone.spv"));
  EXPECT_EQ(ReadFileText(install / L"mods" / L"mine" / L"init.lua"), "player mod");
  EXPECT_EQ(ReadFileText(install / L"data" / L"qv.ini"), "settings");
  EXPECT_EQ(ReadFileText(install / L"data" / L"saves" / L"progress.dat"), "save");
  EXPECT_FALSE(fs::exists(UpdateJournalPath(install)));
  EXPECT_EQ(ReadInstallManifest(install)->version, "9.9.9");
}

TreeSnapshot LowerCased(TreeSnapshot snapshot) {
  for (auto& [path, content] : snapshot) {
    for (char& ch : path) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
  }
  std::sort(snapshot.begin(), snapshot.end());
  return snapshot;
}

TEST(ScenarioFixtures, FileUpdateRunsWithAndWithoutManifest) {
  TempFolder temp;
  const std::string payload = BuildTestPayload(temp / L"payload-scratch", FileTestRelease(), HashFile);
  const fs::path dump = temp / L"dump" / L"CUSA09901";
  WriteFixtureFile(dump / L"chunk1.psarc", kChunk);
  WriteFixtureFile(dump / L"texture.qar", TextureBytes());
  WriteFixtureFile(dump / L"pathid_list_ps4.bin", "/Assets/xq/level/qv14_hallway/" + std::string(40, 'x'));
  {
    InstallOutcome fresh;
    RunInstallTransaction(fresh, dump, (temp / L"fresh" / L"QV").native(), false,
                          MakeFileTestHooks(payload, HashFile, "fresh"));
  }
  const TreeSnapshot reference = LowerCased(SnapshotTree(temp / L"fresh" / L"QV", IsIgnoredInFileTest));
  for (bool with_manifest : {true, false}) {
    SCOPED_TRACE(with_manifest ? "with manifest" : "without manifest");
    const fs::path install = temp / (with_manifest ? L"old" : L"old-no-manifest") / L"QV";
    BuildFileUpdateFixture(install, with_manifest, TextureBytes());
    InstallOutcome outcome;
    RunInstallTransaction(outcome, fs::path(), install.native(), false,
                          MakeFileTestHooks(payload, HashFile, with_manifest ? "u" : "u-no-manifest"));
    EXPECT_TRUE(outcome.updated);
    EXPECT_EQ(outcome.unchanged, 2u);
    EXPECT_EQ(outcome.verified, 6u);
    EXPECT_EQ(outcome.repaired, 0u);
    EXPECT_EQ(ReadFileText(install / L"dxgi.dll"), "reshade");
    EXPECT_EQ(ReadFileText(install / L"reshade-shaders" / L"x.fx"), "the unlock's shader");
    EXPECT_EQ(LowerCased(SnapshotTree(install, IsIgnoredInFileTest)), reference);
    const auto manifest = ReadInstallManifest(install);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->files.size(), 6u);
  }
}

TEST(ScenarioFixtures, PortableRunP) {
  TempFolder temp;
  FixtureFiles new_release = {{"qv.exe", "new exe"},
                              {"shaders/same.spv", "same shader"},
                              {"shaders/changed.spv", "changed shader, new"},
                              {"voice/models/new.bin", "new model"}};
  new_release.push_back({"qv-files.json", RenderFilesJson(new_release)});
  const FixtureFiles old_release = {{"qv.exe", "old exe"},
                                    {"shaders/same.spv", "same shader"},
                                    {"shaders/changed.spv", "changed shader, old"},
                                    {"licenses/OLD.txt", "an old licence"}};
  const std::string payload = BuildTestPayload(temp / L"payload-scratch", new_release, HashFile);
  ExtractPayload(payload.data(), payload.size(), temp / L"fresh" / L"QV", HashFile);
  const fs::path copy = temp / L"copy" / L"QV";
  BuildPortableCopyFixture(copy, old_release, old_release, TextureBytes());
  InstallOutcome outcome;
  RunInstallTransaction(outcome, fs::path(), copy.native(), false, MakePortableTestHooks(payload, HashFile, "p"));
  EXPECT_TRUE(outcome.updated);
  EXPECT_EQ(outcome.previous_version, "9.9.8");
  EXPECT_EQ(outcome.unchanged, 1u);
  EXPECT_EQ(outcome.verified, 5u);
  EXPECT_FALSE(fs::exists(copy / L"qv-install-manifest.txt"));
  EXPECT_FALSE(fs::exists(copy / L"README.md"));
  EXPECT_FALSE(fs::exists(copy / L"licenses"));
  EXPECT_EQ(ReadFileText(copy / L"enhanced-textures" / L"cache" / L"a.dds"), "generated texture");
  EXPECT_EQ(ReadFileText(copy / L"extractor" / L"texture.qar"), TextureBytes());
  EXPECT_EQ(SnapshotTree(copy, IsIgnoredInPortableTest), SnapshotTree(temp / L"fresh" / L"QV", IsIgnoredInPortableTest));
}

}  // namespace
