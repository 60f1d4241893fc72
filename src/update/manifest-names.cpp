#include "update/manifest-names.h"

#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/install-manifest.h"
#include "foundation/files/paths.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "gamesource/title-folders.h"

namespace qv::update {
namespace {

[[noreturn]] void Unsafe() { throw std::runtime_error("Unsafe payload path."); }

// One element as Windows stores it: a name it would trim, read as something
// else, or refuse is not the name the manifest signed.
bool IsStorableElement(std::wstring_view element) {
  if (element.empty() || qv::setup::IsUnsafePathElement(element) || qv::setup::IsDeviceName(element)) return false;
  if (element.back() == L'.' || element.back() == L' ') return false;
  for (wchar_t c : element) {
    if (c < 32 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) return false;
  }
  return true;
}

// The names of the system's own temporary folders and files in and beside an
// installation (staging, backup, repair and download folders, write probes)
// begin with ".qv-": a file of the update under such a name would be taken
// for one of them, swept as a leftover or stand in a run's way.
bool IsSystemTemporaryName(std::wstring_view element) {
  constexpr std::wstring_view kPrefix = L".qv-";
  if (element.size() < kPrefix.size()) return false;
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    const wchar_t c = element[i];
    if ((c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c) != kPrefix[i]) return false;
  }
  return true;
}

std::wstring WideName(const std::string& name) {
  try {
    return qv::setup::PathFromUtf8(name).native();
  } catch (const std::system_error&) {
    Unsafe();
  }
}

// Upper case as the file system compares names, so that names differing only
// in letter case (in any script) meet.
std::wstring FileKey(std::wstring name) {
  if (!name.empty()) ::CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

}  // namespace

void CheckManifestFileNames(const std::vector<FileEntry>& files) {
  // The engine writes this record itself; a file of that name would take its place.
  std::map<std::wstring, std::string> seen{
      {FileKey(std::wstring(qv::setup::kInstallManifestName)),
       "the installation's record " + qv::setup::WideToUtf8(qv::setup::kInstallManifestName)}};
  for (const FileEntry& file : files) {
    const std::wstring wide = WideName(file.path);
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) Unsafe();
    for (std::size_t start = 0;;) {
      const std::size_t end = wide.find(L'/', start);
      const std::wstring_view element =
          std::wstring_view(wide).substr(start, end == std::wstring::npos ? end : end - start);
      if (!IsStorableElement(element) || IsSystemTemporaryName(element)) Unsafe();
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
    if (qv::setup::IsUnderDataFolder(file.path)) {
      throw std::runtime_error("The installer payload cannot contain files under data/.");
    }
    const std::size_t slash = file.path.find('/');
    if (slash != std::string::npos && !qv::setup::TitleIdFromName(file.path.substr(0, slash)).empty()) {
      throw std::runtime_error("The update may not change the game's own files: " + file.path +
                               " lies in a title folder.");
    }
    const auto [earlier, added] = seen.emplace(FileKey(wide), file.path);
    if (!added) {
      throw std::runtime_error("The update lists " + file.path + ", which is the same file as " + earlier->second +
                               ".");
    }
  }
}

}  // namespace qv::update
