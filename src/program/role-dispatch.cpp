#include "program/role-dispatch.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <filesystem>
#include <string>

#include "foundation/logger.h"
#include "foundation/result-file.h"
#include "foundation/text/error-text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

// The shared handler of the test modes: the failure text goes to the last
// argument, through the guard, with no line end added.
int ReportToResultFile(const CommandLineArgs& args, std::string_view text) {
  WriteGuardedResultFile(std::filesystem::path(args.back()), text);
  return kExitFailed;
}

int RunUnderHandling(const RoleRow& row, const RoleRun& run, const CommandLineArgs& args) {
  if (row.failures == FailureHandling::kRoleOwn) return run();
  try {
    return run();
  } catch (const std::exception& error) {
    Log(LogLevel::kError, row.name + ": " + error.what());
    if (row.failures == FailureHandling::kResultFile) return ReportToResultFile(args, UserErrorText(error));
    return kExitFailed;
  } catch (...) {
    Log(LogLevel::kError, row.name + ": " + kUnknownFailureText);
    if (row.failures == FailureHandling::kResultFile) return ReportToResultFile(args, kUnknownFailureText);
    return kExitFailed;
  }
}

}  // namespace

bool SplitCommandLine(const wchar_t* command_line, CommandLineArgs& args) {
  args.clear();
  int argc = 0;
  UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(command_line, &argc));
  if (!argv) return false;
  // Copied at once: every role keeps what it needs from the copy, and the
  // system's vector is freed before any role runs.
  for (int i = 0; i < argc; ++i) args.emplace_back(argv.get()[i]);
  return true;
}

const RoleRow* FindRole(const std::vector<RoleRow>& table, const CommandLineArgs& args, RoleRun& run) {
  for (const RoleRow& row : table) {
    run = row.parse(args);
    if (run) return &row;
  }
  return nullptr;
}

int DispatchRoles(const std::vector<RoleRow>& table, const CommandLineArgs& args) {
  // The last resort: a role's failure that nothing else caught ends the
  // process with exit code 1 and a diagnostic line, never with an abort.
  try {
    RoleRun run;
    const RoleRow* row = FindRole(table, args, run);
    if (row == nullptr) return kExitUnrecognisedCommandLine;
    return RunUnderHandling(*row, run, args);
  } catch (const std::exception& error) {
    Log(LogLevel::kError, std::string("the program ended with an error: ") + error.what());
  } catch (...) {
    Log(LogLevel::kError, "the program ended with an error of an unknown kind");
  }
  return kExitFailed;
}

RoleRow TestModeRow(std::wstring_view word, size_t argc, std::function<int(const CommandLineArgs& args)> run,
                    std::function<bool()> enabled) {
  std::wstring option(word);
  RoleParser parse = [option, argc, run = std::move(run), enabled = std::move(enabled)](
                         const CommandLineArgs& args) -> RoleRun {
    if (args.size() < 2 || args.size() != argc || args[1] != option) return {};
    if (enabled && !enabled()) return {};
    return [run, args] { return run(args); };
  };
  std::string name;
  for (wchar_t c : word.substr(word.starts_with(L"--") ? 2 : 0)) name.push_back(static_cast<char>(c));
  return RoleRow{std::move(name), std::move(parse), FailureHandling::kResultFile};
}

}  // namespace qv::setup
