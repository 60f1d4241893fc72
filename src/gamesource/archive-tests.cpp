#include "gamesource/archive-tests.h"

#include <string>

#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/text/text.h"
#include "gamesource/game-files.h"

namespace qv::setup {

std::string AsciiLower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

bool IsPsarcArchive(const std::filesystem::path& path) {
  return ReadFileSlice(path, 4, 0, SliceOrigin::Start) == "PSAR";
}

bool IsQarArchive(const std::filesystem::path& path) {
  std::string tail = ReadFileSlice(path, 36, -36, SliceOrigin::End);
  return tail.size() == 36 && tail[22] == 'a' && tail[23] == 'q';
}

bool IsPlausiblePathIdList(const std::filesystem::path& path) {
  auto status = ReadItemStatus(path);
  return status && !status->directory && status->size >= 32 && status->size <= kMaxPathIdListSize;
}

bool HasPackageMagic(const std::filesystem::path& path) {
  return ReadFileSlice(path, 4, 0, SliceOrigin::Start) == kPackageMagic;
}

bool HasFileExtension(std::string_view extension, const std::filesystem::path& path) {
  // path::extension follows the same rule: from the last dot, none for ".name".
  return AsciiLower(NativePathToUtf8(path.filename().extension())) == extension;
}

bool IsPathIdListName(const std::filesystem::path& path) {
  return AsciiLower(NativePathToUtf8(path.filename())).find("pathid_list") != std::string::npos;
}

}  // namespace qv::setup
