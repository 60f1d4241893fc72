#include "fg-route-fixtures.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/crypto/file-hash.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/stand-in-game.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace qv::test {

void PlaceTarStandIn() {
  wchar_t system_folder[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system_folder, MAX_PATH), 0u);
  const std::filesystem::path target = std::filesystem::path(system_folder) / L"tar.exe";
  const std::filesystem::path source = TestBinaryFolder() / L"tar-standin.exe";
  std::error_code error;
  if (std::filesystem::exists(target, error) && qv::setup::HashFile(target) == qv::setup::HashFile(source)) return;
  ASSERT_TRUE(::CopyFileW(source.c_str(), target.c_str(), FALSE)) << "cannot place tar.exe: " << ::GetLastError();
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[32] = {};
  EXPECT_TRUE(qv::setup::Sha256OfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()), digest));
  return qv::setup::HexEncode(digest, sizeof digest);
}

std::string FgProxyBytes(const std::string& name) {
  // The started game imports "version.dll" from its own folder first, so that
  // proxy must load: the system's own copy with the marker appended. The
  // other two names only need the marker.
  if (name != "version.dll") return "MZ proxy " + name + " loading dlssg_sm86";
  static const std::string proxy = [] {
    wchar_t system_folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(system_folder, MAX_PATH);
    return ReadTestFile(std::filesystem::path(system_folder) / L"version.dll") + "\nproxy loading dlssg_sm86\n";
  }();
  return proxy;
}

std::string FgProxyLabel(const std::string& name) { return "(the proxy " + name + ")"; }

std::string ForeignDllBytes(const std::string& name) { return "MZ another program's " + name; }

std::vector<std::pair<std::string, std::string>> FgRuntimeFiles() {
  return {{"dlssg_sm86/nvngx_dlssg.dll", "MZ frame generation"},
          {"dlssg_sm86/runtime/sl.interposer.dll", "MZ interposer"}};
}

std::string FgManifestText() {
  std::string files;
  for (const auto& [path, content] : FgRuntimeFiles()) {
    files += "{\"path\": \"" + path + "\", \"sha256\": \"" + Sha256Hex(content) + "\"}, ";
  }
  return "{\"name\": \"dlssg_for_sm86\", \"bundle\": {\"runtime_model\": \"" + std::string(kFgRuntimeName) +
         "\"}, \"files\": [" + files + "{\"path\": \"version.dll\", \"sha256\": \"" +
         Sha256Hex(FgProxyBytes("version.dll")) +
         "\"}, {\"path\": \"dlssg_sm86.dll\"}, {\"path\": \"dlssg_sm86/../escape.dll\"}]}\n";
}

std::vector<ZipEntry> FgPackageEntries(const std::vector<std::string>& leave_out, const std::vector<ZipEntry>& extra) {
  std::vector<ZipEntry> entries = {{"manifest.json", FgManifestText()},
                                   {"dlssg_sm86.ini", kFgSettingsText},
                                   {"dlssg_sm86/", ""}};
  for (const auto& [path, content] : FgRuntimeFiles()) entries.push_back({path, content});
  entries.push_back({"version.dll", FgProxyBytes("version.dll"), false});
  entries.push_back({"alternatives/winmm.dll", FgProxyBytes("winmm.dll")});
  entries.push_back({"alternatives/dbghelp.dll", FgProxyBytes("dbghelp.dll")});
  std::vector<ZipEntry> kept;
  for (ZipEntry& entry : entries) {
    bool dropped = false;
    for (const std::string& name : leave_out) dropped = dropped || entry.name == name;
    for (const ZipEntry& replacement : extra) dropped = dropped || entry.name == replacement.name;
    if (!dropped) kept.push_back(std::move(entry));
  }
  kept.insert(kept.end(), extra.begin(), extra.end());
  return kept;
}

FgGame::FgGame(const std::vector<ZipEntry>& package) {
  PlaceTarStandIn();
  PlaceStandInGame(game_.path());
  WritePackage(package);
}

