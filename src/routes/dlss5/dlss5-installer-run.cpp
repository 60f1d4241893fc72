#include "routes/dlss5/dlss5-installer-run.h"

#include <atomic>
#include <cstdint>
#include <vector>

#include "foundation/files/file-reads.h"
#include "foundation/text/text.h"
#include "foundation/win/run-process.h"
#include "routes/dlss5/dlss5-route-state.h"

namespace qv::setup {

int RunAutopilotInstaller(const win_route::State& state, const std::filesystem::path& tool, bool remove,
                          std::wstring_view log_name, std::string& last_line, std::chrono::milliseconds time_limit,
                          const FileSystemView& view) {
  std::vector<std::string> arguments = {NativePathToUtf8(state.game_folder / L"qv.exe")};
  if (remove) {
    arguments.emplace_back("--remove");
  } else {
    arguments.insert(arguments.end(), {"--route", "native", "--no-gpu-pref"});
  }
  const std::filesystem::path log = state.work_folder / log_name;
  // Nobody cancels a route: the game waits for it, and a half-run tool would
  // leave the game folder in a state neither side knows.
  const std::atomic<bool> never_cancelled{false};
  const RunProcessResult run =
      RunProcess(tool, arguments, state.work_folder, log, never_cancelled, time_limit.count());

  ForEachToolLogLine(log, [&](std::string_view line) {
    if (HasNonBlank(line)) LogDlss5Route(state, "installer: " + std::string(line), view);
  });
  if (!run.started) {
    last_line = kInstallerNotStarted;
    return -1;
  }
  if (run.timed_out) {
    last_line = kInstallerStopped;
    return -1;
  }
  last_line = ReadLastLine(log);
  return static_cast<std::int32_t>(run.exit_code);
}

void ForEachToolLogLine(const std::filesystem::path& file, const std::function<void(std::string_view line)>& visit) {
  std::string line;
  ScanFilePieces(file, ~std::uint64_t{0}, [&](std::string_view piece) {
    for (const char c : piece) {
      if (c == '\r' || c == '\n') {
        visit(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return true;
  });
  if (!line.empty()) visit(line);
}

bool HasNonBlank(std::string_view line) { return line.find_first_not_of(' ') != std::string_view::npos; }

std::string ReadLastLine(const std::filesystem::path& file) {
  std::string last;
  ForEachToolLogLine(file, [&](std::string_view line) {
    if (HasNonBlank(line)) last.assign(line);
  });
  const std::size_t first = last.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  last.erase(last.find_last_not_of(' ') + 1);
  last.erase(0, first);
  if (last.size() > kLastLineMaxBytes) last = last.substr(0, kLastLineMaxBytes - 3) + "...";
  return last;
}

}  // namespace qv::setup
