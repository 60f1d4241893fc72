#include "gamesource/game-data-folder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "game-fixtures.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::ListedNames;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

TEST(GameDataFolder, CreatesValidatesAndProbes) {
  TempFolder temp;
  auto root = temp / L"Q.V. DU Vora \u00e9t\u00e9";
  fs::create_directories(root);
  std::vector<fs::path> validated;
  auto validator = [&](const fs::path& path) { validated.push_back(path); };
  EnsureGameDataFolder(root, "run-1", validator);
  EXPECT_TRUE(fs::is_directory(root / L"data"));
  EXPECT_TRUE(ListedNames(root / L"data").empty());  // the probe removed itself
  EXPECT_EQ(validated, std::vector<fs::path>{root / L"data"});

  // Again with another suffix: what the folder holds stays.
  WriteTestFile(root / L"data" / L"qv.ini", "settings");
  EnsureGameDataFolder(root, "run-2", validator);
  EXPECT_EQ(ReadTestFile(root / L"data" / L"qv.ini"), "settings");
  EXPECT_EQ(ListedNames(root / L"data"), std::vector<std::wstring>{L"qv.ini"});
  EXPECT_EQ(validated.size(), 2u);
  EnsureGameDataFolder(root, "run-3", nullptr);  // no validator
}

TEST(GameDataFolder, Refusals) {
  TempFolder temp;
  EXPECT_EQ(ThrownMessage([&] { EnsureGameDataFolder(temp / L"missing", "s", nullptr); }),
            "Could not create the game's data folder.");
  EXPECT_FALSE(fs::exists(temp / L"missing"));  // no ancestors are created

  WriteTestFile(temp / L"data", "a file named data");
  EXPECT_EQ(ThrownMessage([&] { EnsureGameDataFolder(temp.path(), "s", nullptr); }),
            "The game data folder must be a writable folder.");
  EXPECT_EQ(ReadTestFile(temp / L"data"), "a file named data");

  TempFolder other;
  EXPECT_EQ(ThrownMessage([&] {
              EnsureGameDataFolder(other.path(), "s", [](const fs::path&) { throw std::runtime_error("refused"); });
            }),
            "refused");
  EXPECT_TRUE(fs::is_directory(other / L"data"));  // the created folder stays

  fs::create_directories(other / L"data" / L".qv-write-probe-s");
  EXPECT_EQ(ThrownMessage([&] { EnsureGameDataFolder(other.path(), "s", nullptr); }),
            "The game data folder is not writable.");
  EXPECT_TRUE(fs::is_directory(other / L"data" / L".qv-write-probe-s"));
}

}  // namespace
