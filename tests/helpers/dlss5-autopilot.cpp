// Stand-in for the outside DLSS 5 tool "dlss5-autopilot.exe", which cannot
// exist here; never shipped. The tests copy it into a route work folder
// ("autopilot-2.0.8\dlss5-autopilot.exe") and name its SHA-256 in the work
// folder's "tool-source.txt".
//
//   dlss5-autopilot <game>\qv.exe --route native --no-gpu-pref    install
//   dlss5-autopilot <game>\qv.exe --remove                        remove
//
// Any other command line prints its usage and exits with 64. Every run first
// appends one line to "dlss5-autopilot-runs.txt" beside itself:
//   <action> pid <process id> cwd <current folder> args <arguments joined by " | ">
// then prints lines on standard output and standard error the way a real
// tool's log looks (CR LF ends, blank lines, leading and trailing blanks,
// a long last line), waits, and does its work:
//   install  writes into the game folder its own "dxgi.dll", its shader
//            "reshade-shaders\x.fx" and "dlss5-autopilot.json";
//   remove   deletes them again, "dxgi.dll" only while it is its own.
// Tests steer it through "dlss5-autopilot-control.txt" beside it, one
// "key value" per line (all optional):
//   install-exit N / remove-exit N   exit code of that action (default 0)
//   sleep MS                         wait before the work (default none)
//   json VARIANT                     what "dlss5-autopilot.json" holds:
//       object (default), escapes (values with quotes, backslashes and
//       control characters), array (a JSON array), trailing (an object
//       followed by other text), none (not written at all)
//   last TEXT                        the last output line (default: a line
//                                    of 120 characters)

#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"

namespace {

namespace fs = std::filesystem;

constexpr int kUsage = 64;
// What the tool's own "dxgi.dll" holds: removal tells it apart by this.
constexpr const char* kOwnReShade = "DLSS5-Autopilot ReShade 2.0.8 (stand-in)\n";

void Write(DWORD handle, const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(handle), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
void Out(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const std::string& text) { Write(STD_ERROR_HANDLE, text); }

std::map<std::string, std::string> ReadControl(const fs::path& file) {
  std::map<std::string, std::string> control;
  const std::string text = qv::setup::ReadFileText(file);
  std::string_view rest = text;
  while (!rest.empty()) {
    std::string line(qv::setup::TakeLine(rest));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) control[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return control;
}

std::string Value(const std::map<std::string, std::string>& control, const std::string& key,
                  const std::string& fallback) {
  const auto found = control.find(key);
  return found == control.end() ? fallback : found->second;
}

std::string ToolJson(const std::string& variant) {
  const std::string files = R"("files": ["dxgi.dll", "reshade-shaders/x.fx"])";
  if (variant == "escapes") {
    return R"({"complete": true, "path": "na\"tive\\route", "components": {"reshade": "6.3 \"beta\"", )"
           R"("renodx": "C:\\renodx\\", "dlssnr": "310\u0001\tx\n"}, )" +
           files + "}\n";
  }
  const std::string object = R"({"complete": true, "path": "native", "components": {"reshade": "6.3.3", )"
                             R"("renodx": "0.62", "dlssnr": "310.2.1"}, )" +
                             files + "}\n";
  if (variant == "array") return R"(["dxgi.dll", "reshade-shaders/x.fx"])";
  if (variant == "trailing") return object + "written by the stand-in\n";
  return object;
}

void Install(const fs::path& game, const std::string& json_variant) {
  qv::setup::WriteFixtureFile(game / L"dxgi.dll", kOwnReShade);
  qv::setup::WriteFixtureFile(game / L"reshade-shaders" / L"x.fx", "// stand-in shader\n");
  if (json_variant != "none") qv::setup::WriteFixtureFile(game / L"dlss5-autopilot.json", ToolJson(json_variant));
}

void Remove(const fs::path& game) {
  if (qv::setup::ReadFileText(game / L"dxgi.dll") == kOwnReShade) ::DeleteFileW((game / L"dxgi.dll").c_str());
  ::DeleteFileW((game / L"reshade-shaders" / L"x.fx").c_str());
  ::RemoveDirectoryW((game / L"reshade-shaders").c_str());
  ::DeleteFileW((game / L"dlss5-autopilot.json").c_str());
}

std::string CurrentFolder() {
  std::wstring buffer(32768, L'\0');
  buffer.resize(::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data()));
  return qv::setup::WideToUtf8(buffer);
}

void RecordRun(const fs::path& own_folder, const std::string& action, const std::vector<std::string>& arguments) {
  std::string line = action + " pid " + std::to_string(::GetCurrentProcessId()) + " cwd " + CurrentFolder() + " args";
  for (std::size_t i = 0; i < arguments.size(); ++i) line += (i == 0 ? " " : " | ") + arguments[i];
  line += "\n";
  qv::setup::UniqueFile file(::CreateFileW((own_folder / L"dlss5-autopilot-runs.txt").c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv) return kUsage;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(qv::setup::WideToUtf8(argv.get()[i]));
  const bool install = arguments.size() == 4 && arguments[1] == "--route" && arguments[2] == "native" &&
                       arguments[3] == "--no-gpu-pref";
  const bool remove = arguments.size() == 2 && arguments[1] == "--remove";
  const fs::path own_folder = qv::setup::OwnExecutablePath().parent_path();
  RecordRun(own_folder, install ? "install" : remove ? "remove" : "usage", arguments);
  if (!install && !remove) {
    Err("usage: dlss5-autopilot <game>\\qv.exe (--route native --no-gpu-pref | --remove)\r\n");
    return kUsage;
  }
  const std::map<std::string, std::string> control = ReadControl(own_folder / L"dlss5-autopilot-control.txt");
  const fs::path game = fs::path(argv.get()[1]).parent_path();

  Out("DLSS5 Autopilot 2.0.8 (stand-in)\r\n\r\n");
  Out(std::string("   ") + (install ? "installing the native route" : "removing the route") + " for " +
      arguments[0] + "   \r\n");
  Err("warning: no GPU preference set\r\n");
  Out("        \r\n");
  const int sleep_ms = std::stoi(Value(control, "sleep", "0"));
  if (sleep_ms > 0) ::Sleep(static_cast<DWORD>(sleep_ms));

  if (install) {
    Install(game, Value(control, "json", "object"));
  } else {
    Remove(game);
  }
  Out("  " + Value(control, "last", "done: " + std::string(114, 'x')) + "  \r\n\r\n   \r\n");
  return std::stoi(Value(control, install ? "install-exit" : "remove-exit", "0"));
}
