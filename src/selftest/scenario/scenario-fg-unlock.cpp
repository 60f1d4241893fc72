#include "selftest/scenario/scenario-fg-unlock.h"

#include <array>
#include <exception>
#include <string_view>
#include <vector>

#include "engine/path-classes.h"
#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/route-files.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/scenario/scenario-checks.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The community frame-generation proxy as the engine recognises it: a small
// file that names "dlssg_sm86".
const std::string kDefaultProxy = "MZ the community proxy dlssg_sm86 loader";

struct FgCase {
  std::string_view name;    // the case's folder, and behind "-" every token's label
  std::string_view record;  // "qv-dlssg-route.json"; empty: none
  std::string_view proxy;   // "version.dll"; empty: the community proxy
  bool proxy_kept;          // the update must leave "version.dll" in place
  bool winmm_recorded;      // "winmm.dll" is the recorded proxy and must stay
};

constexpr std::array<FgCase, 7> kCases{{
    {"shipped", "", "", false, false},
    {"recorded",
     R"({"format": 1, "complete": true, "proxy": "version.dll", "files": [{"name": "version.dll", "size": 1, "sha256": "x"}, {"name": "dlssg_sm86.ini"}, {"name": "dlssg_sm86/runtime/x.dll"}]})",
     "", true, false},
    {"recorded-live",
     R"({"complete":true,"proxy":"version.dll","files":[{"name":"dlssg_sm86.ini","sha256":"a"},{"name":"version.dll","sha256":"b"}]})",
     "", true, false},
    {"recorded-strings", R"({"complete": true, "files": ["version.dll", "dlssg_sm86/x.dll"]})", "", true, false},
    {"record-unreadable", "{ not json", "", true, false},
    {"record-other-proxy",
     R"({"complete": true, "proxy": "winmm.dll", "files": [{"name": "winmm.dll"}, {"name": "dlssg_sm86/x.dll"}]})", "",
     false, true},
    {"foreign", "", "MZ another program's version.dll (an ASI loader)", true, false},
}};

std::string ProxyOf(const FgCase& c) { return c.proxy.empty() ? kDefaultProxy : std::string(c.proxy); }

// The file list of a release that shipped "version.dll" itself.
std::string FilesJsonWithVersionDll() {
  return R"({"format": 1, "files": [{"path": "version.dll", "size": 1, "sha256": ")" + std::string(64, '0') + R"("}]})";
}

// An installation of version "1.0.7" whose manifest and file list name
// "version.dll", with the case's proxy, record and route files.
void WriteInstallation(const FgCase& c, const fs::path& install) {
  WriteFixtureFile(install / L"qv.exe", "old exe");
  WriteFixtureFile(install / L"version.dll", ProxyOf(c));
  WriteFixtureFile(install / L"CUSA09901" / L"chunk1.psarc", "PSAR");
  if (!c.record.empty()) {
    WriteFixtureFile(install / L"qv-dlssg-route.json", std::string(c.record));
    WriteFixtureFile(install / L"dlssg_sm86.ini", "[ini]");
    WriteFixtureFile(install / L"dlssg_sm86" / L"runtime" / L"x.dll", "runtime");
  }
  if (c.winmm_recorded) WriteFixtureFile(install / L"winmm.dll", kDefaultProxy);
  const std::string zero_digest(64, '0');
  WriteInstallManifest(install, "1.0.7", {{"qv.exe", zero_digest}, {"version.dll", zero_digest}}, "");
  WriteFixtureFile(install / L"qv-files.json", FilesJsonWithVersionDll());
}

// An update to "1.0.8" that ships no "version.dll".
void WriteStaging(const fs::path& staging) {
  WriteFixtureFile(staging / L"qv.exe", "new exe");
  WriteFixtureFile(staging / L"qv-install-manifest.txt", "qv-port-install 1\nversion=1.0.8\n");
}

bool AnyMessageBegins(const std::vector<std::string>& messages, std::string_view start) {
  for (const std::string& message : messages) {
    if (message.starts_with(start)) return true;
  }
  return false;
}

