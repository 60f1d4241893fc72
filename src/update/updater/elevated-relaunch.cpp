#include "update/updater/elevated-relaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "foundation/text/command-line.h"
#include "foundation/win/process-helpers.h"

namespace qv::setup {

std::wstring RelaunchParameters(const win_updater::Args& args) {
  // No "--pid": this copy has seen the game close already, and while the
  // consent prompt waits for the user its id may pass to an unrelated
  // process, which the elevated copy would then wait a minute for.
  std::wstring parameters = L"--game-update " + QuoteArg(args.game_folder) + L" --lang " +
                            std::to_wstring(args.language) + L" --elevated --";
  for (const std::wstring& argument : args.pass_through) parameters += L" " + QuoteArg(argument);
  return parameters;
}

bool RelaunchElevated(const win_updater::Args& args, int* error, std::filesystem::path program) {
  if (program.empty()) program = OwnExecutablePath();
  const std::wstring parameters = RelaunchParameters(args);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The shell finishes the start before it returns: the updater ends right
  // after handing over, and an asynchronous start could die with it.
  info.fMask = SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = args.game_folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!program.empty() && ::ShellExecuteExW(&info)) return true;
  if (error) *error = program.empty() ? static_cast<int>(ERROR_FILE_NOT_FOUND) : static_cast<int>(::GetLastError());
  return false;
}

}  // namespace qv::setup
