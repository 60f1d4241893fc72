#include "routes/dlss5/dlss5-route-record.h"

#include <optional>
#include <vector>

#include "engine/route-files.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/paths.h"
#include "foundation/files/whole-file.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/json-write.h"
#include "routes/dlss5/dlss5-route-state.h"
#include "routes/dlss5/dlss5-tool-source.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// Both the tool's file and the record are small; larger ones are not read,
// as the install engine does not read them either.
std::optional<JsonValue> ReadJsonObject(const fs::path& path) {
  return ParseJsonDocument(ReadSmallFile(path, kRouteRecordMaxBytes));
}

struct ToolReport {
  std::string route;
  std::string reshade;
  std::string renodx;
  std::string dlssnr;
  std::vector<std::string> files;
};

ToolReport ReadToolReport(const JsonValue& top) {
  ToolReport report;
  report.route = JsonStringMember(top, "path");
  if (const JsonValue* components = FindJsonMember(top, "components"); components && components->is_object) {
    report.reshade = JsonStringMember(*components, "reshade");
    report.renodx = JsonStringMember(*components, "renodx");
    report.dlssnr = JsonStringMember(*components, "dlssnr");
  }
  if (const JsonValue* files = FindJsonMember(top, "files")) {
    for (const JsonValue& item : files->items) {
      if (item.is_string && !item.text.empty()) report.files.push_back(item.text);
    }
  }
  return report;
}

// Line 1 and line 2 of "tool-source.txt"; a missing line keeps the default,
// an empty source line is "pinned" again, an empty tag stays empty.
void ReadToolSource(const fs::path& work_folder, std::string& source, std::string& tag) {
  source = "pinned";
  tag = "v2.0.8";
  const std::vector<std::string> lines = ReadToolSourceLines(work_folder);
  if (lines.size() >= 1) source = lines[0];
  if (lines.size() >= 2) tag = lines[1];
  if (source.empty()) source = "pinned";
}

std::string MemberLine(std::string_view key, std::string_view value) {
  return "  " + JsonQuoted(key) + ": " + JsonQuoted(value) + ",\n";
}

}  // namespace

void WriteDlss5RouteRecord(const win_route::State& state, const std::string& reshade_sha256,
                           const FileSystemView& view) {
  const std::optional<JsonValue> top = ReadJsonObject(state.game_folder / kDlss5ToolRecordName);
  if (!top) return;
  const ToolReport report = ReadToolReport(*top);
  std::string tool_source;
  std::string tool_tag;
  ReadToolSource(state.work_folder, tool_source, tool_tag);

  std::string text = "{\n  \"format\": 1,\n";
  text += MemberLine("tool", "DLSS5-Autopilot");
  text += MemberLine("tool_source", tool_source);
  text += MemberLine("tool_tag", tool_tag);
  text += MemberLine("route", report.route);
  text += MemberLine("qv_reshade_sha256", reshade_sha256);
  text += "  \"components\": {\"reshade\": " + JsonQuoted(report.reshade) + ", \"renodx\": " +
          JsonQuoted(report.renodx) + ", \"dlssnr\": " + JsonQuoted(report.dlssnr) + "},\n";
  text += "  \"files\": [\n";
  LogDlss5Route(state,
                "components: ReShade " + report.reshade + ", renodx " + report.renodx + ", dlssnr " + report.dlssnr +
                    " (tool " + tool_source + " " + tool_tag + ")",
                view);

  for (std::size_t i = 0; i < report.files.size(); ++i) {
    const std::string& name = report.files[i];
    const RecordedToolFile file = ProbeToolFile(state.game_folder, name, view);
    const std::string size = std::to_string(file.size);
    text += RouteFileEntryLine(name, file) + (i + 1 < report.files.size() ? ",\n" : "\n");
    LogDlss5Route(state,
                  "  file " + name + " " + size + " bytes sha256 " + (file.sha256.empty() ? "unreadable" : file.sha256),
                  view);
  }
  text += "  ]\n}\n";
  WriteWholeFile(state.game_folder / kDlss5RouteRecordName, text);
}

std::string ReadRecordedReShadeHash(const win_route::State& state) {
  const std::optional<JsonValue> record = ReadJsonObject(state.game_folder / kDlss5RouteRecordName);
  return record ? JsonStringMember(*record, "qv_reshade_sha256") : std::string();
}

}  // namespace qv::setup
