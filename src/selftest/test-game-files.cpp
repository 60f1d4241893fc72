#include "selftest/test-game-files.h"

#include <algorithm>

#include "selftest/fixture-files.h"
#include "selftest/test-param-sfo.h"

namespace qv::setup {

std::string PsarcBytes(std::size_t size) {
  std::string bytes = "PSAR";
  bytes.resize(std::max<std::size_t>(size, 4), 'c');
  return bytes;
}

std::string QarBytes(std::size_t size) {
  std::string bytes(size, 't');
  if (size >= 36) {
    bytes[size - 36 + 22] = 'a';
    bytes[size - 36 + 23] = 'q';
  }
  return bytes;
}

std::string PathIdListBytes(bool game_levels) {
  return game_levels ? "/Assets/xq/level/qv14_hallway/geometry.bin\n/Assets/xq/ui/menu.bin\n"
                     : "/Assets/other/level/town_square/geometry.bin\n/Assets/other/ui/menu.bin\n";
}

std::string PngBytes(const std::string& tag) { return std::string("\x89PNG\r\n\x1A\n", 8) + tag; }

void WriteGameArchives(const std::filesystem::path& folder, bool with_list) {
  WriteFixtureFile(folder / L"chunk1.psarc", PsarcBytes());
  WriteFixtureFile(folder / L"texture.qar", QarBytes());
  if (with_list) WriteFixtureFile(folder / L"pathid_list_ps4.bin", PathIdListBytes(true));
}

void WriteDumpedGame(const std::filesystem::path& folder, const std::string& title_id) {
  WriteGameArchives(folder);
  const std::filesystem::path system = folder / L"sce_sys";
  WriteFixtureFile(system / L"param.sfo", BuildTestParamSfo(title_id, ""));
  WriteFixtureFile(system / L"pic1.png", PngBytes("pic1 " + title_id));
  WriteFixtureFile(system / L"icon0.png", PngBytes("icon0 " + title_id));
}

}  // namespace qv::setup
