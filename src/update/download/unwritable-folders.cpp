#include "update/download/unwritable-folders.h"

#include <exception>
#include <system_error>

#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/text/text.h"

namespace qv::setup {

std::string DescribeUnwritableFolders(const std::filesystem::path& game_folder, const GameUpdatePlatform& platform,
                                      const WritableProbe& probe, const FileSystemView& view) {
  const WritableProbe run_probe =
      probe ? probe : [&view](const std::filesystem::path& folder, std::string_view suffix, const std::string& label) {
        ProbeWritableFolder(folder, suffix, label, view);
      };
  try {
    run_probe(game_folder, platform.run_id, "game folder " + ToGenericUtf8Lenient(game_folder));
    // A "data" that is a link or junction belongs elsewhere: the update never
    // writes through it, so its target's rights do not matter here.
    const std::filesystem::path data = game_folder / L"data";
    std::error_code error;
    if (IsRealDirectory(data, error, view)) {
      run_probe(data, platform.run_id, "data folder " + ToGenericUtf8Lenient(data));
    }
    const std::filesystem::path parent = ParentFolder(game_folder);
    run_probe(parent, platform.run_id, "folder above the game, " + ToGenericUtf8Lenient(parent) + ",");
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return {};
}

}  // namespace qv::setup
