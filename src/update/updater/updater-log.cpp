#include "update/updater/updater-log.h"

#include <system_error>

#include "engine/records/update-log.h"
#include "foundation/files/folder-tests.h"

namespace qv::setup {

void AppendUpdaterLog(const std::filesystem::path& game_folder, std::string_view line, const FileSystemView& view) {
  const std::filesystem::path data = game_folder / L"data";
  std::error_code error;
  if (!IsRealDirectory(data, error, view)) return;
  AppendStampedLine(data / kUpdaterLogName, line);
}

}  // namespace qv::setup
