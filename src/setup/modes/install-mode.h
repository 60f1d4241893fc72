#pragma once

#include <filesystem>
#include <string>

#include "engine/install-outcome.h"
#include "foundation/progress-report.h"

namespace qv::setup {

// The result text of "--install": "PASS installed" or "PASS updated" with the
// update's figures, one "note: " line per note and one "warning: " line per
// warning, the title-picture and recovery lines when they apply, and the
// progress statistics last; every line, the last too, ends with "\n".
std::string FormatInstallResult(const InstallOutcome& outcome, const ProgressStatsRecord& stats);

// "--install <source> <folder> <result>": guards the result file, installs
// from `source` into `folder` without shortcut or uninstall entry, and writes
// the result text; returns exit code 0. Raises the guard's refusal or the
// installation's sentence.
int RunInstallMode(const std::filesystem::path& source, const std::filesystem::path& folder,
                   const std::filesystem::path& result);

}  // namespace qv::setup
