#include "engine/route-files.h"

#include <optional>

#include "engine/path-classes.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// A record file that can be looked at: its status (links followed) is readable
// and it is not a folder.
std::optional<ItemStatus> RecordStatus(const fs::path& path) {
  auto status = ReadItemStatus(path);
  if (!status || status->directory) return std::nullopt;
  return status;
}

// The record as a JSON object, or nothing when it is larger than 1 MiB, cannot
// be read, is not JSON, has text after its value or is not an object.
std::optional<JsonValue> ReadRecord(const fs::path& path) {
  return ParseJsonDocument(ReadSmallFile(path, kRouteRecordMaxBytes));
}

// Adds the key of a name that a record gives, unless the name could reach
// outside the game folder: the outside tool's record is not ours to trust,
// and whatever the set names is deleted on uninstall.
void InsertRecordName(RouteFileKeys& keys, const std::string& name) {
  if (name.empty()) return;
  std::string key = PathKey(name);
  try {
    if (!IsSafeRelativePath(key)) return;
  } catch (...) {
    return;  // not UTF-8
  }
  keys.insert(std::move(key));
}

const JsonValue* FilesArray(const JsonValue& record) {
  const JsonValue* files = FindJsonMember(record, "files");
  // Only an array holds items; an object or a string does not count.
  return files && !files->is_object && !files->is_string ? files : nullptr;
}

}  // namespace

RouteFileKeys CollectFrameGenRouteFiles(const fs::path& game_folder) {
  RouteFileKeys keys;
  const fs::path record_path = game_folder / kFrameGenRouteRecordName;
  if (!RecordStatus(record_path)) return keys;  // the unlock is not installed
  keys.insert("qv-dlssg-route.json");
  keys.insert("dlssg_sm86.ini");
  auto record = ReadRecord(record_path);
  if (!record) {
    for (std::string_view name : ProxyDllNames) keys.insert(std::string(name));
    return keys;
  }
  if (const JsonValue* proxy = FindJsonMember(*record, "proxy"); proxy && proxy->is_string) {
    InsertRecordName(keys, proxy->text);
  }
  if (const JsonValue* files = FilesArray(*record)) {
    for (const JsonValue& item : files->items) {
      if (item.is_string) {
        InsertRecordName(keys, item.text);
      } else if (const JsonValue* name = FindJsonMember(item, "name")) {
        // Whatever kind "name" is, its text counts (a bare token is its text).
        InsertRecordName(keys, name->text);
      }
    }
  }
  return keys;
}

RouteFileKeys CollectRouteFiles(const fs::path& game_folder) {
  RouteFileKeys keys = CollectFrameGenRouteFiles(game_folder);
  const fs::path record_path = game_folder / kDlss5ToolRecordName;
  auto status = RecordStatus(record_path);
  if (!status || status->size > kRouteRecordMaxBytes) return keys;
  keys.insert("dlss5-autopilot.json");
  if (auto record = ReadRecord(record_path)) {
    if (const JsonValue* files = FilesArray(*record)) {
      for (const JsonValue& item : files->items) {
        if (item.is_string) InsertRecordName(keys, item.text);
      }
    }
  }
  return keys;
}

}  // namespace qv::setup
