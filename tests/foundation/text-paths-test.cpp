#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "foundation/files/paths.h"
#include "foundation/text/text.h"

namespace {

using qv::setup::IsSafeRelativePath;
using qv::setup::LexicallyNormalText;
using qv::setup::NormalAbsolutePath;
using qv::setup::ToLongPath;
namespace fs = std::filesystem;

TEST(Text, LenientConversionReplacesInvalidBytes) {
  EXPECT_EQ(qv::setup::Utf8ToWide("A\xFF" "B"), L"A\xFFFD" L"B");
  EXPECT_EQ(qv::setup::Utf8ToWide(""), L"");
  EXPECT_EQ(qv::setup::WideToUtf8(std::wstring(L"x") + wchar_t(0xD800)), "x\xEF\xBF\xBD");
}

TEST(Text, StrictConversionsRaise) {
  EXPECT_THROW(qv::setup::PathFromUtf8("A\xFF" "B"), std::system_error);
  fs::path lone_surrogate(std::wstring(L"a\\") + wchar_t(0xDC00));
  EXPECT_THROW(qv::setup::NativePathToUtf8(lone_surrogate), std::system_error);
  EXPECT_THROW(qv::setup::ToGenericUtf8(lone_surrogate), std::system_error);
  EXPECT_EQ(qv::setup::ToGenericUtf8Lenient(lone_surrogate), "a/\xEF\xBF\xBD");
}

TEST(Text, RoundTripsNonAsciiText) {
  const std::string text = "caf\xC3\xA9/\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0/\xF0\x9F\x92\xBE";
  fs::path path = qv::setup::PathFromUtf8(text);
  EXPECT_EQ(path.native(), L"caf\u00e9/\u30b2\u30fc\u30e0/\U0001F4BE");
  EXPECT_EQ(qv::setup::NativePathToUtf8(path), text);
}

TEST(Text, GenericFormTurnsEveryBackslash) {
  EXPECT_EQ(qv::setup::ToGenericUtf8(fs::path(L"CUSA09901\\sce_sys\\")), "CUSA09901/sce_sys/");
  EXPECT_EQ(qv::setup::ToGenericUtf8Lenient(fs::path(L"C:\\Games\\caf\u00e9")), "C:/Games/caf\xC3\xA9");
  EXPECT_EQ(qv::setup::NativePathToUtf8(fs::path(L"a\\b/c")), "a\\b/c");
  EXPECT_EQ(qv::setup::PathFromUtf8("a/b\\c").native(), L"a/b\\c");
}

TEST(Paths, NormalAbsolutePath) {
  struct Case {
    const wchar_t* input;
    const wchar_t* expected;
  } cases[] = {
      {L"D:/x/y/../z///", L"D:\\x\\z"},
      {L"D:\\", L"D:\\"},
      {L"D:/", L"D:\\"},
      {L"D:/a/./b/", L"D:\\a\\b"},
      {L"D:/../a", L"D:\\a"},
      {L"\\\\server\\share\\dir\\..\\x\\", L"\\\\server\\share\\x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalAbsolutePath(c.input).native(), c.expected) << fs::path(c.input).string();
  }
  EXPECT_TRUE(NormalAbsolutePath(fs::path()).empty());
}

TEST(Paths, NormalAbsolutePathOfARelativePathUsesTheCurrentFolder) {
  wchar_t current[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  fs::path expected = NormalAbsolutePath(fs::path(current) / L"sub");
  EXPECT_EQ(NormalAbsolutePath(L"sub/./other/../"), expected);
}

TEST(Paths, LexicalNormalisation) {
  struct Case {
    const wchar_t* input;
    const wchar_t* expected;
  } cases[] = {
      {L"a/b/../c", L"a\\c"},   {L"a/..", L"."},         {L"./", L"."},
      {L"../a", L"..\\a"},      {L"a/b/", L"a\\b\\"},    {L"C:/..", L"C:\\"},
      {L"C:a/../..", L"C:.."},  {L"//srv/sh/./x", L"\\\\srv\\sh\\x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LexicallyNormalText(c.input), c.expected) << fs::path(c.input).string();
  }
}

TEST(Paths, SafeRelativePaths) {
  struct Case {
    const char* text;
    bool safe;
  } cases[] = {
      {"data/update-journal.txt", true}, {"a//b", true}, {"CUSA09901/sce_sys/icon0.png", true},
      {"a\\b", true},                    {"", false},    {"a/", false},
      {"./a", false},                    {"a/../b", false}, {"..", false},
      {"C:a", false},                    {"C:/a", false},   {"x/y:z", false},
      {"file.txt:stream", false},        {"/a", false},     {"\\a", false},
      {"//server/share/a", false},       {"\\\\?\\C:\\a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSafeRelativePath(c.text), c.safe) << "'" << c.text << "'";
  }
  EXPECT_THROW(IsSafeRelativePath("a/\xFF"), std::system_error);
  EXPECT_FALSE(IsSafeRelativePath(std::string_view("..\0/x", 5)));
  EXPECT_FALSE(IsSafeRelativePath(std::string_view("a\0", 2)));
  for (const char* dots : {"...", "a/.../b", "a/.. /b", ". ./x", "x/ "}) EXPECT_FALSE(IsSafeRelativePath(dots)) << dots;
  EXPECT_TRUE(IsSafeRelativePath("a./.b/c d"));
}

TEST(Paths, DeviceNames) {
  for (const wchar_t* name : {L"CON", L"nul", L"Aux", L"prn", L"COM1", L"com9", L"LPT1", L"lpt9", L"NUL.txt",
                              L"con.tar.gz", L"aux .dll", L"nul ", L"nul.", L"CONIN$", L"conout$.x", L"COM\u00B9",
                              L"lpt\u00B3.log"}) {
    EXPECT_TRUE(qv::setup::IsDeviceName(name)) << fs::path(name).string();
  }
  for (const wchar_t* name : {L"", L"CONSOLE", L"nulls", L"COM", L"COM0", L"COM10", L"LPT", L"xnul", L"auxiliary.dll",
                              L".nul", L"c0n", L"COM\u00B4"}) {
    EXPECT_FALSE(qv::setup::IsDeviceName(name)) << fs::path(name).string();
  }
  EXPECT_TRUE(qv::setup::NamesDevice("shaders/NUL.spv"));
  EXPECT_TRUE(qv::setup::NamesDevice("com1\\x.bin"));
  EXPECT_FALSE(qv::setup::NamesDevice("shaders/null.spv"));
  EXPECT_THROW(qv::setup::NamesDevice("\xff"), std::system_error);
}

TEST(Paths, LongPathForm) {
  std::wstring short_enough = L"D:\\" + std::wstring(256, L'a');
  ASSERT_EQ(short_enough.size(), 259u);
  EXPECT_EQ(ToLongPath(short_enough), short_enough);

  std::wstring drive = L"D:/" + std::wstring(257, L'b');
  ASSERT_EQ(drive.size(), 260u);
  EXPECT_EQ(ToLongPath(drive), L"\\\\?\\D:\\" + std::wstring(257, L'b'));

  std::wstring network = L"\\\\server\\share\\" + std::wstring(285, L'c');
  ASSERT_EQ(network.size(), 300u);
  EXPECT_EQ(ToLongPath(network), L"\\\\?\\UNC\\server\\share\\" + std::wstring(285, L'c'));

  std::wstring already = L"\\\\?\\D:\\" + std::wstring(293, L'd');
  ASSERT_EQ(already.size(), 300u);
  EXPECT_EQ(ToLongPath(already), already);

  std::wstring dotted = L"D:\\x\\..\\y\\.\\" + std::wstring(260, L'e');
  EXPECT_EQ(ToLongPath(dotted), L"\\\\?\\D:\\y\\" + std::wstring(260, L'e'));
}

}  // namespace

namespace {

TEST(Paths, RelativePartAfterTheRoot) {
  struct Case {
    const wchar_t* text;
    bool has;
  } cases[] = {
      {L"C:\\", false},          {L"C:", false},          {L"\\", false},
      {L"\\\\server\\", false},  {L"\\\\?\\C:\\", false}, {L"//server", false},
      {L"C:\\x", true},          {L"C:x", true},          {L"\\\\server\\share", true},
      {L"\\\\?\\C:\\x\\", true}, {L"x\\", true},          {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qv::setup::HasRelativePart(c.text), c.has) << std::filesystem::path(c.text).string();
  }
}

}  // namespace
