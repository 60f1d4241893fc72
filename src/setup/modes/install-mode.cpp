#include "setup/modes/install-mode.h"

#include <sstream>

#include "foundation/progress-stats-text.h"
#include "foundation/result-file.h"
#include "setup/install/install.h"

namespace qv::setup {

std::string FormatInstallResult(const InstallOutcome& outcome, const ProgressStatsRecord& stats) {
  std::ostringstream text;
  text << (outcome.updated ? "PASS updated" : "PASS installed");
  if (outcome.updated) {
    text << "\nfrom " << (outcome.previous_version.empty() ? "older install" : outcome.previous_version)
         << " replaced " << outcome.replaced << " added " << outcome.added << " removed " << outcome.removed
         << " archives " << (outcome.archives_restored ? "restored" : "kept") << "\nunchanged " << outcome.unchanged
         << " verified " << outcome.verified << " repaired " << outcome.repaired << " written "
         << outcome.bytes_to_write << " bytes";
  }
  for (const std::string& note : outcome.notes) text << "\nnote: " << note;
  for (const std::string& warning : outcome.warnings) text << "\nwarning: " << warning;
  if (outcome.title_picture_missing) text << "\ntitle picture missing";
  if (outcome.recovery_done) text << "\nrecovered an interrupted update";
  text << "\n" << FormatProgressStats(stats) << "\n";
  return text.str();
}

int RunInstallMode(const std::filesystem::path& source, const std::filesystem::path& folder,
                   const std::filesystem::path& result) {
  RequireAcceptableResultFile(result);
  const InstallOutcome outcome = Install(source, folder, false, false);
  WriteResultFile(result, FormatInstallResult(outcome, ProgressStats));
  return 0;
}

}  // namespace qv::setup
