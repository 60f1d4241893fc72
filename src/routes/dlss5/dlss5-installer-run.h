#pragma once
// Running the DLSS 5 tool on the game and reading what it wrote: its output
// goes into a log file in the work folder, which is copied line by line into
// the updater log, and its last line becomes the detail of the result file.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/files/file-system-view.h"
#include "routes/route-window.h"

namespace qv::setup {

// How long one run of the tool may take before it is stopped (20 minutes).
inline constexpr std::chrono::milliseconds kAutopilotTimeLimit{1200000};

// The longest detail taken from the tool's log; longer lines are cut to 87
// bytes followed by "...".
inline constexpr std::size_t kLastLineMaxBytes = 90;

inline constexpr const char* kInstallerNotStarted = "the installer could not be started";
inline constexpr const char* kInstallerStopped = "the installer ran for 20 minutes and was stopped";

// Runs the tool on game\"qv.exe" ("--route native --no-gpu-pref", or
// "--remove"), in the work folder, its output into work\`log_name`, stopped
// after `time_limit`. Every line of the log that holds something other than
// blanks goes to the route's log as "installer: " + the line. `last_line`
// receives kInstallerNotStarted, kInstallerStopped or ReadLastLine of the log.
// Returns the tool's exit code, or -1 when it did not start or was stopped.
int RunAutopilotInstaller(const win_route::State& state, const std::filesystem::path& tool, bool remove,
                          std::wstring_view log_name, std::string& last_line,
                          std::chrono::milliseconds time_limit = kAutopilotTimeLimit,
                          const FileSystemView& view = SystemView());

// Hands each line of the file to `visit`, CR taken as a line end like LF (so
// CR LF gives an empty line after each line), a last line without an end
// included. The file is read in pieces, so a large log costs no more memory
// than its longest line. A file that cannot be opened gives no lines.
void ForEachToolLogLine(const std::filesystem::path& file, const std::function<void(std::string_view line)>& visit);

// True when the line holds a character other than a blank (space).
bool HasNonBlank(std::string_view line);

// The last line of the file that holds something other than blanks, without
// its leading and trailing blanks, cut to 87 bytes + "..." when it is longer
// than 90 bytes. "" when there is none or the file cannot be opened.
std::string ReadLastLine(const std::filesystem::path& file);

}  // namespace qv::setup
