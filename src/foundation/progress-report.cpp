#include "foundation/progress-report.h"

#include <algorithm>

namespace qv::setup {

ProgressStatsRecord ProgressStats;

int ProgressPermille(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 0;
  // 128 bits: done x 1000 must not wrap into a small value for large files.
  unsigned __int128 permille = static_cast<unsigned __int128>(done) * 1000 / total;
  return static_cast<int>(std::min<unsigned __int128>(permille, 1000));
}

void ReportProgressTo(SetupWindowState& window_state, ProgressStatsRecord& stats, std::uint64_t done,
                      std::uint64_t total) {
  if (HWND window = window_state.window.load()) {
    int permille = ProgressPermille(done, total);
    // The exchange makes a value that several calls reach post only once.
    if (window_state.last_permille.exchange(permille) != permille) {
      ::PostMessageW(window, kSetupProgressMessage, static_cast<WPARAM>(permille), 0);
    }
    return;
  }
  if (stats.events != 0 && (done < stats.last_done || total != stats.last_total)) stats.monotonic = false;
  ++stats.events;
  stats.last_done = done;
  stats.last_total = total;
  if (total != 0) stats.seen_permille.set(static_cast<size_t>(ProgressPermille(done, total)));
}

void ReportProgress(std::uint64_t done, std::uint64_t total) {
  ReportProgressTo(SetupWindow, ProgressStats, done, total);
}

}  // namespace qv::setup
