#include "foundation/files/paths.h"

#include <windows.h>

#include <system_error>
#include <vector>

#include "foundation/text/text.h"

namespace qv::setup {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// A path's text split as std::filesystem splits it on Windows.
struct PathParts {
  std::wstring root_name;         // "C:", "\\server", "\\?\C:" ...; separators as '\'
  bool root_directory = false;    // a separator after the root name
  std::vector<std::wstring> elements;  // the relative part; a trailing separator gives a last empty element
};

PathParts SplitPath(std::wstring_view text) {
  PathParts parts;
  size_t pos = 0;
  if (text.size() >= 4 && IsSeparator(text[0]) && IsSeparator(text[1]) && (text[2] == L'?' || text[2] == L'.') &&
      IsSeparator(text[3])) {
    // Device and long forms: "\\?\C:", "\\?\UNC\server", "\\.\device".
    pos = 4;
    if (text.size() >= 6 && IsAsciiLetter(text[4]) && text[5] == L':') {
      pos = 6;
    } else if (text.size() >= 8 && _wcsnicmp(text.data() + 4, L"UNC", 3) == 0 && IsSeparator(text[7])) {
      pos = 8;
      while (pos < text.size() && !IsSeparator(text[pos])) ++pos;
    } else {
      while (pos < text.size() && !IsSeparator(text[pos])) ++pos;
    }
    parts.root_name = std::wstring(text.substr(0, pos));
  } else if (text.size() >= 3 && IsSeparator(text[0]) && IsSeparator(text[1]) && !IsSeparator(text[2])) {
    pos = 2;
    while (pos < text.size() && !IsSeparator(text[pos])) ++pos;
    parts.root_name = std::wstring(text.substr(0, pos));
  } else if (text.size() >= 2 && IsAsciiLetter(text[0]) && text[1] == L':') {
    pos = 2;
    parts.root_name = std::wstring(text.substr(0, 2));
  }
  for (auto& c : parts.root_name) {
    if (c == L'/') c = L'\\';
  }
  if (pos < text.size() && IsSeparator(text[pos])) {
    parts.root_directory = true;
    while (pos < text.size() && IsSeparator(text[pos])) ++pos;
  }
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    parts.elements.emplace_back(text.substr(pos, end - pos));
    if (end == text.size()) break;
    while (end < text.size() && IsSeparator(text[end])) ++end;
    pos = end;
    if (pos == text.size()) parts.elements.emplace_back();  // trailing separator
  }
  return parts;
}

std::wstring FullPathName(const std::filesystem::path& path, std::error_code& error) {
  const std::wstring& text = path.native();
  if (text.empty()) return {};
  DWORD size = ::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
  for (int attempt = 0; attempt < 3 && size != 0; ++attempt) {
    std::wstring buffer(size, L'\0');
    DWORD written = ::GetFullPathNameW(text.c_str(), size, buffer.data(), nullptr);
    if (written == 0) break;
    if (written < size) {
      buffer.resize(written);
      return buffer;
    }
    size = written;  // the current folder changed in between: try with the new size
  }
  error = std::error_code(static_cast<int>(::GetLastError() ? ::GetLastError() : ERROR_INVALID_NAME),
                          std::system_category());
  return {};
}

}  // namespace

std::wstring LexicallyNormalText(std::wstring_view text) {
  if (text.empty()) return {};
  PathParts parts = SplitPath(text);
  bool trailing = false;
  std::vector<std::wstring> kept;
  for (size_t i = 0; i < parts.elements.size(); ++i) {
    const std::wstring& element = parts.elements[i];
    bool last = i + 1 == parts.elements.size();
    if (element.empty()) {
      trailing = true;  // only the last element can be empty
    } else if (element == L".") {
      if (last) trailing = true;
    } else if (element == L"..") {
      if (!kept.empty() && kept.back() != L"..") {
        kept.pop_back();
        if (last) trailing = true;
      } else if (kept.empty() && parts.root_directory) {
        // ".." directly after the root directory stays at the root.
      } else {
        kept.push_back(element);
      }
    } else {
      kept.push_back(element);
    }
  }
  std::wstring result = parts.root_name;
  if (parts.root_directory) result += L'\\';
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) result += L'\\';
    result += kept[i];
  }
  if (kept.empty()) {
    if (result.empty()) result = L".";
    return result;
  }
  if (trailing && kept.back() != L"..") result += L'\\';
  return result;
}

std::filesystem::path NormalAbsolutePath(const std::filesystem::path& path) {
  if (path.empty()) return {};
  std::error_code error;
  std::wstring absolute = FullPathName(path, error);
  if (error) throw std::filesystem::filesystem_error("absolute", path, error);
  std::wstring normal = LexicallyNormalText(absolute);
  // Drop trailing separators unless only the root is left.
  PathParts parts = SplitPath(normal);
  if (!parts.elements.empty() && parts.elements.back().empty()) {
    while (!normal.empty() && IsSeparator(normal.back())) normal.pop_back();
  }
  return std::filesystem::path(normal);
}

bool IsUnsafePathElement(std::wstring_view element) {
  if (element.find_first_of(std::wstring_view(L":\0", 2)) != std::wstring_view::npos) return true;
  // ".", ".." and every other name of dots and blanks only: the system trims
  // trailing dots and blanks, so "..." or ".. " can end up meaning "..".
  return !element.empty() && element.find_first_not_of(L". ") == std::wstring_view::npos;
}

bool IsSafeRelativePath(std::string_view utf8) {
  if (utf8.empty()) return false;
  std::filesystem::path path = PathFromUtf8(utf8);
  PathParts parts = SplitPath(path.native());
  if (!parts.root_name.empty() || parts.root_directory) return false;
  for (const std::wstring& element : parts.elements) {
    if (element.empty() || IsUnsafePathElement(element)) return false;
  }
  return true;
}

bool IsDeviceName(std::wstring_view element) {
  // The system looks only at the name before the first dot, blanks and dots
  // at its end dropped.
  std::wstring_view base = element.substr(0, element.find(L'.'));
  while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) base.remove_suffix(1);
  std::wstring upper(base);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" || upper == L"CONIN$" ||
      upper == L"CONOUT$") {
    return true;
  }
  if (upper.size() != 4 || (upper.compare(0, 3, L"COM") != 0 && upper.compare(0, 3, L"LPT") != 0)) return false;
  const wchar_t digit = upper[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool NamesDevice(std::string_view utf8) {
  const std::filesystem::path path = PathFromUtf8(utf8);
  for (const std::wstring& element : SplitPath(path.native()).elements) {
    if (IsDeviceName(element)) return true;
  }
  return false;
}

bool HasRelativePart(std::wstring_view text) { return !SplitPath(text).elements.empty(); }

std::wstring ToLongPath(std::wstring_view text) {
  if (text.size() <= 259) return std::wstring(text);
  if (text.substr(0, 4) == L"\\\\?\\") return std::wstring(text);
  std::error_code error;
  std::wstring absolute = FullPathName(std::filesystem::path(text), error);
  if (error || absolute.empty()) return std::wstring(text);
  std::wstring normal = LexicallyNormalText(absolute);
  if (normal.size() >= 2 && normal[0] == L'\\' && normal[1] == L'\\') return L"\\\\?\\UNC\\" + normal.substr(2);
  return L"\\\\?\\" + normal;
}

std::wstring ApiPath(const std::filesystem::path& path) { return ToLongPath(path.native()); }

}  // namespace qv::setup
