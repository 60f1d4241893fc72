#include "gamesource/pkg-reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game-fixtures.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-pkg.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::BuildPkgImage;
using qv::test::PkgPart;
using qv::test::PutBigEndian;
using qv::test::PngBytes;
using qv::test::TempFolder;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

std::optional<std::string> PictureOf(const TempFolder& temp, const std::string& image, const char* name) {
  auto file = temp / L"game.pkg";
  WriteTestFile(file, image);
  return ReadPkgPicture(file, name);
}

TEST(PkgReader, PngSignature) {
  EXPECT_TRUE(HasPngSignature(PngBytes("")));
  EXPECT_FALSE(HasPngSignature(PngBytes("").substr(0, 7)));
  EXPECT_FALSE(HasPngSignature("GIF89a..."));
}

TEST(PkgReader, IconOfTheTestPackage) {
  TempFolder temp;
  const std::string icon = PngBytes("icon data");
  EXPECT_EQ(PictureOf(temp, BuildTestPkg(icon, false), "icon0.png"), icon);
  EXPECT_FALSE(PictureOf(temp, BuildTestPkg(icon, true), "icon0.png"));   // encrypted
  EXPECT_FALSE(PictureOf(temp, BuildTestPkg(icon, false), "pic1.png"));   // no such entry
  EXPECT_FALSE(PictureOf(temp, BuildTestPkg(icon, false), "icon0.pn"));   // names compared whole
  EXPECT_FALSE(PictureOf(temp, BuildTestPkg("not a png picture", false), "icon0.png"));
}

TEST(PkgReader, EntryRules) {
  TempFolder temp;
  const std::string picture = PngBytes("title");
  struct Case {
    const char* name;
    std::vector<PkgPart> parts;
    std::optional<std::string> expected;
  } cases[] = {
      {"encrypted first, plain second",
       {{0x1006, 0x80000000u, "pic1.png", PngBytes("secret")}, {0x1007, 0, "pic1.png", picture}},
       picture},
      {"not a PNG, nothing after", {{0x1006, 0, "pic1.png", "JFIF data here"}}, std::nullopt},
      {"not a PNG, then a PNG", {{0x1006, 0, "pic1.png", "JFIF data here"}, {0x1007, 0, "pic1.png", picture}},
       picture},
      {"8 bytes of signature only", {{0x1006, 0, "pic1.png", PngBytes("")}}, PngBytes("")},
      {"7 bytes", {{0x1006, 0, "pic1.png", PngBytes("").substr(0, 7)}}, std::nullopt},
      {"system id below 0x1000", {{0x0FFF, 0, "pic1.png", picture}}, std::nullopt},
      {"first of two plain entries", {{0x1006, 0, "pic1.png", picture}, {0x1007, 0, "pic1.png", PngBytes("2")}},
       picture},
      {"other names around it",
       {{0x1000, 0, "icon0.png", PngBytes("icon")}, {0x1006, 0, "pic1.png", picture}, {0x1008, 0, "pic0.png", ""}},
       picture},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureOf(temp, BuildPkgImage(c.parts), "pic1.png"), c.expected) << c.name;
}

TEST(PkgReader, HeaderAndTableBounds) {
  TempFolder temp;
  const std::string picture = PngBytes("title");
  const std::string good = BuildPkgImage({{0x1006, 0, "pic1.png", picture}});
  ASSERT_EQ(PictureOf(temp, good, "pic1.png"), picture);

  auto with_count = [&](std::uint32_t count) {
    std::string image = good;
    PutBigEndian(image, 0x10, count);
    return image;
  };
  EXPECT_FALSE(PictureOf(temp, with_count(0), "pic1.png"));
  EXPECT_FALSE(PictureOf(temp, with_count(257), "pic1.png"));
  EXPECT_FALSE(PictureOf(temp, with_count(0xFFFFFFFFu), "pic1.png"));
  // 256 entries: the table runs past the end of this small file.
  EXPECT_FALSE(PictureOf(temp, with_count(256), "pic1.png"));

  std::string table_past_end = good;
  PutBigEndian(table_past_end, 0x18, static_cast<std::uint32_t>(good.size() - 32));
  EXPECT_FALSE(PictureOf(temp, table_past_end, "pic1.png"));
  std::string bad_magic = good;
  bad_magic[1] = 'c';
  EXPECT_FALSE(PictureOf(temp, bad_magic, "pic1.png"));
  EXPECT_FALSE(PictureOf(temp, good.substr(0, 31), "pic1.png"));

  // Names table sizes: 0 bytes, and 1 MiB + 1 byte, are refused.
  const size_t names_size_field = 0x80 + 20;
  std::string no_names = good;
  PutBigEndian(no_names, names_size_field, 0);
  EXPECT_FALSE(PictureOf(temp, no_names, "pic1.png"));
  std::string big_names = good;
  PutBigEndian(big_names, names_size_field, static_cast<std::uint32_t>(kPkgMaxNamesTable + 1));
  big_names.resize(big_names.size() + kPkgMaxNamesTable + 1, '\0');
  EXPECT_FALSE(PictureOf(temp, big_names, "pic1.png"));

  // A name offset at the names table's size is refused; a name without NUL ends with the table.
  const size_t name_offset_field = 0xA0 + 4;
  std::string name_past_table = good;
  PutBigEndian(name_past_table, name_offset_field, 9);  // the table is "pic1.png\0"
  EXPECT_FALSE(PictureOf(temp, name_past_table, "pic1.png"));
  std::string unterminated = good;
  PutBigEndian(unterminated, names_size_field, 8);  // "pic1.png" without its NUL
  EXPECT_EQ(PictureOf(temp, unterminated, "pic1.png"), picture);

  // Picture sizes above 8 MiB and data past the end are refused.
  const size_t data_size_field = 0xA0 + 20;
  const size_t data_offset_field = 0xA0 + 16;
  std::string huge_picture = good;
  PutBigEndian(huge_picture, data_size_field, static_cast<std::uint32_t>(kPkgMaxPicture + 1));
  EXPECT_FALSE(PictureOf(temp, huge_picture, "pic1.png"));
  std::string data_past_end = good;
  PutBigEndian(data_past_end, data_offset_field, 0xFFFFFFF0u);
  EXPECT_FALSE(PictureOf(temp, data_past_end, "pic1.png"));

  // The last names-table entry counts.
  std::string two_tables = BuildPkgImage({{0x200, 0x40000000u, "", "xxxxxxxxx"}, {0x1006, 0, "pic1.png", picture}});
  EXPECT_FALSE(PictureOf(temp, two_tables, "pic1.png"));  // the second table holds "xxxxxxxxx"
}

