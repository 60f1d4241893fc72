#include "engine/records/update-log.h"

#include <windows.h>

#include <cstdio>

#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {

std::string LocalTimeStamp() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char buffer[32];
  int length = std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay,
                             now.wHour, now.wMinute, now.wSecond);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

void AppendUpdateLog(const std::filesystem::path& install, std::string_view message) {
  const std::filesystem::path data = install / L"data";
  if (!IsFolder(data)) return;
  AppendStampedLine(data / kUpdateLogName, message);
}

void AppendStampedLine(const std::filesystem::path& log_file, std::string_view message) {
  // Append access alone: every write lands at the end, whoever else appends.
  UniqueFile log(::CreateFileW(ToLongPath(log_file.native()).c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!log) return;
  std::string line = LocalTimeStamp();
  line.append(message).append("\n");
  DWORD written = 0;
  ::WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace qv::setup
