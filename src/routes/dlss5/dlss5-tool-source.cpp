#include "routes/dlss5/dlss5-tool-source.h"

#include <string_view>

#include "foundation/files/file-reads.h"
#include "foundation/text/text.h"
#include "routes/dlss5/dlss5-route-state.h"

// Set by the build (QV_DLSS5_TOOL_SHA256, checked at configure time); the
// fallback keeps a build without the setting refusing every tool.
#ifndef QV_DLSS5_TOOL_SHA256
#define QV_DLSS5_TOOL_SHA256 "0000000000000000000000000000000000000000000000000000000000000000"
#endif

namespace qv::setup {

std::filesystem::path Dlss5ToolPath(const std::filesystem::path& work_folder) {
  return work_folder / (L"autopilot-" + Utf8ToWide(kDlss5ToolTag)) / kDlss5ToolFileName;
}

std::string BuiltInDlss5ToolDigest() { return std::string(QV_DLSS5_TOOL_SHA256); }

std::vector<std::string> ReadToolSourceLines(const std::filesystem::path& work_folder) {
  const std::string text = ReadSmallFile(work_folder / kToolSourceName, kToolSourceMaxBytes);
  std::vector<std::string> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    const bool ended = rest.find('\n') != std::string_view::npos;
    std::string_view line = TakeLine(rest);
    // The note is read as text: a CR LF line end counts as one line end.
    if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  return lines;
}

std::string ExpectedDlss5ToolDigest(const std::vector<std::string>& tool_source_lines, const std::string& built_in) {
  constexpr std::size_t kDigestLength = 64;
  if (tool_source_lines.size() >= 4 && tool_source_lines[3].size() == kDigestLength) return tool_source_lines[3];
  return built_in;
}

}  // namespace qv::setup
