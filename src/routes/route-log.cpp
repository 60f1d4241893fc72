#include "routes/route-log.h"

#include <algorithm>
#include <string>

#include "update/updater/updater-log.h"

namespace qv::setup {

void AppendRouteLog(const std::filesystem::path& game_folder, std::string_view prefix, std::string_view line,
                    const FileSystemView& view) {
  std::string text(prefix);
  text.append(line);
  // One event, one line: texts from outside (a tool's report, a package's
  // manifest) may hold line breaks, which would start lines without a stamp.
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  AppendUpdaterLog(game_folder, text, view);
}

void LogRouteQueue(const std::filesystem::path& game_folder, std::string_view line, const FileSystemView& view) {
  AppendRouteLog(game_folder, kRouteQueueLogPrefix, line, view);
}

}  // namespace qv::setup
