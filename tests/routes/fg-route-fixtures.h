#pragma once
// Material of the frame-generation unlock tests: the system's "tar.exe"
// (the stand-in, copied into the Wine prefix's system folder), unlock
// packages built as zips, and a game folder whose work folder holds a
// package with the "tool-source.txt" that names its digest.

#include <filesystem>
#include <string>
#include <vector>

#include "route-fixtures.h"
#include "routes/fg/fg-route.h"
#include "support/zip-writer.h"

namespace qv::test {

// The zip's name of the built-in release address.
inline constexpr const wchar_t* kFgZipName = L"dlssg-release-0.4.0-x64.zip";

// Copies the tar stand-in to "<system folder>\tar.exe" when it is not there
// yet with the same content; fails the test on error.
void PlaceTarStandIn();

// SHA-256 of bytes, 64 lower-case hexadecimal characters.
std::string Sha256Hex(const std::string& bytes);

// The bytes of the unlock's proxy DLL "version.dll", "winmm.dll" or
// "dbghelp.dll", each carrying the marker "dlssg_sm86"; "version.dll" is the
// system's own DLL with the marker appended, since the started game loads it.
std::string FgProxyBytes(const std::string& name);
// How GameTree shows a file holding FgProxyBytes(name).
std::string FgProxyLabel(const std::string& name);
// Bytes of a DLL of another program (no marker).
std::string ForeignDllBytes(const std::string& name);

// The runtime files of the default package (path in the zip, content).
std::vector<std::pair<std::string, std::string>> FgRuntimeFiles();
inline constexpr const char* kFgRuntimeName = "sm86-3.10.2";
inline constexpr const char* kFgSettingsText = "[dlssg]\nenable=1\n";

// The package's "manifest.json": runtime "sm86-3.10.2" and the runtime
// files with their digests, the proxy "version.dll", "dlssg_sm86.dll" and a
// path that leaves the runtime folder ("dlssg_sm86/../escape.dll"), which
// the record must not list.
std::string FgManifestText();

// The default package: "manifest.json", "dlssg_sm86.ini", the runtime folder
// entry and files, "version.dll", "alternatives/winmm.dll" and
// "alternatives/dbghelp.dll". `leave_out` names members not to include;
// `extra` adds (or, for a name already there, replaces) members.
std::vector<ZipEntry> FgPackageEntries(const std::vector<std::string>& leave_out = {},
                                       const std::vector<ZipEntry>& extra = {});

// A game folder with the stand-in game, and its default work folder holding
// the package zip and a "tool-source.txt" ("github v0.4.0 <zip digest>").
class FgGame {
 public:
  explicit FgGame(const std::vector<ZipEntry>& package = FgPackageEntries());

  const std::filesystem::path& path() const { return game_.path(); }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return game_ / relative; }
  std::filesystem::path work() const;
  std::filesystem::path zip() const { return work() / kFgZipName; }
  const std::string& zip_digest() const { return zip_digest_; }

  // Writes the zip (and the tool source note naming its digest).
  void WritePackage(const std::vector<ZipEntry>& package);
  // The state of one operation on this game (no process id).
  qv::setup::FgRouteState State(qv::setup::RouteAction action) const;

 private:
  RouteGameFolder game_;
  std::string zip_digest_;
};

// The game folder as a user sees it, without "data" (the work folder, the
// log and the stand-in game's own records lie there); the stand-in game's
// content shows as kStandInGameContent, a proxy's as FgProxyLabel.
inline constexpr const char* kStandInGameContent = "(the stand-in game)";
std::vector<std::pair<std::string, std::string>> GameTree(const std::filesystem::path& game_folder);

using Tree = std::vector<std::pair<std::string, std::string>>;

// The record of an install of the default package under `proxy` with the
// default tool source note.
std::string DefaultRecord(const std::string& proxy);
// The game folder (GameTree) after an install of the default package under
// `proxy`, with `others` beside it.
Tree InstalledTree(const std::string& proxy, Tree others = {});
// The game folder with the stand-in game and `others` only.
Tree PlainTree(Tree others = {});
// The text of "fg-route-result.txt".
std::string Result(const std::string& kind, int exit_code, const std::string& detail);

// Services that pause briefly on failures and wait `wait` for the game.
qv::setup::FgRouteServices QuickServices(std::chrono::milliseconds wait = std::chrono::milliseconds(300));

// Reads "fg-route-result.txt" of the work folder.
std::string FgResult(const std::filesystem::path& work_folder);

}  // namespace qv::test
