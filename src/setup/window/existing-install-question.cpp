#include "setup/window/existing-install-question.h"

namespace qv::setup {

std::string ExistingInstallQuestion(const ExistingInstall& existing, std::string_view new_version) {
  if (!existing.is_install) return {};
  const std::string version(new_version);
  if (existing.has_manifest && existing.version == version) {
    return "Q.V. version " + version +
           " is already installed here and up to date. Repair it (check the game files and the program files, and "
           "rewrite those that differ)?";
  }
  const std::string what = existing.version.empty() ? "an older version" : "version " + existing.version;
  return "Q.V. is already installed here (" + what + "). Update it to version " + version +
         "? The game files, settings, saves and anything else you added stay.";
}

}  // namespace qv::setup
