#include "update/download-estimate.h"

#include <exception>
#include <map>
#include <string>

#include "engine/records/files-json.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"

namespace qv::update {
namespace {

using InstalledDigests = std::map<std::string, std::string, std::less<>>;

// Records above this size are not read for an estimate.
constexpr std::uint64_t kRecordLimit = 16u * 1024 * 1024;
// A download of parts pays off only up to this share of the whole file.
constexpr double kPartsShareLimit = 0.7;

constexpr std::string_view kFileLinePrefix = "file=";
constexpr std::size_t kDigestStart = 5;
constexpr std::size_t kDigestLength = 64;
constexpr std::size_t kPathStart = 70;  // after the digest and one separator

// "file=<digest> <path>" lines of the install manifest; a later line for a
// path replaces an earlier one.
InstalledDigests ReadManifestDigests(const std::string& text) {
  InstalledDigests digests;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() <= kPathStart || !line.starts_with(kFileLinePrefix)) continue;
    digests.insert_or_assign(std::string(line.substr(kPathStart)), std::string(line.substr(kDigestStart, kDigestLength)));
  }
  return digests;
}

// Items of the file list's "files" with a string "path" and a 64-byte "sha256".
InstalledDigests ReadFileListDigests(const std::string& text) {
  InstalledDigests digests;
  std::optional<qv::setup::JsonValue> document = qv::setup::ParseJsonDocument(text);
  if (!document) return digests;
  const qv::setup::JsonValue* files = qv::setup::FindJsonMember(*document, "files");
  if (files == nullptr) return digests;
  for (const qv::setup::JsonValue& item : files->items) {
    const qv::setup::JsonValue* path = qv::setup::FindJsonMember(item, "path");
    const qv::setup::JsonValue* sha256 = qv::setup::FindJsonMember(item, "sha256");
    if (path == nullptr || !path->is_string || sha256 == nullptr || sha256->text.size() != kDigestLength) continue;
    digests.insert_or_assign(path->text, sha256->text);
  }
  return digests;
}

InstalledDigests ReadInstalledDigests(const std::filesystem::path& folder) {
  const std::filesystem::path manifest = folder / qv::setup::kInstallManifestName;
  if (qv::setup::ReadItemStatus(manifest)) return ReadManifestDigests(qv::setup::ReadSmallFile(manifest, kRecordLimit));
  return ReadFileListDigests(qv::setup::ReadSmallFile(folder / qv::setup::kFilesJsonName, kRecordLimit));
}

// Unchanged by the records: listed with the same digest, and the file is there
// with the expected size. A path that could leave the folder never counts.
bool LooksUnchanged(const std::filesystem::path& folder, const InstalledDigests& installed, const FileEntry& entry) {
  auto listed = installed.find(entry.path);
  if (listed == installed.end() || listed->second != entry.sha256) return false;
  try {
    if (!qv::setup::IsSafeRelativePath(entry.path)) return false;
    std::optional<qv::setup::ItemStatus> status = qv::setup::ReadItemStatus(folder / qv::setup::PathFromUtf8(entry.path));
    return status && !status->directory && status->size == entry.size;
  } catch (const std::exception&) {
    return false;  // not UTF-8: no such installed file
  }
}

}  // namespace

std::uint64_t EstimateDownloadBytes(const UpdateManifest& manifest, std::string_view platform,
                                    const std::filesystem::path& installFolder) {
  auto package = manifest.packages.find(std::string(platform));
  if (package == manifest.packages.end()) return 0;
  const std::uint64_t package_size = package->second.size;
  auto files = manifest.files.find(std::string(platform));
  if (files == manifest.files.end() || files->second.empty()) return package_size;

  const InstalledDigests installed = ReadInstalledDigests(installFolder);
  std::uint64_t sum = 0;
  for (const FileEntry& entry : files->second) {
    if (entry.packed == 0) return package_size;  // only the whole file brings it
    if (LooksUnchanged(installFolder, installed, entry)) continue;
    sum = entry.packed > UINT64_MAX - sum ? UINT64_MAX : sum + entry.packed;
  }
  if (static_cast<double>(sum) > kPartsShareLimit * static_cast<double>(package_size)) return package_size;
  return sum;
}

}  // namespace qv::update
