#include "routes/route-log.h"

#include <string>

#include "update/updater-log.h"

namespace qv::setup {

void AppendRouteLog(const std::filesystem::path& game_folder, std::string_view prefix, std::string_view line,
                    const FileSystemView& view) {
  std::string text(prefix);
  text.append(line);
  AppendUpdaterLog(game_folder, text, view);
}

void LogRouteQueue(const std::filesystem::path& game_folder, std::string_view line, const FileSystemView& view) {
  AppendRouteLog(game_folder, kRouteQueueLogPrefix, line, view);
}

}  // namespace qv::setup
