#include "selftest/file-update-fixtures.h"

#include <array>
#include <string_view>

#include "engine/install-manifest.h"
#include "engine/path-classes.h"
#include "gamesource/archive-tests.h"
#include "selftest/fixture-files.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {

void BuildFileUpdateFixture(const std::filesystem::path& folder, bool with_manifest,
                            const std::string& texture_bytes) {
  // The older port's files: one equal to the new payload's, one different,
  // one whose folder differs from the payload's only in letter case.
  WriteFixtureFile(folder / L"qv.exe", "old exe");
  WriteFixtureFile(folder / L"shaders" / L"same.spv", "same shader");
  WriteFixtureFile(folder / L"shaders" / L"changed.spv", "changed shader, old");
  WriteFixtureFile(folder / L"fonts" / L"Case.ttf", "a font");
  WriteFixtureFile(folder / L"fonts" / L"NotoSansArabic.ttf", "an old font");
  // A file an older package shipped and its manifest lists; and one no
  // manifest lists.
  if (with_manifest) {
    WriteFixtureFile(folder / L"loop-previews" / L"pipeline-cache" / L"old.bin", "a cache an old package shipped");
  }
  WriteFixtureFile(folder / L"README.md", "an old release's readme, in no manifest");
  // The game's archives.
  WriteFixtureFile(folder / L"CUSA09901" / L"chunk1.psarc", SelfTestChunkArchive());
  WriteFixtureFile(folder / L"CUSA09901" / L"texture.qar", texture_bytes);
  WriteFixtureFile(folder / L"CUSA09901" / L"pathid_list_ps4.bin",
                   SelfTestPathIdList());
  // The player's files and data.
  WriteFixtureFile(folder / L"data" / L"qv.ini", "settings");
  WriteFixtureFile(folder / L"data" / L"saves" / L"progress.dat", "save");
  WriteFixtureFile(folder / L"data" / L"logs" / L"qv.log", "log");
  WriteFixtureFile(folder / L"enhanced-textures" / L"cache" / L"a.dds", "generated texture");
  WriteFixtureFile(folder / L"mods" / L"mine" / L"init.lua", "player mod");
  WriteFixtureFile(folder / L"qv.ini", "old layout settings");
  WriteFixtureFile(folder / L"notes-of-the-player.txt", "the player's own file");
  // The DLSS 5 tool's files and its record that lists them.
  WriteFixtureFile(folder / L"dxgi.dll", "reshade");
  WriteFixtureFile(folder / L"reshade-shaders" / L"x.fx", "the unlock's shader");
  WriteFixtureFile(folder / L"dlss5-autopilot.json",
                   R"({"complete": true, "route": "native", "files": ["dxgi.dll", "reshade-shaders/x.fx"]})");
  if (!with_manifest) return;
  const std::string zero_digest(64, '0');
  // "dxgi.dll" makes a route file look like a port file.
  WriteInstallManifest(folder, "1.0.3",
                       {{"qv.exe", zero_digest},
                        {"shaders/same.spv", zero_digest},
                        {"shaders/changed.spv", zero_digest},
                        {"fonts/Case.ttf", zero_digest},
                        {"loop-previews/pipeline-cache/old.bin", zero_digest},
                        {"dxgi.dll", zero_digest}},
                       "");
}

bool MatchesFileTestIgnoreList(const std::string& key) {
  static constexpr std::array<std::string_view, 11> kIgnored = {
      "data/",           "dxgi.dll",     "reshade-shaders/",        "dlss5-autopilot.json",
      "notes-of-the-player.txt", "reshade-shaders/x.fx", "cusa09901/", "qv-install-manifest.txt",
      "install-notes.txt",       "enhanced-textures/",   "mods/"};
  if (IsPreservedUserPath(key)) return true;
  for (std::string_view ignored : kIgnored) {
    if (key == ignored) return true;
  }
  return AsciiLower(key).rfind("cusa09901", 0) == 0;
}

bool IsIgnoredInFileTest(const std::string& key) {
  return MatchesFileTestIgnoreList(AsciiLower(key)) || MatchesFileTestIgnoreList(key);
}

}  // namespace qv::setup
