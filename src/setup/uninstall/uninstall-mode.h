#pragma once
// "--uninstall" [options] [folder]: the command line that the uninstall entry
// gives Windows.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup/uninstall/uninstall.h"

namespace qv::setup {

struct UninstallArgs {
  std::filesystem::path folder;  // the installation; the program's own folder when none was given
  bool silent = false;
  bool remove_data = false;
  bool self_delete = false;
};

// The arguments when the line is "--uninstall" with anything after it or
// nothing: from the second argument on, "--remove-data", "--self-delete" and
// "--silent" (compared exactly) set their flags in any order, and every other
// argument names the folder, the last one winning. Without a folder, the
// parent folder of `own_executable`. Nothing for any other line.
std::optional<UninstallArgs> ParseUninstallArgs(const std::vector<std::wstring>& args,
                                                const std::filesystem::path& own_executable);

// Runs Uninstall: exit code 1 when the folder holds no installation, else 0.
// A failure is shown to the user in an error box unless silent, and raised
// again (the dispatcher turns it into exit code 1 and writes nothing).
int RunUninstall(const UninstallArgs& args, const UninstallServices& services = SystemUninstallServices());

}  // namespace qv::setup
