#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the owner goes out of scope, by the program's own tree removal:
// a link inside is removed as itself, never followed.
class TempFolder {
 public:
  explicit TempFolder(std::wstring_view tag = L"qv-test");
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

// Creates folders one below the other under `base` until the path is longer
// than `length` characters (beyond MAX_PATH through the long-path form) and
// returns the deepest. Fails the test when a folder cannot be created.
std::filesystem::path MakeDeepFolder(const std::filesystem::path& base, std::size_t length);

// Writes bytes to a file, creating its parent folders; fails the test on error.
void WriteTestFile(const std::filesystem::path& path, std::string_view bytes);

// Reads a whole file; fails the test and returns "" on error.
std::string ReadTestFile(const std::filesystem::path& path);

}  // namespace qv::test
