#include "routes/route-result-file.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "foundation/files/paths.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {

void WriteRouteResultFile(const std::filesystem::path& file, RouteAction action, int exit_code,
                          std::string_view detail) {
  std::string text = "kind ";
  text.append(RouteActionWord(action)).append("\nexit ").append(std::to_string(exit_code)).append("\ndetail ");
  // The detail is one line: the game reads the file line by line.
  const size_t detail_start = text.size();
  text.append(detail);
  std::replace_if(text.begin() + detail_start, text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  text.append("\n");
  UniqueFile out(::CreateFileW(ToLongPath(file.native()).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return;
  DWORD written = 0;
  ::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void RemoveRouteResultFile(const std::filesystem::path& file) {
  // A link under the name goes as itself; whatever it points to stays.
  ::DeleteFileW(ToLongPath(file.native()).c_str());
}

}  // namespace qv::setup