void CheckCommitted(const FgCase& c, const fs::path& install, const fs::path& backup, const CommitResult& result,
                    const std::string& label, std::string& tokens) {
  const fs::path proxy = install / L"version.dll";
  const bool present = ItemExists(proxy);
  if (c.proxy_kept && !present) tokens += " fg-proxy-removed" + label;
  if (!c.proxy_kept && present) tokens += " fg-proxy-kept" + label;
  if (present) Expect(ReadFileText(proxy) == ProxyOf(c), " fg-proxy-changed" + label, tokens);
  if (!c.proxy_kept) {
    const fs::path moved = backup / L"version.dll";
    Expect(ItemExists(moved) && ReadFileText(moved) == ProxyOf(c), " fg-proxy-not-in-backup" + label, tokens);
  }
  if (!c.record.empty()) {
    const bool route_files = ReadFileText(install / L"qv-dlssg-route.json") == c.record &&
                             ReadFileText(install / L"dlssg_sm86.ini") == "[ini]" &&
                             ReadFileText(install / L"dlssg_sm86" / L"runtime" / L"x.dll") == "runtime";
    Expect(route_files, " fg-record-files" + label, tokens);
  }
  if (c.winmm_recorded) {
    Expect(ReadFileText(install / L"winmm.dll") == kDefaultProxy, " fg-recorded-winmm" + label, tokens);
  }
  Expect(ReadFileText(install / L"qv.exe") == "new exe", " fg-new-files" + label, tokens);
  Expect(AnyMessageBegins(result.messages, c.proxy_kept ? "kept version.dll" : "removed version.dll"),
         " fg-note" + label, tokens);
  Expect(result.removed == (c.proxy_kept ? 0u : 1u), " fg-counts" + label, tokens);
}

std::string CheckCase(const fs::path& folder, const FgCase& c) {
  const std::string label = "-" + std::string(c.name);
  const fs::path case_folder = folder / PathFromUtf8(c.name);
  const fs::path install = case_folder / L"QV";
  const fs::path staging = case_folder / L".qv-update-t";
  const fs::path backup = case_folder / L".qv-update-old-t";
  WriteInstallation(c, install);
  WriteStaging(staging);

  std::string tokens;
  try {
    const ExistingInstall existing = ReadExistingInstall(install);
    const CommitResult result = CommitStagedFiles(staging, install, {{"qv.exe", ""}}, {"qv-install-manifest.txt"},
                                                  existing, backup, -1, nullptr, {});
    CheckCommitted(c, install, backup, result, label, tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" fg-swap" + label + ": ", error);
  }
  return tokens;
}

// The unlock's own files belong to the player in any letter case; the proxy
// name alone does not.
std::string CheckPlayerPaths() {
  const bool answers = IsPreservedUserPath("qv-dlssg-route.json") && IsPreservedUserPath("dlssg_sm86.ini") &&
                       IsPreservedUserPath("DLSSG_SM86/runtime/x.dll") && !IsPreservedUserPath("version.dll");
  return answers ? "" : " fg-player-paths";
}

// A record with another proxy claims that proxy and its files, not "version.dll".
std::string CheckRecordedFiles(const fs::path& folder) {
  const fs::path unlock = folder / L"unlockfiles";
  WriteFixtureFile(unlock / L"qv-dlssg-route.json",
                   R"({"proxy": "dbghelp.dll", "files": [{"name": "dlssg_sm86/a.dll"}]})");
  const RouteFileKeys claimed = CollectRouteFiles(unlock);
  const bool right =
      claimed.contains("dbghelp.dll") && claimed.contains("dlssg_sm86/a.dll") && !claimed.contains("version.dll");
  return right ? "" : " fg-unlock-files";
}

}  // namespace

std::string SelfTestFgUnlock(const fs::path& folder) {
  std::string tokens;
  for (const FgCase& c : kCases) tokens += CheckCase(folder, c);
  tokens += CheckPlayerPaths();
  tokens += CheckRecordedFiles(folder);
  // The folder is the test's alone; what cannot be removed now goes with the
  // self test's root.
  RemoveTree(folder);
  return tokens;
}

}  // namespace qv::setup
