#include "setup/window/outcome-summary.h"

#include "foundation/text/text.h"
#include "update/build-identity.h"

namespace qv::setup {

std::wstring FormatOutcomeSummary(const InstallOutcome& outcome) {
  std::string text;
  if (outcome.updated) {
    text = "Updated to version " + std::string(qv::update::CurrentVersion()) + ": " +
           CountOf(outcome.replaced, "file", "files") + " replaced, " + std::to_string(outcome.added) + " added, " +
           std::to_string(outcome.removed) + " removed";
    if (outcome.archives_restored) text += ", game archives restored";
    text += ". Your settings and saves are unchanged.";
  } else {
    text = "Installed. Launch qv.exe or the desktop shortcut.";
  }
  if (!outcome.notes.empty()) {
    text += " Your copy differs from the tested US release; install-notes.txt in the install folder lists how.";
  }
  if (outcome.title_picture_missing) {
    text += " The start picture (sce_sys/pic1.png) is still missing: select your PKG or dump folder above and press "
            "Install again to add it.";
  }
  // What could not be finished after the installation was in place (the
  // shortcut, the journal's removal): the player should know, the run stands.
  for (const std::string& warning : outcome.warnings) text += " " + warning;
  return Utf8ToWide(text);
}

}  // namespace qv::setup
