#include "update/updater/game-start.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "engine/records/existing-install.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/command-line.h"
#include "foundation/win/com-apartment.h"
#include "foundation/win/process-helpers.h"

namespace qv::setup {
namespace {

void FreeBstr(BSTR text) noexcept { ::SysFreeString(text); }
using UniqueBstr = UniqueResource<NullableHandleTraits<BSTR, &FreeBstr>>;

// Longest working-folder text that process creation accepts (MAX_PATH less
// the trailing separator it may add and the terminating zero).
constexpr size_t kMaxWorkingFolderLength = 257;

GameStart CreateGameProcess(const std::filesystem::path& program, const std::wstring& arguments,
                            const std::filesystem::path& game_folder) {
  std::wstring command_line = QuoteArg(program.native());
  if (!arguments.empty()) command_line += L" " + arguments;
  const std::wstring application = ToLongPath(program.native());
  const std::wstring& folder = game_folder.native();
  const bool use_folder = folder.size() <= kMaxWorkingFolderLength;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  GameStart start;
  if (!::CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        use_folder ? folder.c_str() : nullptr, &startup, &info)) {
    return start;
  }
  start.process.reset(info.hProcess);
  UniqueHandle thread(info.hThread);
  // The game opens its own window; it may take the foreground from us.
  AllowForeground(info.dwProcessId);
  start.started = true;
  return start;
}

VARIANT TextVariant(BSTR text) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text;  // still owned by its UniqueBstr
  return value;
}

// The desktop's own shell (Explorer) runs with the user's unelevated token;
// asking it to open the program starts the game with that token. The chain:
// the shell windows' desktop entry, its top-level browser, the active view's
// background object, and that object's Shell.Application.
bool StartThroughDesktopShell(const std::filesystem::path& program, const std::wstring& arguments,
                              const std::filesystem::path& game_folder) {
  AllowForeground(0);
  ComApartment apartment;
  UniqueCom<IShellWindows> shell_windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(shell_windows.put())))) {
    return false;
  }
  VARIANT location;
  ::VariantInit(&location);
  VARIANT root;
  ::VariantInit(&root);
  long desktop_window = 0;
  UniqueCom<IDispatch> desktop;
  if (shell_windows.get()->FindWindowSW(&location, &root, SWC_DESKTOP, &desktop_window, SWFO_NEEDDISPATCH,
                                        desktop.put()) != S_OK ||
      !desktop) {
    return false;
  }
  UniqueCom<IServiceProvider> services;
  if (FAILED(desktop.get()->QueryInterface(IID_PPV_ARGS(services.put())))) return false;
  UniqueCom<IShellBrowser> browser;
  if (FAILED(services.get()->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(browser.put())))) return false;
  UniqueCom<IShellView> view;
  if (FAILED(browser.get()->QueryActiveShellView(view.put())) || !view) return false;
  UniqueCom<IDispatch> background;
  if (FAILED(view.get()->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(background.put())))) return false;
  UniqueCom<IShellFolderViewDual> folder_view;
  if (FAILED(background.get()->QueryInterface(IID_PPV_ARGS(folder_view.put())))) return false;
  UniqueCom<IDispatch> application;
  if (FAILED(folder_view.get()->get_Application(application.put())) || !application) return false;
  UniqueCom<IShellDispatch2> shell;
  if (FAILED(application.get()->QueryInterface(IID_PPV_ARGS(shell.put())))) return false;

  UniqueBstr file(::SysAllocString(program.c_str()));
  UniqueBstr parameters(::SysAllocString(arguments.c_str()));
  UniqueBstr directory(::SysAllocString(game_folder.c_str()));
  UniqueBstr operation(::SysAllocString(L"open"));
  if (!file || !parameters || !directory || !operation) return false;
  VARIANT show;
  ::VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return SUCCEEDED(shell.get()->ShellExecute(file.get(), TextVariant(parameters.get()), TextVariant(directory.get()),
                                             TextVariant(operation.get()), show));
}

}  // namespace

GameStart StartGame(const std::filesystem::path& game_folder, const std::vector<std::wstring>& arguments,
                    bool elevated) {
  const std::filesystem::path program = game_folder / kGameExecutableName;
  const std::wstring joined = JoinCommandLine(arguments);
  if (elevated) {
    GameStart start;
    // The shell answers before it looks for the program (a missing one only
    // gets an error box of the shell's own), so "started" would be claimed
    // for a game that is not there.
    if (!IsRegularFile(program)) return start;
    start.started = StartThroughDesktopShell(program, joined, game_folder);
    return start;
  }
  return CreateGameProcess(program, joined, game_folder);
}

}  // namespace qv::setup
