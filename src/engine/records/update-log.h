#pragma once
// "qv-update.log" in the installation's data folder: one line per update
// event, "YYYY-MM-DD hh:mm:ss " in local time followed by the message.

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

inline constexpr std::wstring_view kUpdateLogName = L"qv-update.log";

// Appends one line when `install`'s "data" is a folder (links followed); never
// creates "data" and never raises: the log is a best-effort record. A message
// holding line breaks gives several physical lines, the first one stamped.
void AppendUpdateLog(const std::filesystem::path& install, std::string_view message);

// Appends LocalTimeStamp() + message + "\n" to the file, creating it when
// missing; opened for this one line and shared with other writers. Silent on
// every failure.
void AppendStampedLine(const std::filesystem::path& log_file, std::string_view message);

// The local-time prefix of a log line: "YYYY-MM-DD hh:mm:ss ".
std::string LocalTimeStamp();

}  // namespace qv::setup
