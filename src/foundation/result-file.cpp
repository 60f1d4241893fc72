#include "foundation/result-file.h"

#include <stdexcept>
#include <string>

#include "foundation/files/whole-file.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace

bool ResultFileAcceptable(const std::filesystem::path& file, const FileSystemView& view) {
  std::optional<ItemInfo> item = view.find_item(WithoutTrailingSeparators(file));
  if (!item) {
    // Nothing to replace, unless something the search cannot name (a drive
    // root) stands there: its kind and size are unknown, so it is refused.
    return !view.read_attributes(file).has_value();
  }
  if (item->IsReparsePoint() && (item->reparse_tag == 0 || IsNameSurrogateTag(item->reparse_tag))) return false;
  if (item->IsFolder()) return false;
  return item->size <= kMaxReplacedResultFile;
}

void RequireAcceptableResultFile(const std::filesystem::path& file) {
  if (!ResultFileAcceptable(file)) throw std::runtime_error(kRefusedResultFileMessage);
}

void WriteResultFile(const std::filesystem::path& file, std::string_view text) {
  if (!WriteWholeFile(file, WithCrLf(text))) {
    throw std::runtime_error("Could not write the result file " + WideToUtf8(file.native()) + ".");
  }
}

bool WriteGuardedResultFile(const std::filesystem::path& file, std::string_view text,
                            const FileSystemView& view) noexcept {
  try {
    if (!ResultFileAcceptable(file, view)) return false;
    return WriteWholeFile(file, WithCrLf(text));
  } catch (...) {
    // Only an allocation can fail here; the caller's exit code still reports the failure.
    return false;
  }
}

bool WriteRegularResultFile(const std::filesystem::path& file, std::string_view text,
                            const FileSystemView& view) noexcept {
  try {
    std::optional<ItemInfo> item = view.find_item(WithoutTrailingSeparators(file));
    if (!item) {
      // Something the directory search cannot name (a root, a device) is no
      // file to replace.
      if (view.read_attributes(file).has_value()) return false;
    } else if (item->IsReparsePoint() || item->IsFolder()) {
      return false;
    }
    return WriteWholeFile(file, WithCrLf(text));
  } catch (...) {
    return false;
  }
}

}  // namespace qv::setup
