#pragma once
// Where the progress of every non-updater role goes: to the setup window as
// thousandths, posted only when the value changes, or, with no window, into
// statistics that the test modes write into their result files.

#include <bitset>
#include <cstdint>

#include "foundation/setup-window-state.h"

namespace qv::setup {

struct ProgressStatsRecord {
  std::uint64_t events = 0;  // progress calls received
  std::uint64_t last_done = 0;
  std::uint64_t last_total = 0;
  bool monotonic = true;  // no call went backwards or changed the total
  std::bitset<1001> seen_permille;  // index: permille 0..1000 reported
};

// Filled only while no setup window exists, by the one thread running a test mode.
extern ProgressStatsRecord ProgressStats;

// done x 1000 / total, truncated, at most 1000 (a caller may report more than
// the total); 0 for a total of 0. No overflow for any 64-bit values.
int ProgressPermille(std::uint64_t done, std::uint64_t total);

// ReportProgress with its targets given: posts kSetupProgressMessage when the
// window state holds a window and the permille changed, else counts the call
// in `stats` (a total of 0 sets no flag).
void ReportProgressTo(SetupWindowState& window_state, ProgressStatsRecord& stats, std::uint64_t done,
                      std::uint64_t total);

// The ProgressHook target: ReportProgressTo(SetupWindow, ProgressStats, ...).
void ReportProgress(std::uint64_t done, std::uint64_t total);

}  // namespace qv::setup
