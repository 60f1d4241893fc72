#pragma once
// A game folder prepared for the DLSS 5 route: its work folder with the
// stand-in tool (tests/helpers/dlss5-autopilot.cpp) in place and the tool's
// SHA-256 as line 4 of "tool-source.txt", and the port's ReShade in the
// installation. The route's own checks run unchanged on it.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "route-fixtures.h"
#include "routes/dlss5/dlss5-route-operation.h"
#include "routes/route-kinds.h"
#include "routes/route-window.h"
#include "selftest/fixtures/tree-snapshot.h"

namespace qv::test {

// The port's ReShade as the fixture installs it.
inline constexpr const char* kPortReShadeBytes = "port ReShade build without user interface\n";
// The stand-in tool's own "dxgi.dll".
inline constexpr const char* kToolReShadeBytes = "DLSS5-Autopilot ReShade 2.0.8 (stand-in)\n";

class Dlss5Game {
 public:
  Dlss5Game();

  const std::filesystem::path& game() const { return game_.path(); }
  const std::filesystem::path& work() const { return work_; }
  // work\autopilot-2.0.8\dlss5-autopilot.exe
  const std::filesystem::path& tool() const { return tool_; }
  const std::string& tool_digest() const { return tool_digest_; }

  // Writes "tool-source.txt" whole (the fixture's own names the tool's digest).
  void WriteToolSource(const std::string& text) const;
  // Writes the stand-in's control file ("key value" lines).
  void Control(const std::string& text) const;
  // The stand-in's run lines so far.
  std::vector<std::string> ToolRuns() const;
  // The route's result file; "" when missing.
  std::string Result() const;

  // A state for one operation, as the route's own runner fills it.
  qv::setup::win_route::State State(qv::setup::RouteAction action) const;

  // The game folder without "data" (the log and the work folder live there).
  qv::setup::TreeSnapshot GameFiles() const;

 private:
  RouteGameFolder game_;
  std::filesystem::path work_;
  std::filesystem::path tool_;
  std::string tool_digest_;
};

// The stand-in tool's path in the build, and its first four lines of
// "tool-source.txt" as the fixture writes them.
std::filesystem::path StandInToolPath();
inline constexpr const char* kToolSourceName = "https://tools.example/dlss5-autopilot";
inline constexpr const char* kToolSourceTag = "v2.0.8-test";

// The record an install with the stand-in leaves, its files as the install
// put them down: `route` and `components` are the two lines' JSON values as
// the record spells them (escaped).
std::string StandInRecord(const std::filesystem::path& game_folder, const std::string& route,
                          const std::string& components);

// What an operation showed and how long it paused, instead of posting to a
// window and sleeping.
struct Dlss5Recorder {
  std::vector<int> keys;
  std::vector<std::chrono::milliseconds> pauses;

  qv::setup::RouteProgress Progress();
  // The defaults, with the pause recorded instead of slept and the given waits.
  qv::setup::Dlss5RouteSettings Settings(std::chrono::milliseconds game_wait = std::chrono::milliseconds(60000));
};

// The updater log's "dlss5 route: " messages without their prefix; fails the
// test for any line of another prefix.
std::vector<std::string> Dlss5LogMessages(const std::filesystem::path& game_folder);

}  // namespace qv::test
