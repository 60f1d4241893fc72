#pragma once
// The DLSS 5 tool in the route's work folder and the note "tool-source.txt"
// that whoever placed it writes beside it: line 1 where the tool came from,
// line 2 its tag (both go into the route record), line 4 the SHA-256 the tool
// must have in this installation (line 3 is not used by the route).

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::setup {

inline constexpr std::wstring_view kDlss5ToolFileName = L"dlss5-autopilot.exe";
inline constexpr std::wstring_view kToolSourceName = L"tool-source.txt";

// A note larger than this is not a note: it counts as missing (64 KiB).
inline constexpr std::size_t kToolSourceMaxBytes = 65536;

// work\autopilot-2.0.8\dlss5-autopilot.exe
std::filesystem::path Dlss5ToolPath(const std::filesystem::path& work_folder);

// The SHA-256 of the supported tool release compiled into this build (a build
// setting; 64 lowercase hexadecimal characters).
std::string BuiltInDlss5ToolDigest();

// The lines of work\"tool-source.txt" as a text-mode read gives them: split at
// LF, a CR before each LF dropped, a last line without LF still a line, no
// empty line after a final LF. None when the file is missing, not a file or
// larger than kToolSourceMaxBytes.
std::vector<std::string> ReadToolSourceLines(const std::filesystem::path& work_folder);

// Line 4 of the note when there is one and it has exactly 64 characters,
// taken as it stands (so a digest in capitals never matches); otherwise the
// built-in digest.
std::string ExpectedDlss5ToolDigest(const std::vector<std::string>& tool_source_lines, const std::string& built_in);

}  // namespace qv::setup
