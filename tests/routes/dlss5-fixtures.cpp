#include "dlss5-fixtures.h"

#include <gtest/gtest.h>

#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-state.h"
#include "routes/dlss5/dlss5-tool-source.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace qv::test {

namespace fs = std::filesystem;

std::filesystem::path StandInToolPath() { return TestBinaryFolder() / L"dlss5-autopilot.exe"; }

Dlss5Game::Dlss5Game()
    : work_(game_ / L"data" / L"dlss5-unlock"), tool_(qv::setup::Dlss5ToolPath(work_)) {
  fs::create_directories(tool_.parent_path());
  fs::copy_file(StandInToolPath(), tool_);
  tool_digest_ = qv::setup::HashFile(tool_);
  WriteToolSource(std::string(kToolSourceName) + "\n" + kToolSourceTag + "\n\n" + tool_digest_ + "\n");
  WriteTestFile(game_ / L"reshade" / L"dxgi.dll", kPortReShadeBytes);
}

void Dlss5Game::WriteToolSource(const std::string& text) const { WriteTestFile(work_ / L"tool-source.txt", text); }

void Dlss5Game::Control(const std::string& text) const {
  WriteTestFile(tool_.parent_path() / L"dlss5-autopilot-control.txt", text);
}

std::vector<std::string> Dlss5Game::ToolRuns() const {
  std::vector<std::string> runs;
  const fs::path file = tool_.parent_path() / L"dlss5-autopilot-runs.txt";
  if (!fs::exists(file)) return runs;
  const std::string text = ReadTestFile(file);
  std::string_view rest = text;
  while (!rest.empty()) runs.emplace_back(qv::setup::TakeLine(rest));
  return runs;
}

std::string Dlss5Game::Result() const {
  const fs::path file = work_ / L"route-result.txt";
  return fs::exists(file) ? ReadTestFile(file) : std::string();
}

qv::setup::win_route::State Dlss5Game::State(qv::setup::RouteAction action) const {
  qv::setup::win_route::State state;
  state.remove = action == qv::setup::RouteAction::kRemove;
  state.reinstall = action == qv::setup::RouteAction::kReinstall;
  state.game_folder = game();
  state.work_folder = work_;
  return state;
}

qv::setup::TreeSnapshot Dlss5Game::GameFiles() const {
  return qv::setup::SnapshotTree(game(), [](const std::string& key) { return key.rfind("data/", 0) == 0; });
}

std::string StandInRecord(const fs::path& game_folder, const std::string& route, const std::string& components) {
  const std::string port = qv::setup::HashFile(game_folder / L"dxgi.dll");
  const std::string shader = qv::setup::HashFile(game_folder / L"reshade-shaders" / L"x.fx");
  return "{\n"
         "  \"format\": 1,\n"
         "  \"tool\": \"DLSS5-Autopilot\",\n"
         "  \"tool_source\": \"" + std::string(kToolSourceName) + "\",\n"
         "  \"tool_tag\": \"" + kToolSourceTag + "\",\n"
         "  \"route\": " + route + ",\n"
         "  \"qv_reshade_sha256\": \"" + port + "\",\n"
         "  \"components\": " + components + ",\n"
         "  \"files\": [\n"
         "    {\"name\": \"dxgi.dll\", \"size\": 42, \"sha256\": \"" + port + "\"},\n"
         "    {\"name\": \"reshade-shaders/x.fx\", \"size\": 19, \"sha256\": \"" + shader + "\"}\n"
         "  ]\n"
         "}\n";
}

qv::setup::RouteProgress Dlss5Recorder::Progress() {
  return [this](qv::setup::UpdaterText key) { keys.push_back(static_cast<int>(key)); };
}

qv::setup::Dlss5RouteSettings Dlss5Recorder::Settings(std::chrono::milliseconds game_wait) {
  qv::setup::Dlss5RouteSettings settings;
  settings.game_wait = game_wait;
  settings.sleep = [this](std::chrono::milliseconds pause) { pauses.push_back(pause); };
  return settings;
}

std::vector<std::string> Dlss5LogMessages(const fs::path& game_folder) {
  std::vector<std::string> messages;
  for (const std::string& line : UpdaterLogMessages(game_folder)) {
    if (line.rfind("dlss5 route: ", 0) == 0) {
      messages.push_back(line.substr(13));
    } else {
      ADD_FAILURE() << "not a DLSS 5 route line: " << line;
    }
  }
  return messages;
}

}  // namespace qv::test
