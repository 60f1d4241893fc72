#include "setup/uninstall/uninstall-mode.h"

#include <windows.h>

#include <exception>

#include "foundation/files/item-status.h"
#include "foundation/text/error-text.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"

namespace qv::setup {

std::optional<UninstallArgs> ParseUninstallArgs(const std::vector<std::wstring>& args,
                                                const std::filesystem::path& own_executable) {
  if (args.size() < 2 || args[1] != L"--uninstall") return std::nullopt;
  UninstallArgs parsed;
  bool named = false;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::wstring& argument = args[i];
    if (argument == L"--remove-data") {
      parsed.remove_data = true;
    } else if (argument == L"--self-delete") {
      parsed.self_delete = true;
    } else if (argument == L"--silent") {
      parsed.silent = true;
    } else {
      parsed.folder = std::filesystem::path(argument);
      named = true;
    }
  }
  if (!named) parsed.folder = ParentFolder(own_executable);
  return parsed;
}

int RunUninstall(const UninstallArgs& args, const UninstallServices& services) {
  try {
    return Uninstall(args.folder, args.silent, args.remove_data, args.self_delete, services) ? 1 : 0;
  } catch (const std::exception& error) {
    if (!args.silent) services.ask(Utf8ToWide(UserErrorText(error)), MB_ICONERROR);
    throw;
  }
}

}  // namespace qv::setup
