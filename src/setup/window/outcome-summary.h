#pragma once

#include <string>

#include "engine/install-outcome.h"

namespace qv::setup {

// What the setup window says after a successful run: "Installed. ..." or
// "Updated to version <this setup's version>: <n> files replaced, ..." ("1
// file" for one), then a sentence when the player's game copy differs from
// the tested release and one when the start picture is still missing, and
// last the outcome's warnings (what could not be finished once the
// installation was in place).
std::wstring FormatOutcomeSummary(const InstallOutcome& outcome);

}  // namespace qv::setup