std::filesystem::path FgGame::work() const { return game_ / L"data" / L"dlssg-unlock"; }

void FgGame::WritePackage(const std::vector<ZipEntry>& package) {
  const std::string zip = BuildZip(package);
  zip_digest_ = Sha256Hex(zip);
  WriteTestFile(this->zip(), zip);
  WriteTestFile(work() / L"tool-source.txt", "github v0.4.0 " + zip_digest_ + "\n");
}

qv::setup::FgRouteState FgGame::State(qv::setup::RouteAction action) const {
  qv::setup::FgRouteState state;
  state.remove = action == qv::setup::RouteAction::kRemove;
  state.reinstall = action == qv::setup::RouteAction::kReinstall;
  state.game_folder = path();
  state.work_folder = work();
  return state;
}

std::vector<std::pair<std::string, std::string>> GameTree(const std::filesystem::path& game_folder) {
  auto tree = qv::setup::SnapshotTree(game_folder, [](const std::string& key) {
    return key == "data/" || key.rfind("data/", 0) == 0;
  });
  // The game's own bytes would fill every failure message.
  static const std::string game = ReadTestFile(StandInGamePath());
  for (auto& [key, content] : tree) {
    if (key == "qv.exe" && content == game) content = kStandInGameContent;
    for (const char* name : {"version.dll", "winmm.dll", "dbghelp.dll"}) {
      if (content == FgProxyBytes(name)) content = FgProxyLabel(name);
    }
  }
  return tree;
}

namespace {

std::string FileLine(const std::string& name, const std::string& content) {
  return "    {\"name\": \"" + name + "\", \"size\": " + std::to_string(content.size()) + ", \"sha256\": \"" +
         Sha256Hex(content) + "\"}";
}

}  // namespace

std::string DefaultRecord(const std::string& proxy) {
  std::string files = FileLine(proxy, FgProxyBytes(proxy)) + ",\n" + FileLine("dlssg_sm86.ini", kFgSettingsText);
  for (const auto& [path, content] : FgRuntimeFiles()) files += ",\n" + FileLine(path, content);
  return "{\n  \"format\": 1,\n  \"complete\": true,\n  \"tool\": \"dlssg_for_sm86\",\n"
         "  \"tool_source\": \"github\",\n  \"tool_tag\": \"v0.4.0\",\n  \"runtime\": \"" +
         std::string(kFgRuntimeName) + "\",\n  \"proxy\": \"" + proxy + "\",\n  \"files\": [\n" + files +
         "\n  ]\n}\n";
}

Tree InstalledTree(const std::string& proxy, Tree others) {
  Tree tree = std::move(others);
  tree.push_back({"dlssg_sm86.ini", kFgSettingsText});
  tree.push_back({"dlssg_sm86/", ""});
  for (const auto& [path, content] : FgRuntimeFiles()) tree.push_back({path, content});
  tree.push_back({"dlssg_sm86/runtime/", ""});
  tree.push_back({"qv-dlssg-route.json", DefaultRecord(proxy)});
  tree.push_back({proxy, FgProxyLabel(proxy)});
  return PlainTree(std::move(tree));
}

Tree PlainTree(Tree others) {
  Tree tree = std::move(others);
  tree.push_back({"qv.exe", kStandInGameContent});
  std::sort(tree.begin(), tree.end());
  return tree;
}

std::string Result(const std::string& kind, int exit_code, const std::string& detail) {
  return "kind " + kind + "\nexit " + std::to_string(exit_code) + "\ndetail " + detail + "\n";
}

qv::setup::FgRouteServices QuickServices(std::chrono::milliseconds wait) {
  qv::setup::FgRouteServices services;
  services.game_wait = wait;
  services.failure_pause = std::chrono::milliseconds(10);
  return services;
}

std::string FgResult(const std::filesystem::path& work_folder) {
  return ReadTestFile(work_folder / L"fg-route-result.txt");
}

}  // namespace qv::test
