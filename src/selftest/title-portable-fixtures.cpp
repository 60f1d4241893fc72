#include "selftest/title-portable-fixtures.h"

#include "engine/install-manifest.h"
#include "engine/path-classes.h"
#include "foundation/text.h"
#include "gamesource/archive-tests.h"
#include "selftest/self-test-archives.h"
#include "selftest/test-file-list.h"

namespace qv::setup {

void BuildTitleTestInstall(const std::filesystem::path& install_folder, const std::string& texture_bytes) {
  WriteFixtureFile(install_folder / L"qv.exe", "old exe");
  WriteFixtureFile(install_folder / L"shaders" / L"gone.spv", "old shader");
  WriteFixtureFile(install_folder / L"CUSA09901" / L"chunk1.psarc", "PSAR old archive");
  WriteFixtureFile(install_folder / L"CUSA09901" / L"texture.qar", texture_bytes);
  WriteFixtureFile(install_folder / L"data" / L"qv.ini", "settings");
  WriteFixtureFile(install_folder / L"data" / L"saves" / L"progress.dat", "save");
  WriteFixtureFile(install_folder / L"mods" / L"mine" / L"init.lua", "player mod");
  const std::string zero_digest(64, '0');
  // The player's mod is listed as a program file of the old version: the
  // update must keep it all the same.
  WriteInstallManifest(install_folder, "1.0.3",
                       {{"qv.exe", zero_digest}, {"shaders/gone.spv", zero_digest}, {"mods/mine/init.lua", zero_digest}},
                       "");
}

void BuildPortableCopyFixture(const std::filesystem::path& folder, const FixtureFiles& port_files,
                              const FixtureFiles& file_list, const std::string& texture_bytes) {
  for (const auto& [path, content] : port_files) WriteFixtureFile(folder / PathFromUtf8(path), content);
  WriteFixtureFile(folder / L"qv-files.json", RenderFilesJson(file_list));
  WriteFixtureFile(folder / L"README.md", "a readme every published setup installed");
  WriteFixtureFile(folder / L"extractor" / L"chunk1.psarc", SelfTestChunkArchive());
  WriteFixtureFile(folder / L"extractor" / L"texture.qar", texture_bytes);
  WriteFixtureFile(folder / L"extractor" / L"sce_sys" / L"pic1.png", "the player's title picture");
  WriteFixtureFile(folder / L"data" / L"qv.ini", "settings");
  WriteFixtureFile(folder / L"data" / L"saves" / L"progress.dat", "save");
  WriteFixtureFile(folder / L"mods" / L"mine" / L"init.lua", "player mod");
  WriteFixtureFile(folder / L"enhanced-textures" / L"cache" / L"a.dds", "generated texture");
  WriteFixtureFile(folder / L"notes-of-the-player.txt", "the player's own file");
  WriteFixtureFile(folder / L"dxgi.dll", "reshade");
  WriteFixtureFile(folder / L"dlss5-autopilot.json",
                   R"({"complete": true, "route": "native", "files": ["dxgi.dll"]})");
}

bool IsIgnoredInPortableTest(const std::string& relative) {
  if (IsPreservedUserPath(relative)) return true;
  const std::string key = AsciiLower(relative);
  return key == "data/" || key == "mods/" || key == "enhanced-textures/" || key == "notes-of-the-player.txt" ||
         key == "dxgi.dll" || key == "dlss5-autopilot.json" || key.rfind("extractor/", 0) == 0;
}

}  // namespace qv::setup
