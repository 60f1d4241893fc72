#include "engine/records/files-json.h"

#include <charconv>
#include <optional>
#include <string>

#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/json.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// Leading decimal digits; anything else (true, "", -1, an overflow) reads as 0.
std::uint64_t ReadDecimal(const std::string& text) {
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  return error == std::errc() ? value : 0;
}

std::optional<PayloadEntry> ReadItem(const JsonValue& item) {
  const JsonValue* path = FindJsonMember(item, "path");
  const JsonValue* size = FindJsonMember(item, "size");
  const JsonValue* sha256 = FindJsonMember(item, "sha256");
  if (!path || !size || !sha256 || !path->is_string || sha256->text.size() != 64) return std::nullopt;
  try {
    // Every entry names one file below the installation: besides what would
    // lead out of it, an empty name or a trailing separator (the folder
    // itself, a folder) makes the list untrustworthy too.
    SafePayloadPath(fs::path(L"x"), path->text);
    if (!IsSafeRelativePath(path->text)) return std::nullopt;
  } catch (...) {
    return std::nullopt;  // unsafe or not UTF-8
  }
  PayloadEntry entry;
  entry.name = path->text;
  entry.size = ReadDecimal(size->text);
  entry.sha256 = sha256->text;
  return entry;
}

}  // namespace

std::vector<PayloadEntry> ReadFilesJson(const fs::path& path) {
  if (!IsRegularFile(path)) return {};
  // Its size, links followed, is looked at before anything is read; a file
  // too large, unreadable or empty gives no text, which no parse accepts.
  const std::string text = ReadSmallFile(path, kFilesJsonMaxBytes);
  auto document = ParseJsonDocument(text);
  if (!document) return {};
  const JsonValue* files = FindJsonMember(*document, "files");
  if (!files) return {};
  std::vector<PayloadEntry> entries;
  entries.reserve(files->items.size());
  for (const JsonValue& item : files->items) {
    auto entry = ReadItem(item);
    if (!entry) return {};  // one bad item makes the whole list untrustworthy
    entries.push_back(std::move(*entry));
  }
  return entries;
}

}  // namespace qv::setup
