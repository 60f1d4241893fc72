#include "engine/records/install-notes.h"

#include <cstdint>
#include <string_view>

#include "foundation/files/file-reads.h"
#include "foundation/files/whole-file.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

constexpr std::string_view kWarningPrefix = "warning: ";

void TakeWarning(std::string_view line, std::vector<std::string>& notes) {
  if (line.empty()) return;
  if (line.back() == '\r') line.remove_suffix(1);
  if (line.substr(0, kWarningPrefix.size()) == kWarningPrefix) notes.emplace_back(line.substr(kWarningPrefix.size()));
}

void AppendExtractionWarnings(const std::filesystem::path& log, std::vector<std::string>& notes) {
  // Read as bytes (a stray Ctrl-Z in the helper's output must not end the log
  // early), piece by piece (the log has no size limit), a line cut by the end
  // of a piece carried into the next.
  std::string carried;
  ScanFilePieces(log, UINT64_MAX, [&](std::string_view piece) {
    carried.append(piece);
    std::string_view rest = carried;
    while (rest.find('\n') != std::string_view::npos) TakeWarning(TakeLine(rest), notes);
    carried.erase(0, carried.size() - rest.size());
    return true;
  });
  TakeWarning(carried, notes);
}

}  // namespace

std::vector<std::string> WriteInstallNotes(const GameSource& source, const std::filesystem::path& folder) {
  std::vector<std::string> notes = source.files.notes;
  if (source.kind == GameSourceKind::Pkg) AppendExtractionWarnings(folder / kExtractionLogName, notes);
  if (notes.empty()) return notes;
  std::string text;
  for (const std::string& note : notes) text.append(note).append("\n");
  WriteWholeFile(folder / kInstallNotesName, text);  // a failure here is not reported
  return notes;
}

}  // namespace qv::setup
