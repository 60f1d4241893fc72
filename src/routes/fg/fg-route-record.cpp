#include "routes/fg/fg-route-record.h"

#include "engine/path-classes.h"
#include "engine/route-files.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/whole-file.h"
#include "foundation/text/json-write.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

constexpr std::string_view kRuntimePrefix = "dlssg_sm86/";

// The package's runtime files: what lies in the runtime folder (the bare
// "dlssg_sm86/" names the folder itself), case-sensitively as the package
// spells it, and never a path that leaves the game folder.
bool IsListedRuntimePath(const std::string& path) {
  return path.compare(0, kRuntimePrefix.size(), kRuntimePrefix) == 0 && IsRouteFileNameInside(path);
}

}  // namespace

RecordedToolFile WriteRouteFileEntry(const std::filesystem::path& game_folder, std::string& out,
                                     std::string_view name, const FileSystemView& view) {
  RecordedToolFile file = ProbeToolFile(game_folder, std::string(name), view);
  out += RouteFileEntryLine(name, file);
  out += ",\n";
  return file;
}

FgRecordSummary WriteFgRouteRecord(const FgRouteState& state, const std::string& proxy_name,
                                   const FgPackageManifest& manifest, const FileSystemView& view) {
  FgRecordSummary summary;
  std::string entries;
  WriteRouteFileEntry(state.game_folder, entries, proxy_name, view);
  WriteRouteFileEntry(state.game_folder, entries, WideToUtf8(kFgSettingsFileName), view);
  summary.file_count = 2;
  for (const FgPackageEntry& entry : manifest.entries) {
    if (!IsListedRuntimePath(entry.path)) continue;
    const RecordedToolFile file = WriteRouteFileEntry(state.game_folder, entries, entry.path, view);
    if (!file.sha256.empty() && !entry.sha256.empty() && file.sha256 != entry.sha256) {
      LogFgRoute(state.game_folder, "WARNING file " + entry.path + " sha " + file.sha256 +
                                        " does not match the package " + entry.sha256,
                 view);
    }
    ++summary.file_count;
  }
  entries.resize(entries.size() - 2);  // the last entry's ",\n"

  const FgToolSource tool = ReadFgToolSource(state.work_folder);
  summary.source = tool.source.empty() ? "pinned" : tool.source;
  summary.tag = tool.tag;

  std::string record = "{\n  \"format\": 1,\n  \"complete\": true,\n  \"tool\": \"dlssg_for_sm86\",\n";
  record += "  \"tool_source\": " + JsonQuoted(summary.source) + ",\n";
  record += "  \"tool_tag\": " + JsonQuoted(summary.tag) + ",\n";
  record += "  \"runtime\": " + JsonQuoted(manifest.runtime) + ",\n";
  record += "  \"proxy\": " + JsonQuoted(proxy_name) + ",\n";
  record += "  \"files\": [\n" + entries + "\n  ]\n}\n";
  // Written as a new file where the old one was removed as itself: a link
  // planted under the record's name never redirects the write.
  WriteWholeFile(state.game_folder / kFrameGenRouteRecordName, record);
  return summary;
}

std::string RecordedProxyName(const std::filesystem::path& game_folder) {
  const auto record = ParseJsonDocument(ReadSmallFile(game_folder / kFrameGenRouteRecordName, kRouteRecordMaxBytes));
  if (!record) return {};
  std::string proxy = JsonStringMember(*record, "proxy");
  for (std::string_view name : ProxyDllNames) {
    if (proxy == name) return proxy;
  }
  return {};
}

}  // namespace qv::setup
