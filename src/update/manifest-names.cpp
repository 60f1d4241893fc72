#include "update/manifest-names.h"

#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/path-classes.h"
#include "engine/records/install-manifest.h"
#include "foundation/files/paths.h"
#include "foundation/files/stored-names.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"

namespace qv::update {
namespace {

[[noreturn]] void Unsafe() { throw std::runtime_error("Unsafe payload path."); }

// Only the port's own files: the player's and the game's are never part of a
// release, and the engine would refuse them only after the download.
void CheckOwner(const std::string& name) {
  switch (qv::setup::OwnerOfName(name)) {
    case qv::setup::NameOwner::kGame:
      throw std::runtime_error("The update may not change the game's own files: " + name +
                               (qv::setup::LiesInTitleFolder(name) ? " lies in a title folder." : " is part of them."));
    case qv::setup::NameOwner::kPlayer:
      throw std::runtime_error("The update may not change the player's own files: " + name + " is one of them.");
    case qv::setup::NameOwner::kPort:
      break;
  }
}

// A short name form may come to stand for a folder or file that this very
// update creates, once it exists, when no check made before the first move
// could see it.
[[noreturn]] void ShortNameForm(const std::string& name, std::wstring_view element) {
  throw std::runtime_error("The update lists " + name + ", whose " + qv::setup::WideToUtf8(element) +
                           " has the form of a short (8.3) name, which may stand for another folder or file.");
}

// A name that Windows would store under another one the entry does not
// give: a back slash taken for a folder separator, or dots and blanks at the
// end of an element dropped ("mods./pack.pak" is "mods/pack.pak"). Refused
// with a sentence that names the entry, what it would reach and why, when
// that other name is one Windows stores as it stands; any other such name is
// merely unsafe.
void RefuseAlias(const std::string& name) {
  std::string stored;
  bool trimmed = false;
  for (std::size_t start = 0;;) {
    const std::size_t end = name.find_first_of("/\\", start);
    const std::string_view element =
        std::string_view(name).substr(start, end == std::string::npos ? end : end - start);
    const std::size_t kept = element.find_last_not_of(". ");
    const std::string_view left = kept == std::string_view::npos ? std::string_view() : element.substr(0, kept + 1);
    trimmed = trimmed || left.size() != element.size();
    stored += left;
    if (end == std::string::npos) break;
    stored += '/';
    start = end + 1;
  }
  if (stored == name) return;
  if (!qv::setup::IsStorableName(stored)) Unsafe();
  std::string why;
  if (name.find('\\') != std::string::npos) why = "it takes a back slash for a folder separator";
  if (trimmed) why += std::string(why.empty() ? "it" : " and") + " drops the dots and blanks at the end of a name";
  throw std::runtime_error("The update lists " + name + ", which Windows would take for " + stored + ": " + why + ".");
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
    RefuseAlias(file.path);
    const std::wstring wide = WideName(file.path);
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) Unsafe();
    for (std::size_t start = 0;;) {
      const std::size_t end = wide.find(L'/', start);
      const std::wstring_view element =
          std::wstring_view(wide).substr(start, end == std::wstring::npos ? end : end - start);
      if (!qv::setup::IsStorableElement(element) || qv::setup::IsSystemTemporaryName(element)) Unsafe();
      if (qv::setup::HasShortNameForm(element)) ShortNameForm(file.path, element);
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
    if (qv::setup::IsUnderDataFolder(file.path)) {
      throw std::runtime_error("The installer payload cannot contain files under data/.");
    }
    CheckOwner(file.path);
    const auto [earlier, added] = seen.emplace(FileKey(wide), file.path);
    if (!added) {
      throw std::runtime_error("The update lists " + file.path + ", which is the same file as " + earlier->second +
                               ".");
    }
  }
}

}  // namespace qv::update
