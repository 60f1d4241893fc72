#pragma once

#include <string>
#include <string_view>

#include "engine/records/existing-install.h"

namespace qv::setup {

// The question asked before installing into a folder that already holds an
// installation (UTF-8): the repair question when its install manifest names
// exactly `new_version`, else the update question; empty for a folder without
// an installation. The versions are compared as text, not ordered, so a newer
// installation than the setup's is offered the update too.
std::string ExistingInstallQuestion(const ExistingInstall& existing, std::string_view new_version);

}  // namespace qv::setup
