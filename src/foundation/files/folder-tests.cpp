#include "foundation/files/folder-tests.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

// Creates "write-test" in the probe folder and writes its one byte; false when
// any step, the close included, fails.
bool WriteProbeFile(const std::filesystem::path& probe) {
  const std::wstring name = ToLongPath((probe / L"write-test").native());
  UniqueFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (!::WriteFile(file.get(), "x", 1, &written, nullptr) || written != 1) return false;
  if (!::FlushFileBuffers(file.get())) return false;
  // Closed by hand only to see whether the close itself reports a failure.
  return ::CloseHandle(file.release()) != FALSE;
}

}  // namespace

bool IsLinkOrJunction(const std::filesystem::path& path, const FileSystemView& view) {
  const std::filesystem::path stripped = WithoutTrailingSeparators(path);
  if (auto found = view.find_item(stripped)) {
    return found->IsReparsePoint() && IsNameSurrogateTag(found->reparse_tag);
  }
  // Roots and names a search cannot list: the attributes carry no tag, so any
  // reparse point counts, except on a bare root.
  auto attributes = view.read_attributes(path);
  return attributes && (*attributes & kAttributeReparsePoint) != 0 && HasRelativePart(stripped.native());
}

bool IsEmptyFolder(const std::filesystem::path& folder, const FileSystemView& view) {
  if (!IsFolder(folder)) return false;
  auto item = ReadItemInfo(folder, view);
  if (item && item->IsSymbolicLink()) return false;
  std::vector<FolderEntry> entries;
  if (view.list_folder(folder, entries)) return false;
  return entries.empty();
}

bool IsRealDirectory(const std::filesystem::path& path, std::error_code& error, const FileSystemView& view) {
  error.clear();
  auto item = ReadItemInfo(path, view);
  if (!item) {
    DWORD code = ::GetLastError();
    error = std::error_code(static_cast<int>(code ? code : ERROR_FILE_NOT_FOUND), std::system_category());
    return false;
  }
  return item->IsFolder() && !item->IsSymbolicLink() && !item->IsJunction();
}

void ProbeWritableFolder(const std::filesystem::path& folder, std::string_view suffix, const std::string& label,
                         const FileSystemView& view) {
  const std::string not_a_folder = "The " + label + " must be a writable folder.";
  const std::string not_writable = "The " + label + " is not writable.";

  // A junction passes: it leads to a real folder on this machine. A symbolic
  // link could lead anywhere, the network included.
  auto item = ReadItemInfo(folder, view);
  if (item && item->IsSymbolicLink()) throw std::runtime_error(not_a_folder);
  if (!IsFolder(folder)) throw std::runtime_error(not_a_folder);

  const std::filesystem::path probe = folder / (std::wstring(kWriteProbePrefix) + Utf8ToWide(suffix));
  // An existing probe folder is not ours: it fails the probe and stays.
  if (!::CreateDirectoryW(ToLongPath(probe.native()).c_str(), nullptr)) throw std::runtime_error(not_writable);
  if (!WriteProbeFile(probe)) {
    // The folder is ours: leave nothing behind in the user's folder.
    RemoveTree(probe, view);
    throw std::runtime_error(not_writable);
  }

  std::error_code error;
  if (!::RemoveDirectoryW(ToLongPath(probe.native()).c_str())) {
    DWORD code = ::GetLastError();
    error = code == ERROR_DIR_NOT_EMPTY ? RemoveTree(probe, view)
                                        : std::error_code(static_cast<int>(code), std::system_category());
  }
  if (error) throw std::filesystem::filesystem_error("remove_all", probe, error);
}

}  // namespace qv::setup
