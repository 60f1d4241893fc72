#include "routes/fg/fg-package.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <sstream>

#include "foundation/files/file-reads.h"
#include "foundation/files/paths.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/run-process.h"
#include "qv-fg-tool.h"
#include "routes/fg/fg-route.h"
#include "routes/route-record-values.h"

namespace qv::setup {
namespace {

constexpr std::uint64_t kToolSourceReadBytes = 65536;
constexpr std::uint64_t kPackageManifestMaxBytes = 16 * 1024 * 1024;
constexpr std::int64_t kTarTimeLimitMs = 300000;

// Everything after the last "/" of the address (all of it without one).
std::string AddressFileName(const std::string& address) {
  const size_t slash = address.rfind('/');
  return slash == std::string::npos ? address : address.substr(slash + 1);
}

// One plain file name that stays in the folder it is joined to.
bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) return false;
  try {
    const std::wstring wide = PathFromUtf8(name).native();
    return !IsUnsafePathElement(wide) && !IsDeviceName(wide);
  } catch (const std::exception&) {
    return false;  // not UTF-8
  }
}

}  // namespace

std::filesystem::path FgToolZipPath(const std::filesystem::path& work_folder) {
  std::string address = GetEnvUtf8("QV_FG_TOOL_URL");
  if (address.empty()) address = kFgToolReleaseAddress;
  const std::string name = AddressFileName(address);
  // A name that could lead elsewhere names no zip at all: the work folder
  // itself never hashes to the expected digest.
  if (!IsPlainFileName(name)) return work_folder;
  return work_folder / PathFromUtf8(name);
}

std::vector<std::string> ReadFgToolSourceWords(const std::filesystem::path& work_folder) {
  std::string text;
  ScanFilePieces(work_folder / kFgToolSourceName, kToolSourceReadBytes, [&](std::string_view piece) {
    text.append(piece);
    return true;
  });
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (words.size() < 3 && in >> word) words.push_back(word);
  return words;
}

std::string ExpectedFgZipDigest(const std::filesystem::path& work_folder) {
  const std::vector<std::string> words = ReadFgToolSourceWords(work_folder);
  if (words.size() >= 3 && words[2].size() == 64) return words[2];
  return kFgToolPinnedSha256;
}

FgToolSource ReadFgToolSource(const std::filesystem::path& work_folder) {
  FgToolSource source;
  const std::vector<std::string> words = ReadFgToolSourceWords(work_folder);
  if (words.size() >= 1) source.source = words[0];
  if (words.size() >= 2) source.tag = words[1];
  return source;
}

FgPackageManifest ReadFgPackageManifest(const std::filesystem::path& work_folder) {
  FgPackageManifest manifest;
  const auto document =
      ParseJsonDocument(ReadSmallFile(work_folder / kFgPackageManifestName, kPackageManifestMaxBytes));
  if (!document) return manifest;
  if (const JsonValue* bundle = FindJsonMember(*document, "bundle"); bundle && bundle->is_object) {
    manifest.runtime = JsonStringMember(*bundle, "runtime_model");
  }
  if (const JsonValue* files = FindJsonMember(*document, "files"); files && !files->is_object && !files->is_string) {
    for (const JsonValue& item : files->items) {
      manifest.entries.push_back({JsonStringMember(item, "path"), JsonStringMember(item, "sha256")});
    }
  }
  return manifest;
}

int RunTarExtract(const std::filesystem::path& zip, const std::filesystem::path& destination,
                  const std::string& member, const std::filesystem::path& log) {
  wchar_t system_folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(system_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return -1;
  const std::atomic<bool> never_cancelled{false};
  const RunProcessResult result =
      RunProcess(std::filesystem::path(system_folder) / L"tar.exe",
                 {"-xf", NativePathToUtf8(zip), "-C", NativePathToUtf8(destination), member}, destination, log,
                 never_cancelled, kTarTimeLimitMs);
  return static_cast<std::int32_t>(result.exit_code);
}

}  // namespace qv::setup
