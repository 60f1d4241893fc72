#pragma once

#include <string>

#include "foundation/progress-report.h"

namespace qv::setup {

// The statistics line of the test modes' result files:
// "progress events E monotonic yes|no distinct D last P% (DONE/TOTAL bytes)",
// D the number of distinct permille values seen, P = DONE x 100 / TOTAL (0 for
// a total of 0).
std::string FormatProgressStats(const ProgressStatsRecord& stats);

}  // namespace qv::setup
