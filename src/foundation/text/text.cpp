#include "foundation/text/text.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <system_error>

namespace qv::setup {
namespace {

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

int CheckedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) {
    throw std::system_error(std::make_error_code(std::errc::invalid_argument), "text too long to convert");
  }
  return static_cast<int>(size);
}

std::wstring ToWide(std::string_view utf8, DWORD flags) {
  if (utf8.empty()) return {};
  int length = CheckedLength(utf8.size());
  int needed = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, nullptr, 0);
  if (needed <= 0) ThrowLastError("UTF-8 to UTF-16");
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, wide.data(), needed) != needed) {
    ThrowLastError("UTF-8 to UTF-16");
  }
  return wide;
}

std::string ToUtf8(std::wstring_view wide, DWORD flags) {
  if (wide.empty()) return {};
  int length = CheckedLength(wide.size());
  int needed = ::WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) ThrowLastError("UTF-16 to UTF-8");
  std::string utf8(static_cast<size_t>(needed), '\0');
  if (::WideCharToMultiByte(CP_UTF8, flags, wide.data(), length, utf8.data(), needed, nullptr, nullptr) != needed) {
    ThrowLastError("UTF-16 to UTF-8");
  }
  return utf8;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(utf8, 0); }

std::string WideToUtf8(std::wstring_view wide) { return ToUtf8(wide, 0); }

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(ToWide(utf8, MB_ERR_INVALID_CHARS));
}

std::string NativePathToUtf8(const std::filesystem::path& path) {
  return ToUtf8(path.native(), WC_ERR_INVALID_CHARS);
}

std::string ToGenericUtf8(const std::filesystem::path& path) {
  std::string text = NativePathToUtf8(path);
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::string ToGenericUtf8Lenient(const std::filesystem::path& path) {
  std::string text = WideToUtf8(path.native());
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::string_view TakeLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return line;
}

std::string CountOf(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace qv::setup
