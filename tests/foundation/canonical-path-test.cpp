#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <string>

#include "foundation/files/canonical-path.h"
#include "foundation/files/paths.h"
#include "foundation/win/elevation.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::WeaklyCanonicalPath;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
  return text;
}

// The temporary folder as the file system names it; the tests compare with it.
fs::path CanonicalBase(const TempFolder& temp) { return WeaklyCanonicalPath(temp.path()); }

TEST(WeaklyCanonical, ExistingFolderTakesTheCaseOnDisk) {
  TempFolder temp;
  fs::create_directories(temp / L"Game Folder" / L"CUSA09901");
  const fs::path base = CanonicalBase(temp);
  EXPECT_TRUE(base.is_absolute());
  EXPECT_EQ(base, qv::setup::NormalAbsolutePath(base));  // already normal, no "\\?\" prefix

  fs::path shouted(Upper((temp / L"game folder" / L"cusa09901").native()));
  EXPECT_EQ(WeaklyCanonicalPath(shouted).native(), (base / L"Game Folder" / L"CUSA09901").native());
}

TEST(WeaklyCanonical, MissingTailIsAppendedLexically) {
  TempFolder temp;
  fs::create_directories(temp / L"Install");
  WriteTestFile(temp / L"Install" / L"qv.exe", "x");
  const fs::path base = CanonicalBase(temp);
  struct Case {
    fs::path input;
    fs::path expected;
  } cases[] = {
      {temp / L"install" / L"New" / L"." / L"Sub" / L"..", base / L"Install" / L"New"},
      {temp / L"INSTALL" / L"a" / L"..\\b\\\\c\\", base / L"Install" / L"b" / L"c"},
      {temp / L"missing" / L"Deeper", base / L"missing" / L"Deeper"},
      // A file where a folder would be: the file resolves, the rest is appended.
      {temp / L"install" / L"QV.EXE" / L"sub", base / L"Install" / L"qv.exe" / L"sub"},
      {fs::path((temp / L"Install").native() + L"\\"), base / L"Install"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WeaklyCanonicalPath(c.input).native(), c.expected.native()) << c.input.string();
  }
}

TEST(WeaklyCanonical, NonAsciiAndLongPaths) {
  TempFolder temp;
  const fs::path base = CanonicalBase(temp);
  const std::wstring name = L"Caf\u00e9 \u30b2\u30fc\u30e0";
  fs::create_directories(temp / name);
  EXPECT_EQ(WeaklyCanonicalPath(temp / name).native(), (base / name).native());

  // An existing folder deeper than MAX_PATH still resolves.
  fs::path created = temp / L"Long";
  ::CreateDirectoryW(qv::setup::ToLongPath(created.native()).c_str(), nullptr);
  fs::path expected = base / L"Long";
  while (created.native().size() < 300) {
    created /= L"segment-0123456789";
    expected /= L"segment-0123456789";
    ASSERT_TRUE(::CreateDirectoryW(qv::setup::ToLongPath(created.native()).c_str(), nullptr));
  }
  // Windows names the whole deep path as stored; Wine cannot name items beyond
  // MAX_PATH, so there the deep part may keep the caller's letter case.
  fs::path shouted(Upper(created.native()));
  const std::wstring resolved = WeaklyCanonicalPath(shouted / L"missing").native();
  const std::wstring wanted = (expected / L"missing").native();
  EXPECT_EQ(resolved.substr(0, base.native().size()), base.native());
  EXPECT_EQ(::CompareStringOrdinal(resolved.c_str(), -1, wanted.c_str(), -1, TRUE), CSTR_EQUAL) << fs::path(resolved);
  if (!qv::setup::IsRunningUnderWine()) {
    EXPECT_EQ(resolved, wanted);
  }
  ::RemoveDirectoryW(qv::setup::ToLongPath(created.native()).c_str());
  while (created != temp / L"Long") {
    created = created.parent_path();
    ::RemoveDirectoryW(qv::setup::ToLongPath(created.native()).c_str());
  }
}

TEST(WeaklyCanonical, RelativePathsUseTheCurrentFolder) {
  wchar_t current[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  EXPECT_EQ(WeaklyCanonicalPath(L"not-here/x/.."), WeaklyCanonicalPath(fs::path(current)) / L"not-here");
}

TEST(WeaklyCanonical, RootsAndAbsentDrives) {
  wchar_t windows[MAX_PATH];
  ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring root = std::wstring(windows, 2) + L"\\";
  EXPECT_EQ(WeaklyCanonicalPath(root).native(), root);

  // Find a drive letter that is not mapped: nothing resolves, the lexical form stays.
  DWORD drives = ::GetLogicalDrives();
  for (int letter = 25; letter >= 3; --letter) {
    if (drives & (1u << letter)) continue;
    std::wstring absent = std::wstring(1, static_cast<wchar_t>(L'A' + letter)) + L":\\Some\\.\\Folder\\..\\x";
    EXPECT_EQ(WeaklyCanonicalPath(absent).native(), std::wstring(1, static_cast<wchar_t>(L'A' + letter)) + L":\\Some\\x");
    break;
  }
}

TEST(WeaklyCanonical, EmptyPathStaysEmpty) {
  std::error_code error;
  EXPECT_TRUE(WeaklyCanonicalPath(fs::path(), error).empty());
  EXPECT_FALSE(error);
}

// Links are followed. Wine cannot create links, so this runs on Windows only.
TEST(WeaklyCanonical, FollowsADirectoryLink) {
  TempFolder temp;
  fs::create_directories(temp / L"Target" / L"Inner");
  const fs::path link = temp / L"link";
  ::CreateSymbolicLinkW(link.c_str(), (temp / L"Target").c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  DWORD attributes = ::GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "directory links cannot be created here";
  }
  EXPECT_EQ(WeaklyCanonicalPath(link / L"inner" / L"new").native(),
            (CanonicalBase(temp) / L"Target" / L"Inner" / L"new").native());
  ::RemoveDirectoryW(link.c_str());
}

}  // namespace
