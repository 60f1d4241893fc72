#include "gamesource/title-folders.h"

#include <algorithm>

#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "gamesource/archive-tests.h"
#include "gamesource/known-titles.h"

namespace qv::setup {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

struct TitleFolderCandidate {
  int score = 0;
  std::string name;
  std::filesystem::path path;
};

int ScoreTitleFolder(const std::string& name) {
  std::string id = TitleIdFromName(name);
  if (id.empty()) return 1000;
  for (size_t k = 0; k < KnownTitles.size(); ++k) {
    if (id == KnownTitles[k].title_id) return static_cast<int>(2 * k) + (name == id ? 0 : 1);
  }
  return 500;
}

}  // namespace

std::string TitleIdFromName(std::string_view name) {
  if (name.size() < 9) return {};
  for (size_t i = 0; i < 4; ++i) {
    if (!IsAsciiLetter(name[i])) return {};
  }
  for (size_t i = 4; i < 9; ++i) {
    if (!IsAsciiDigit(name[i])) return {};
  }
  if (name.size() > 9 && (IsAsciiLetter(name[9]) || IsAsciiDigit(name[9]))) return {};
  std::string id(name.substr(0, 9));
  for (char& c : id) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return id;
}

bool HasGameArchives(const std::filesystem::path& folder) {
  std::filesystem::path chunk = folder / L"chunk1.psarc";
  if (!IsRegularFile(chunk) || !IsPsarcArchive(chunk)) return false;
  std::filesystem::path texture = folder / L"texture.qar";
  return IsRegularFile(texture) && IsQarArchive(texture);
}

std::vector<std::filesystem::path> SearchTitleFolders(const std::filesystem::path& folder, std::size_t limit) {
  std::vector<TitleFolderCandidate> candidates;
  for (const FolderEntry& entry : ListEntries(folder)) {
    // The limit counts candidates in listing order, before any ranking.
    if (candidates.size() >= limit) break;
    auto status = EntryStatus(folder, entry);
    if (!status || !status->directory) continue;
    std::string name = NativePathToUtf8(std::filesystem::path(entry.name));
    if (name == "sce_module" || name == "sce_sys") continue;
    candidates.push_back({ScoreTitleFolder(name), std::move(name), folder / entry.name});
  }
  std::sort(candidates.begin(), candidates.end(), [](const TitleFolderCandidate& a, const TitleFolderCandidate& b) {
    return a.score != b.score ? a.score < b.score : a.name < b.name;
  });
  std::vector<std::filesystem::path> paths;
  paths.reserve(candidates.size());
  for (auto& candidate : candidates) paths.push_back(std::move(candidate.path));
  return paths;
}

std::string FindTitleFolder(const std::filesystem::path& root) {
  if (HasGameArchives(root / PathFromUtf8(DefaultTitleId))) {
    return std::string(DefaultTitleId);
  }
  for (const std::filesystem::path& path : SearchTitleFolders(root, kTitleFolderSearchLimit)) {
    std::string name = ToGenericUtf8(path.filename());
    if (!TitleIdFromName(name).empty() && HasGameArchives(path)) return name;
  }
  return {};
}

}  // namespace qv::setup
