#include "selftest/update-test-trees.h"

#include "engine/install-manifest.h"
#include "foundation/text.h"
#include "selftest/fixture-files.h"

namespace qv::setup {

void BuildOlderInstallFixture(const std::filesystem::path& root, bool with_manifest,
                              const std::string& texture_archive) {
  const FixtureFiles files = {
      {"qv.exe", "old exe"},
      {"shaders/a.spv", "old a"},
      {"shaders/gone.spv", "old gone"},
      {"nvngx_dlss.dll", "old dll"},
      {"voice/cmudict-en-us.dict", "old dictionary"},
      {"voice/en-us/mdef", "old acoustic model"},
      {"CUSA09901/chunk1.psarc", "PSAR old archive"},
      {"CUSA09901/texture.qar", texture_archive},
      {"qv.ini", "player settings"},
      {"data/qv.ini", "user folder settings"},
      {"data/qv.log", "user folder log"},
      {"data/saves/progress.dat", "user save"},
      {"mods/mine/init.lua", "player mod"},
      {"reshade.dll", "player dll"},
  };
  for (const auto& [path, bytes] : files) WriteFixtureFile(root / PathFromUtf8(path), bytes);
  if (!with_manifest) return;

  // The player's data folder in four spellings that name the same folder.
  const std::string zero_digest(64, '0');
  std::vector<InstalledFile> listed;
  for (const char* path : {"qv.exe", "shaders/a.spv", "shaders/gone.spv", "nvngx_dlss.dll", "voice/cmudict-en-us.dict",
                           "voice/en-us/mdef", "data/qv.ini", "data./qv.log", "data /saves/progress.dat",
                           "DATA\\qv.ini"}) {
    listed.push_back({path, zero_digest});
  }
  WriteInstallManifest(root, kOlderInstallVersion, listed, "");
}

std::vector<InstalledFile> BuildNewReleaseFixture(const std::filesystem::path& root) {
  WriteFixtureFile(root / L"qv.exe", "new exe");
  WriteFixtureFile(root / L"shaders" / L"a.spv", "new a");
  WriteFixtureFile(root / L"shaders" / L"b.spv", "new b");
  WriteFixtureFile(root / L"qv-install-manifest.txt", std::string("qv-port-install 1\nversion=") + kNewReleaseVersion + "\n");
  return {{"qv.exe", ""}, {"shaders/a.spv", ""}, {"shaders/b.spv", ""}};
}

}  // namespace qv::setup
