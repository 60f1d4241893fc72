#include "selftest/scenario/scenario-file-update.h"

#include <algorithm>
#include <exception>
#include <string_view>

#include "engine/path-classes.h"
#include "engine/records/existing-install.h"
#include "selftest/file-write-time.h"
#include "selftest/fixtures/file-update-fixtures.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/scenario/file-repair-undo.h"
#include "selftest/scenario/file-test-run.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

struct UpdateVariant {
  bool with_manifest;
  std::string_view suffix;  // behind every token of the variant
  const wchar_t* folder;    // holds the installation "QV"
};

constexpr UpdateVariant kVariants[] = {{true, "", L"old"}, {false, "-no-manifest", L"old-no-manifest"}};

fs::path WriteDumpFixture(const fs::path& folder) {
  const fs::path dump = folder / L"dump" / L"CUSA09901";
  WriteFixtureFile(dump / L"chunk1.psarc", SelfTestChunkArchive());
  WriteFixtureFile(dump / L"texture.qar", SelfTestTextureArchive());
  WriteFixtureFile(dump / L"pathid_list_ps4.bin", SelfTestPathIdList());
  return dump;
}

bool StaleFileKept(const fs::path& installation) {
  return fs::exists(installation / L"loop-previews") || fs::exists(installation / L"README.md") ||
         fs::exists(installation / L"fonts" / L"NotoSansArabic.ttf");
}

bool PlayerFilesKept(const fs::path& installation) {
  return ReadFileText(installation / L"data" / L"qv.ini") == "settings" &&
         ReadFileText(installation / L"data" / L"saves" / L"progress.dat") == "save" &&
         ReadFileText(installation / L"qv.ini") == "old layout settings" &&
         ReadFileText(installation / L"enhanced-textures" / L"cache" / L"a.dds") == "generated texture" &&
         ReadFileText(installation / L"mods" / L"mine" / L"init.lua") == "player mod" &&
         ReadFileText(installation / L"notes-of-the-player.txt") == "the player's own file" &&
         ReadFileText(installation / L"data" / L"logs" / L"qv.log") == "log";
}

// The folder's snapshot outside the ignore list, paths in ASCII lower case:
// on a file system that ignores letter case "Fonts/" and "fonts/" are one.
TreeSnapshot ComparableTree(const fs::path& folder) {
  TreeSnapshot tree = SnapshotTree(folder, IsIgnoredInFileTest);
  for (auto& entry : tree) entry.first = PathKey(entry.first);
  std::sort(tree.begin(), tree.end());
  return tree;
}

// " +path" for each entry of `tree` that `other` lacks (path and content).
std::string EntriesMissingFrom(const TreeSnapshot& tree, const TreeSnapshot& other, std::string_view sign) {
  std::string listed;
  for (const auto& entry : tree) {
    if (std::find(other.begin(), other.end(), entry) == other.end()) {
      listed.append(" ").append(sign).append(entry.first);
    }
  }
  return listed;
}

// The updated installation is the fresh one plus only what the ignore list
// leaves out.
void CheckTreeAgainstFresh(const fs::path& fresh, const fs::path& installation, std::string_view suffix,
                           std::string& tokens) {
  const TreeSnapshot expected = ComparableTree(fresh);
  const TreeSnapshot updated = ComparableTree(installation);
  if (updated == expected) return;
  tokens.append(" files-tree").append(suffix).append(":");
  tokens += EntriesMissingFrom(updated, expected, "+");
  tokens += EntriesMissingFrom(expected, updated, "-");
}

void RunUpdateVariant(const FileTest& test, const UpdateVariant& variant, std::string& tokens) {
  const std::string_view suffix = variant.suffix;
  const auto fail = [&](std::string_view tag) { tokens.append(tag).append(suffix); };
  const fs::path installation = test.folder / variant.folder / L"QV";
  BuildFileUpdateFixture(installation, variant.with_manifest, SelfTestTextureArchive());
  // Backdated, so that a rewrite shows whatever the volume's time resolution.
  const fs::path same = installation / L"shaders" / L"same.spv";
  const std::uint64_t same_written = BackdateFile(same);

  const std::string run_id = std::string("u").append(suffix);
  const InstallOutcome outcome = RunFileUpdate(installation, FileTestHooks(test, run_id));

  if (!outcome.updated || outcome.unchanged != 2 || outcome.verified != kFileTestExpectedFiles ||
      outcome.repaired != 0) {
    fail(" files-counts");
    tokens.append("(").append(std::to_string(outcome.unchanged)).append("/");
    tokens.append(std::to_string(outcome.verified)).append(")");
  }
  if (ReadLastWriteTime(same) != same_written) fail(" files-identical-rewritten");
  if (StaleFileKept(installation)) fail(" files-stale-kept");
  if (ReadFileText(installation / L"dxgi.dll") != "reshade" ||
      ReadFileText(installation / L"reshade-shaders" / L"x.fx") != "the unlock's shader") {
    fail(" files-unlock");
  }
  if (!PlayerFilesKept(installation)) fail(" files-player");
  if (ReadFileText(installation / L"Fonts" / L"Case.ttf") != "a font") fail(" files-letter-case");
  CheckTreeAgainstFresh(test.folder / L"fresh" / L"QV", installation, suffix, tokens);
  if (ReadExistingInstall(installation).manifest_files.size() != kFileTestExpectedFiles) {
    fail(" files-manifest");
  }
}

}  // namespace

std::string SelfTestFileUpdate(const fs::path& folder, const FileHasher& hash) {
  const FileTest test = PrepareFileTest(folder, hash);
  const fs::path dump = WriteDumpFixture(folder);

  std::string tokens;
  try {
    // The reference every update must end like, apart from what the ignore
    // list leaves out.
    RunFileUpdate(folder / L"fresh" / L"QV", FileTestHooks(test, "fresh"), dump);
    for (const UpdateVariant& variant : kVariants) RunUpdateVariant(test, variant, tokens);
    RunRepairScenarios(test, tokens);
    RunUndoScenarios(test, tokens);
  } catch (const std::exception& error) {
    tokens += std::string(" files-update: ") + error.what();
  }
  return tokens;
}

}  // namespace qv::setup
