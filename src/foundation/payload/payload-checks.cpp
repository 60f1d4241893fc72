#include "foundation/payload/payload-checks.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "foundation/files/stored-names.h"
#include "foundation/text/text.h"

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

void CheckPayloadHasNoShortNameForms(const std::vector<InstalledFile>& files) {
  for (const InstalledFile& file : files) {
    // Lenient: a name that is not UTF-8 cannot be written at all.
    const std::wstring wide = Utf8ToWide(file.path);
    for (std::size_t start = 0;;) {
      const std::size_t end = wide.find_first_of(L"/\\", start);
      const std::wstring_view element =
          std::wstring_view(wide).substr(start, end == std::wstring::npos ? end : end - start);
      if (HasShortNameForm(element)) {
        throw std::runtime_error("The installer payload lists " + file.path + ", whose " + WideToUtf8(element) +
                                 " has the form of a short (8.3) name, which may stand for another folder or file.");
      }
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
  }
}

void ValidatePayloadFiles(const std::vector<InstalledFile>& files) {
  CheckPayloadHasNoDataFiles(files);
  CheckPayloadHasNoShortNameForms(files);
  CheckPayloadRuntimeFiles(files, {"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll"});
}

}  // namespace qv::setup
