#include "update/updater/route-work-folders.h"

#include "foundation/files/paths.h"

namespace qv::setup {

std::optional<std::filesystem::path> FolderArgument(std::wstring_view text, AbsoluteFolder absolute) {
  if (text.empty()) return std::nullopt;
  try {
    return absolute(std::filesystem::path(text));
  } catch (const std::filesystem::filesystem_error&) {
    return std::nullopt;
  }
}

std::filesystem::path DefaultDlss5WorkFolder(const std::filesystem::path& game_folder) {
  return std::filesystem::path(LexicallyNormalText((game_folder / L"data" / L"dlss5-unlock").native()));
}

std::filesystem::path DefaultFgWorkFolder(const std::filesystem::path& game_folder) {
  return std::filesystem::path(LexicallyNormalText((game_folder / L"data" / L"dlssg-unlock").native()));
}

bool IsSameWorkFolder(const std::filesystem::path& given, const std::filesystem::path& expected) {
  // Both sides come out of the same normalisation ('\' separators, no trailing
  // one), so comparing the texts compares element by element.
  return !given.empty() && LexicallyNormalText(given.native()) == LexicallyNormalText(expected.native());
}

}  // namespace qv::setup
