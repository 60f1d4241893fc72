#include "foundation/files/stored-names.h"

#include <windows.h>

#include <optional>
#include <system_error>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

std::vector<std::wstring> Elements(const std::wstring& text) {
  std::vector<std::wstring> elements;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start) elements.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return elements;
}

// A directory search reads wildcards as patterns, and "." and ".." as the
// folder itself and the one above: it could answer with another item than
// the one named.
bool IsSearchable(const std::wstring& element) {
  return element != L"." && element != L".." && element.find_first_of(L"*?<>\"") == std::wstring::npos;
}

bool SameNameLetterCaseAside(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

enum class Lookup { kStored, kMissing, kFailed };

// The name under which `element` is stored in `folder`, and whether it is a folder.
Lookup StoredName(const fs::path& folder, const std::wstring& element, std::wstring& name, bool& is_folder) {
  WIN32_FIND_DATAW found{};
  UniqueFind search(::FindFirstFileExW(ApiPath(folder / element).c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
  if (!search) {
    switch (::GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return Lookup::kMissing;
      default:
        return Lookup::kFailed;
    }
  }
  name = found.cFileName;
  is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return Lookup::kStored;
}

std::string JoinedUtf8(const std::vector<std::wstring>& elements) {
  std::wstring text;
  for (const std::wstring& element : elements) {
    if (!text.empty()) text += L'/';
    text += element;
  }
  return WideToUtf8(text);
}

}  // namespace

bool IsStorableElement(std::wstring_view element) {
  if (element.empty() || IsUnsafePathElement(element) || IsDeviceName(element)) return false;
  if (element.back() == L'.' || element.back() == L' ') return false;
  for (wchar_t c : element) {
    if (c < 32 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) return false;
  }
  return true;
}

bool IsSystemTemporaryName(std::wstring_view element) {
  constexpr std::wstring_view kPrefix = L".qv-";
  if (element.size() < kPrefix.size()) return false;
  for (std::size_t i = 0; i < kPrefix.size(); ++i) {
    const wchar_t c = element[i];
    if ((c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c) != kPrefix[i]) return false;
  }
  return true;
}

bool IsStorableName(std::string_view relative) {
  std::wstring wide;
  try {
    wide = PathFromUtf8(relative).native();
  } catch (const std::system_error&) {
    return false;
  }
  for (std::size_t start = 0;;) {
    const std::size_t end = wide.find(L'/', start);
    const std::wstring_view element =
        std::wstring_view(wide).substr(start, end == std::wstring::npos ? end : end - start);
    if (!IsStorableElement(element) || IsSystemTemporaryName(element)) return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

bool HasShortNameForm(std::wstring_view element) {
  const std::size_t dot = element.find(L'.');
  const std::wstring_view base = element.substr(0, dot);
  if (base.size() > 8 || base.empty() || base.substr(0, base.size() - 1).find(L'~') == std::wstring_view::npos) {
    return false;
  }
  if (dot == std::wstring_view::npos) return true;
  const std::wstring_view extension = element.substr(dot + 1);
  return extension.size() <= 3 && extension.find(L'.') == std::wstring_view::npos;
}

bool IsStoredAsNamed(const fs::path& root, std::string_view relative, std::string* stored) {
  std::wstring wide;
  try {
    wide = PathFromUtf8(relative).native();
  } catch (const std::system_error&) {
    return false;
  }
  const std::vector<std::wstring> elements = Elements(wide);
  std::vector<std::wstring> as_stored;
  fs::path folder = root;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const std::wstring& element = elements[i];
    std::wstring name;
    bool is_folder = false;
    const Lookup lookup = IsSearchable(element) ? StoredName(folder, element, name, is_folder) : Lookup::kFailed;
    if (lookup == Lookup::kMissing) return true;
    if (lookup == Lookup::kStored && SameNameLetterCaseAside(name, element)) {
      // Nothing can lie below a file (a link to a folder counts as a folder).
      if (!is_folder) return true;
      as_stored.push_back(name);
      folder /= name;
      continue;
    }
    if (stored) {
      as_stored.push_back(lookup == Lookup::kStored ? name : element);
      as_stored.insert(as_stored.end(), elements.begin() + static_cast<std::ptrdiff_t>(i) + 1, elements.end());
      *stored = JoinedUtf8(as_stored);
    }
    return false;
  }
  return true;
}

}  // namespace qv::setup
