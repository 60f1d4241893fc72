#include "foundation/payload/payload-checks.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace qv::setup {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsUnderTopFolder(std::string path, std::string_view folder) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string first = path.substr(0, path.find('/'));
  while (!first.empty() && (first.back() == '.' || first.back() == ' ')) first.pop_back();
  return IsAsciiNameEqual(first, folder);
}

bool IsUnderDataFolder(std::string path) { return IsUnderTopFolder(std::move(path), "data"); }

bool IsAsciiNameEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

void CheckPayloadHasNoDataFiles(const std::vector<InstalledFile>& files) {
  for (const InstalledFile& file : files) {
    if (IsUnderDataFolder(file.path)) {
      throw std::runtime_error("The installer payload cannot contain files under data/.");
    }
  }
}

void CheckPayloadRuntimeFiles(const std::vector<InstalledFile>& files, const std::vector<std::string>& required) {
  CheckPayloadHasNoDataFiles(files);
  for (const std::string& name : required) {
    bool present = std::any_of(files.begin(), files.end(),
                               [&](const InstalledFile& file) { return IsAsciiNameEqual(file.path, name); });
    if (!present) throw std::runtime_error("The installer payload is missing required runtime file " + name + ".");
  }
}

void ValidatePayloadFiles(const std::vector<InstalledFile>& files) {
  CheckPayloadRuntimeFiles(files, {"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll"});
}

}  // namespace qv::setup
