#include "engine/install-notes.h"

#include <fstream>

namespace qv::setup {
namespace {

constexpr std::string_view kWarningPrefix = "warning: ";

void AppendExtractionWarnings(const std::filesystem::path& log, std::vector<std::string>& notes) {
  // Read as bytes: a stray Ctrl-Z in the helper's output must not end the log early.
  std::ifstream in(log, std::ios::binary);
  std::string line;
  while (in && std::getline(in, line)) {
    if (line.empty()) continue;
    if (line.back() == '\r') line.pop_back();
    if (line.compare(0, kWarningPrefix.size(), kWarningPrefix) == 0) notes.push_back(line.substr(kWarningPrefix.size()));
  }
}

}  // namespace

std::vector<std::string> WriteInstallNotes(const GameSource& source, const std::filesystem::path& folder) {
  std::vector<std::string> notes = source.files.notes;
  if (source.kind == GameSourceKind::Pkg) AppendExtractionWarnings(folder / kExtractionLogName, notes);
  if (notes.empty()) return notes;
  std::string text;
  for (const std::string& note : notes) text.append(note).append("\n");
  std::ofstream out(folder / kInstallNotesName, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));  // a failure here is not reported
  return notes;
}

}  // namespace qv::setup
