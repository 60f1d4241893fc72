#include "routes/route-record-values.h"

#include <exception>
#include <optional>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/paths.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/json-write.h"

namespace qv::setup {

std::string JsonStringMember(const JsonValue& object, std::string_view key) {
  const JsonValue* member = FindJsonMember(object, key);
  if (!member || member->is_object || !member->items.empty()) return {};
  return member->text;
}

RecordedToolFile ProbeToolFile(const std::filesystem::path& game_folder, const std::string& name,
                               const FileSystemView& view) {
  RecordedToolFile recorded;
  std::filesystem::path path;
  try {
    path = SafePayloadPath(game_folder, name);
    if (NamesDevice(name)) return recorded;
  } catch (const std::exception&) {
    return recorded;  // could leave the game folder, or is no UTF-8
  }
  // A directory search gives the size with the attributes; when the search
  // cannot list the item (no right to list its folder) but its attributes can
  // be read, it is a file whose size is unknown.
  if (const std::optional<ItemInfo> found = view.find_item(path)) {
    if (found->IsFolder() || (found->IsReparsePoint() && IsNameSurrogateTag(found->reparse_tag))) return recorded;
    recorded.size = found->size;
  } else if (const std::optional<std::uint32_t> attributes = view.read_attributes(path)) {
    if ((*attributes & (kAttributeDirectory | kAttributeReparsePoint)) != 0) return recorded;
    recorded.size = kUnknownFileSize;
  } else {
    return recorded;  // missing
  }
  recorded.sha256 = HashFileOrEmpty(path);
  return recorded;
}

bool IsRouteFileNameInside(std::string_view name) {
  // A folder named with its trailing separator is the folder itself.
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.remove_suffix(1);
  try {
    return IsSafeRelativePath(name) && !NamesDevice(name);
  } catch (const std::exception&) {
    return false;  // not UTF-8: no file of the game folder has such a name
  }
}

std::string RouteFileEntryLine(std::string_view name, const RecordedToolFile& file) {
  return "    {\"name\": " + JsonQuoted(name) + ", \"size\": " + std::to_string(file.size) +
         ", \"sha256\": " + JsonQuoted(file.sha256) + "}";
}

}  // namespace qv::setup
