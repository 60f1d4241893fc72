#include "foundation/progress-stats-text.h"

namespace qv::setup {

std::string FormatProgressStats(const ProgressStatsRecord& stats) {
  std::uint64_t percent = 0;
  if (stats.last_total != 0) {
    percent = static_cast<std::uint64_t>(static_cast<unsigned __int128>(stats.last_done) * 100 / stats.last_total);
  }
  return "progress events " + std::to_string(stats.events) + " monotonic " + (stats.monotonic ? "yes" : "no") +
         " distinct " + std::to_string(stats.seen_permille.count()) + " last " + std::to_string(percent) + "% (" +
         std::to_string(stats.last_done) + "/" + std::to_string(stats.last_total) + " bytes)";
}

}  // namespace qv::setup
