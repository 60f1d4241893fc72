#pragma once
// How the entry point picks a role. The command line is offered to a table of
// rows in a fixed order; the first row whose parser takes it runs, and its
// runner's value is the process exit code. A line that no row takes ends with
// exit code 2 and touches nothing.
//
// What happens when a runner raises depends on the row:
//   kRoleOwn    windowed roles and roles that report their own failures: the
//               dispatcher adds nothing (a last-resort catch still turns an
//               escaping exception into exit code 1 instead of an abort);
//   kExitOne    uninstall: exit code 1, nothing written anywhere;
//   kResultFile test modes: exit code 1, and the exception's text goes into the
//               result file (the last argument) when ResultFileAcceptable
//               allows it. Only test-mode command lines name a result file, so
//               only they ever get one.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// The command line as the shell splits it (CommandLineToArgvW): [0] is the
// program, [1] the first option.
using CommandLineArgs = std::vector<std::wstring>;

// A role ready to run, holding what it parsed out of the command line.
using RoleRun = std::function<int()>;
// Takes the command line or not: a role's run when it does, an empty RoleRun
// when the line is not this role's.
using RoleParser = std::function<RoleRun(const CommandLineArgs& args)>;

enum class FailureHandling { kRoleOwn, kExitOne, kResultFile };

struct RoleRow {
  std::string name;  // for tests and diagnostics ("verify-integrity")
  RoleParser parse;
  FailureHandling failures = FailureHandling::kRoleOwn;
};

inline constexpr int kExitUnrecognisedCommandLine = 2;
inline constexpr int kExitFailed = 1;

// The text written for a failure that carries no text of its own.
inline constexpr const char* kUnknownFailureText = "The test mode ended with an error of an unknown kind.";

// The arguments of a command line split by the shell's rules; nothing when the
// system cannot split it.
bool SplitCommandLine(const wchar_t* command_line, CommandLineArgs& args);

// The row that takes the command line and its run; nullptr when no row does.
const RoleRow* FindRole(const std::vector<RoleRow>& table, const CommandLineArgs& args, RoleRun& run);

// Offers the command line to the rows in order and runs the first that takes
// it under its failure handling; returns the exit code.
int DispatchRoles(const std::vector<RoleRow>& table, const CommandLineArgs& args);

// A row for a test mode: `word` as the first option (compared whole and
// case-sensitively) with exactly `argc` arguments (the program counted), and,
// when `enabled` is set, only while it answers true. Failures go to the
// result file.
RoleRow TestModeRow(std::wstring_view word, size_t argc, std::function<int(const CommandLineArgs& args)> run,
                    std::function<bool()> enabled = {});

}  // namespace qv::setup
