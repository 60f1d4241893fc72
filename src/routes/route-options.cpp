#include "routes/route-options.h"

#include "update/updater/role-arguments.h"

namespace qv::setup {

void ReadRouteOptions(int argc, const wchar_t* const* argv, int first, std::uint64_t& game_process_id, int& language,
                      std::vector<std::wstring>& relaunch_arguments,
                      const std::function<bool(std::wstring_view option, std::wstring_view value)>& take) {
  for (int i = first; i < argc; ++i) {
    const std::wstring_view option = argv[i];
    if (option == L"--") {
      relaunch_arguments.assign(argv + i + 1, argv + argc);
      return;
    }
    if (i + 1 >= argc) return;
    const std::wstring_view value = argv[i + 1];
    if (option == L"--pid") {
      game_process_id = ProcessIdArgument(value);
    } else if (option == L"--lang") {
      language = LanguageArgument(value);
    } else if (!take(option, value)) {
      continue;
    }
    ++i;
  }
}

}  // namespace qv::setup
