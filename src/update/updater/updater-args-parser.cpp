#include "update/updater/updater-args-parser.h"

#include <string_view>

#include "foundation/files/paths.h"
#include "update/updater/role-arguments.h"
#include "update/updater/route-work-folders.h"

namespace qv::setup {

std::optional<win_updater::Args> ParseUpdaterArgs(int argc, const wchar_t* const* argv) {
  if (argc < 3 || std::wstring_view(argv[1]) != L"--game-update") return std::nullopt;
  std::optional<std::filesystem::path> game_folder = FolderArgument(argv[2], &NormalAbsolutePath);
  if (!game_folder) return std::nullopt;

  win_updater::Args args;
  args.game_folder = game_folder->native();
  for (int i = 3; i < argc; ++i) {
    const std::wstring_view option = argv[i];
    if (option == L"--") {
      args.pass_through.assign(argv + i + 1, argv + argc);
      break;
    }
    if (option == L"--elevated") {
      args.elevated = true;
    } else if (option == L"--pid" && i + 1 < argc) {
      args.game_process_id = ProcessIdArgument(argv[++i]);
    } else if (option == L"--lang" && i + 1 < argc) {
      args.language = LanguageArgument(argv[++i]);
    }
  }
  return args;
}

}  // namespace qv::setup
