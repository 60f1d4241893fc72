#include "routes/route-record-values.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "foundation/paths.h"
#include "foundation/text.h"

namespace qv::setup {
namespace {

// The name with '\' separators, as the system's long path form needs them.
std::wstring NativeName(std::string_view name) {
  std::wstring native = PathFromUtf8(name).native();
  for (wchar_t& c : native) {
    if (c == L'/') c = L'\\';
  }
  return native;
}

}  // namespace

std::string JsonStringMember(const JsonValue& object, std::string_view key) {
  const JsonValue* member = FindJsonMember(object, key);
  if (!member || member->is_object || !member->items.empty()) return {};
  return member->text;
}

std::string JsonQuoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\t': quoted += "\\t"; break;
      default:
        // Every other control character as \u00XX, which every reader
        // (ours too) turns back into the same byte.
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  quoted += '"';
  return quoted;
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

RouteFileFacts ReadRouteFileFacts(const std::filesystem::path& game_folder, std::string_view name,
                                  const FileHasher& hasher, const FileSystemView& view) {
  RouteFileFacts facts;
  if (!IsRouteFileNameInside(name)) return facts;
  const std::filesystem::path path = game_folder / NativeName(name);
  // The folder's own listing tells a file from a link, a folder or a device;
  // only when it cannot list the name do its attributes decide, and then the
  // size is unknown and any reparse point counts as a link (no tag to tell).
  std::optional<ItemInfo> info = view.find_item(WithoutTrailingSeparators(path));
  const bool listed = info.has_value();
  if (!listed) {
    std::optional<std::uint32_t> attributes = view.read_attributes(path);
    if (!attributes) return facts;
    info = ItemInfo{*attributes, 0, kUnreadableRouteFileSize};
  }
  if (info->IsFolder()) return facts;
  // A link or junction is not the route's file, whatever it points to.
  if (info->IsReparsePoint() && (!listed || IsNameSurrogateTag(info->reparse_tag))) return facts;
  facts.size = info->size;
  try {
    facts.sha256 = hasher(path);
  } catch (const std::exception&) {
    facts.sha256.clear();  // recorded as unreadable; the record is written all the same
  }
  return facts;
}

std::string RouteFileEntryLine(std::string_view name, const RouteFileFacts& facts) {
  return "    {\"name\": " + JsonQuoted(name) + ", \"size\": " + std::to_string(facts.size) +
         ", \"sha256\": " + JsonQuoted(facts.sha256) + "}";
}

}  // namespace qv::setup