TEST(PkgReader, FolderPicture) {
  TempFolder temp;
  auto folder = temp / L"Dump \u30b2\u30fc\u30e0";
  const std::string picture = PngBytes("pic");
  WriteTestFile(folder / L"sce_sys" / L"pic1.png", picture);
  WriteTestFile(folder / L"sce_sys" / L"icon0.png", "plain text");
  WriteTestFile(folder / L"sce_sys" / L"short.png", PngBytes("").substr(0, 7));
  fs::create_directories(folder / L"sce_sys" / L"dir.png");
  EXPECT_EQ(ReadFolderPicture(folder, "pic1.png"), picture);
  EXPECT_FALSE(ReadFolderPicture(folder, "icon0.png"));
  EXPECT_FALSE(ReadFolderPicture(folder, "short.png"));
  EXPECT_FALSE(ReadFolderPicture(folder, "dir.png"));
  EXPECT_FALSE(ReadFolderPicture(folder, "missing.png"));
  WriteTestFile(folder / L"sce_sys" / L"pic1.png", PngBytes(std::string(kPkgMaxPicture - 8, 'x')));
  EXPECT_TRUE(ReadFolderPicture(folder, "pic1.png"));
  WriteTestFile(folder / L"sce_sys" / L"pic1.png", PngBytes(std::string(kPkgMaxPicture - 7, 'x')));
  EXPECT_FALSE(ReadFolderPicture(folder, "pic1.png"));
}

std::string CandidatePkg(const std::string& title, char first_byte = '\x7F') {
  std::string image = BuildTestPkg(PngBytes("icon"), false);
  image.replace(0x47, title.size(), title);
  image[0] = first_byte;
  return image;
}

TEST(PkgReader, PackageCandidates) {
  TempFolder temp;
  struct Case {
    const wchar_t* name;
    std::string image;
    bool candidate;
  } cases[] = {
      {L"game.pkg", CandidatePkg("CUSA09901"), true},
      {L"GAME.PKG", CandidatePkg("CUSA09902"), true},
      {L"Spiel \u00e9t\u00e9.Pkg", CandidatePkg("CUSA09903"), true},
      {L"game.pkg.bak", CandidatePkg("CUSA09901"), false},
      {L"game", CandidatePkg("CUSA09901"), false},
      {L"other.pkg", CandidatePkg("CUSA12345"), false},
      {L"lower.pkg", CandidatePkg("cusa09901"), false},
      {L"short.pkg", CandidatePkg("CUSA09901").substr(0, 99), false},
      {L"exact.pkg", CandidatePkg("CUSA09901").substr(0, 100), true},
      {L"nomagic.pkg", CandidatePkg("CUSA09901", 'X'), false},
  };
  for (const Case& c : cases) {
    WriteTestFile(temp / c.name, c.image);
    std::vector<fs::path> list{L"earlier"};
    CheckGameSourceCandidate(list, temp / c.name);
    std::vector<fs::path> expected{L"earlier"};
    if (c.candidate) expected.push_back(temp / c.name);
    EXPECT_EQ(list, expected) << fs::path(c.name);
  }
}

TEST(PkgReader, FolderCandidates) {
  TempFolder temp;
  auto write_dump = [&](const wchar_t* name, const std::string& title, bool picture) {
    auto folder = temp / name;
    WriteTestFile(folder / L"sce_sys" / L"param.sfo", BuildTestParamSfo(title, ""));
    if (picture) WriteTestFile(folder / L"sce_sys" / L"pic1.png", "any bytes: only its presence counts");
    return folder;
  };
  struct Case {
    fs::path folder;
    bool candidate;
  } cases[] = {
      {write_dump(L"CUSA09901 dump", "CUSA09901", true), true},
      {write_dump(L"\u00e9t\u00e9", "CUSA09902", true), true},
      {write_dump(L"no picture", "CUSA09901", false), false},
      {write_dump(L"other game", "CUSA12345", true), false},
      {write_dump(L"long id", "CUSA09901X", true), false},
      {temp / L"missing", false},
  };
  for (const Case& c : cases) {
    std::vector<fs::path> list;
    CheckGameSourceCandidate(list, c.folder);
    EXPECT_EQ(list.size(), c.candidate ? 1u : 0u) << c.folder;
  }
  // A folder in place of the picture does not count.
  auto dir_picture = write_dump(L"dir picture", "CUSA09901", false);
  fs::create_directories(dir_picture / L"sce_sys" / L"pic1.png");
  std::vector<fs::path> list;
  CheckGameSourceCandidate(list, dir_picture);
  EXPECT_TRUE(list.empty());
}

}  // namespace
