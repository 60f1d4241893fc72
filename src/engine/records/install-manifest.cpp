#include "engine/records/install-manifest.h"

#include <cstdint>
#include <stdexcept>
#include <system_error>

#include "foundation/files/file-reads.h"
#include "foundation/files/rename-item.h"
#include "foundation/files/whole-file.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kVersionKey = "version=";
constexpr std::string_view kSourceKey = "source=";
constexpr std::string_view kFileKey = "file=";
constexpr size_t kDigestLength = 64;
// "file=", the digest, one blank: the path starts here.
constexpr size_t kFilePathStart = kFileKey.size() + kDigestLength + 1;

std::string RenderManifest(const std::string& version, const std::vector<InstalledFile>& files,
                           const std::string& source) {
  std::string text;
  text.append(kInstallManifestHeader).append("\n");
  text.append(kVersionKey).append(version).append("\n");
  // A source with a line break would forge lines of its own; it is left out.
  if (!source.empty() && source.find_first_of("\r\n") == std::string::npos) {
    text.append(kSourceKey).append(source).append("\n");
  }
  for (const InstalledFile& file : files) {
    text.append(kFileKey).append(file.sha256).append(" ").append(file.path).append("\n");
  }
  return text;
}

bool StartsWith(std::string_view line, std::string_view key) { return line.substr(0, key.size()) == key; }

}  // namespace

void WriteInstallManifest(const fs::path& folder, const std::string& version, const std::vector<InstalledFile>& files,
                          const std::string& source) {
  const fs::path target = folder / kInstallManifestName;
  const fs::path staged = folder / (std::wstring(kInstallManifestName) + L".new");
  if (!WriteWholeFile(staged, RenderManifest(version, files, source))) {
    throw std::runtime_error("Could not write the install manifest.");
  }
  if (std::error_code error = RenameItem(staged, target, ExistingTarget::kReplace)) {
    throw fs::filesystem_error("rename", staged, target, error);
  }
}

std::optional<InstallManifest> ReadInstallManifest(const fs::path& folder) {
  // Through the long-path form like every other file access: an installation
  // deeper than MAX_PATH must not read as one without a manifest.
  const std::string content = ReadSmallFile(folder / kInstallManifestName, UINT64_MAX);
  std::string_view text = content;
  if (text.empty() || TakeLine(text) != kInstallManifestHeader) return std::nullopt;

  InstallManifest manifest;
  while (!text.empty()) {
    std::string_view line = TakeLine(text);
    if (line.empty()) continue;
    if (line.back() == '\r') line.remove_suffix(1);
    if (StartsWith(line, kVersionKey)) {
      manifest.version = line.substr(kVersionKey.size());
    } else if (StartsWith(line, kSourceKey)) {
      manifest.source = line.substr(kSourceKey.size());
    } else if (StartsWith(line, kFileKey) && line.size() > kFilePathStart) {
      InstalledFile file;
      file.sha256 = line.substr(kFileKey.size(), kDigestLength);
      file.path = line.substr(kFilePathStart);
      SafePayloadPath(folder, file.path);  // a record must not lead out of its folder
      manifest.files.push_back(std::move(file));
    }
  }
  return manifest;
}

}  // namespace qv::setup
