#include "gamesource/title-picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "game-fixtures.h"
#include "gamesource/pkg-reader.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-pkg.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::BuildPkgImage;
using qv::test::ListedNames;
using qv::test::PngBytes;
using qv::test::TempFolder;
using qv::test::WriteGameArchives;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

std::string CandidatePkg(const std::string& title) { return BuildPkgImage({}, title); }

fs::path WriteDump(const fs::path& folder, const std::string& title) {
  WriteTestFile(folder / L"sce_sys" / L"param.sfo", BuildTestParamSfo(title, ""));
  WriteTestFile(folder / L"sce_sys" / L"pic1.png", PngBytes(title));
  return folder;
}

TEST(ReadSourcePicture, FromPackages) {
  TempFolder temp;
  const std::string title = PngBytes("title"), icon = PngBytes("icon");
  auto package = temp / L"\u30b2\u30fc\u30e0.pkg";
  WriteTestFile(package, BuildPkgImage({{0x1000, 0, "icon0.png", icon}, {0x1006, 0, "pic1.png", title}}));
  EXPECT_EQ(ReadSourcePicture(package, "pic1.png"), title);
  EXPECT_EQ(ReadSourcePicture(package, "icon0.png"), icon);

  // A package without the picture, in a folder whose sce_sys holds one.
  auto other = temp / L"folder" / L"game.pkg";
  WriteTestFile(other, BuildTestPkg(icon, false));
  EXPECT_FALSE(ReadSourcePicture(other, "pic1.png"));
  WriteTestFile(temp / L"folder" / L"sce_sys" / L"pic1.png", PngBytes("beside"));
  EXPECT_EQ(ReadSourcePicture(other, "pic1.png"), PngBytes("beside"));
  EXPECT_EQ(ReadSourcePicture(other, "icon0.png"), icon);
  WriteTestFile(other, BuildTestPkg(icon, true));
  EXPECT_FALSE(ReadSourcePicture(other, "icon0.png"));
}

TEST(ReadSourcePicture, FromDumpedFolders) {
  TempFolder temp;
  auto dump = temp / L"dump \u00e9t\u00e9";
  WriteGameArchives(dump);
  WriteTestFile(dump / L"sce_sys" / L"icon0.png", PngBytes("icon"));
  WriteTestFile(dump / L"sce_sys" / L"pic1.png", "text, not a picture");
  EXPECT_EQ(ReadSourcePicture(dump, "icon0.png"), PngBytes("icon"));
  EXPECT_EQ(ReadSourcePicture(dump / L"texture.qar", "icon0.png"), PngBytes("icon"));
  EXPECT_FALSE(ReadSourcePicture(dump, "pic1.png"));
  EXPECT_FALSE(ReadSourcePicture(temp / L"missing", "pic1.png"));
  EXPECT_FALSE(ReadSourcePicture(L"", "pic1.png"));
}

TEST(ReadSourcePicture, OneLevelOfSubfolders) {
  TempFolder temp;
  WriteTestFile(temp / L"deep" / L"a" / L"b" / L"sce_sys" / L"pic1.png", PngBytes("two down"));
  EXPECT_FALSE(ReadSourcePicture(temp / L"deep", "pic1.png"));
  WriteTestFile(temp / L"top" / L"x" / L"sce_sys" / L"pic1.png", PngBytes("x"));
  WriteTestFile(temp / L"top" / L"y" / L"sce_sys" / L"pic1.png", PngBytes("y"));
  WriteTestFile(temp / L"top" / L"z.txt", "a file");
  std::wstring first;
  for (const auto& name : ListedNames(temp / L"top")) {
    if (first.empty() && (name == L"x" || name == L"y")) first = name;
  }
  EXPECT_EQ(ReadSourcePicture(temp / L"top", "pic1.png"), PngBytes(first == L"x" ? "x" : "y"));
}

TEST(FindDumpedGames, PackagesAndFoldersOneLevelDown) {
  TempFolder temp;
  auto downloads = temp / L"Downloads \u30c0\u30a6\u30f3\u30ed\u30fc\u30c9";
  auto direct_pkg = downloads / L"QV.pkg";
  WriteTestFile(direct_pkg, CandidatePkg("CUSA09903"));
  WriteTestFile(downloads / L"other.pkg", CandidatePkg("CUSA12345"));
  WriteDump(downloads / L"another game", "CUSA99999");  // a picture, but another game's
  auto inner = WriteDump(downloads / L"games" / L"CUSA09901", "CUSA09901");
  WriteDump(downloads / L"games" / L"deeper" / L"CUSA09902", "CUSA09902");  // two levels down
  auto dump = WriteDump(downloads / L"CUSA09902", "CUSA09902");
  WriteTestFile(dump / L"inside.pkg", CandidatePkg("CUSA09901"));  // a dump is not searched further
  WriteTestFile(downloads / L"not a folder.txt", "x");

  std::vector<fs::path> found = FindDumpedGames({L"", temp / L"missing", downloads / L"not a folder.txt", downloads});
  std::sort(found.begin(), found.end());
  std::vector<fs::path> expected{direct_pkg, inner, dump};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

TEST(FindDumpedGames, SymbolicLinksAreCheckedButNotEntered) {
  TempFolder temp;
  auto downloads = temp / L"Downloads";
  // Each of the three folders is a dump reached directly and holds another dump.
  std::vector<fs::path> outer, inner;
  for (const wchar_t* name : {L"plain", L"symlink", L"junction"}) {
    fs::path folder = downloads / name;
    outer.push_back(WriteDump(folder, "CUSA12345"));  // not this game: searched further
    WriteTestFile(folder / L"sce_sys" / L"pic1.png", PngBytes("x"));
    inner.push_back(WriteDump(folder / L"CUSA09901", "CUSA09901"));
  }
  auto view = qv::test::ViewWithReparsePoints({{downloads / L"symlink", kReparseTagSymlink},
                                               {downloads / L"junction", kReparseTagMountPoint},
                                               {inner[0], kReparseTagSymlink},
                                               {inner[2], kReparseTagMountPoint}});
  std::vector<fs::path> found = FindDumpedGames({downloads}, kDumpedGameScanLimit, view);
  std::sort(found.begin(), found.end());
  // The link inside "plain" is not a candidate; the one inside the junction is.
  std::vector<fs::path> expected{inner[2]};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);

  // As candidates themselves: a dump behind a symbolic link is refused, a junction passes.
  auto titled_view = qv::test::ViewWithReparsePoints({{inner[0], kReparseTagSymlink}, {inner[1], kReparseTagMountPoint}});
  std::vector<fs::path> list;
  for (const fs::path& path : inner) CheckGameSourceCandidate(list, path, titled_view);
  EXPECT_EQ(list, (std::vector<fs::path>{inner[1], inner[2]}));
}

TEST(FindDumpedGames, InspectedEntriesAreCountedAcrossFolders) {
  EXPECT_EQ(kDumpedGameScanLimit, 4000u);
  TempFolder temp;
  auto first = temp / L"first";
  auto second = temp / L"second";
  // 6 subfolders of 8 entries: 54 entries, outer and inner; the last entry of
  // every subfolder, and two entries at the top, are candidate packages.
  constexpr size_t kLimit = 40;
  for (int d = 0; d < 6; ++d) {
    auto sub = first / (L"d" + std::to_wstring(d));
    for (int i = 0; i < 7; ++i) WriteTestFile(sub / (L"f" + std::to_wstring(i)), "");
    WriteTestFile(sub / L"game.pkg", CandidatePkg("CUSA09901"));
  }
  WriteTestFile(first / L"top1.pkg", CandidatePkg("CUSA09901"));
  WriteTestFile(first / L"top2.pkg", CandidatePkg("CUSA09901"));
  WriteTestFile(second / L"never.pkg", CandidatePkg("CUSA09901"));

  // What the listing order lets through: every entry, outer or inner, counts once.
  std::vector<fs::path> expected;
  size_t inspected = 0;
  for (const std::wstring& name : ListedNames(first)) {
    if (inspected >= kLimit) break;
    ++inspected;
    if (name.ends_with(L".pkg")) expected.push_back(first / name);
    for (const std::wstring& inner : ListedNames(first / name)) {
      if (inspected >= kLimit) break;
      ++inspected;
      if (inner == L"game.pkg") expected.push_back(first / name / inner);
    }
  }
  ASSERT_EQ(inspected, kLimit);
  ASSERT_LT(expected.size(), 8u);  // the limit cut some candidates off
  EXPECT_EQ(FindDumpedGames({first, second}, kLimit), expected);
  // Without the limit the second folder is reached too.
  EXPECT_EQ(FindDumpedGames({first, second}).size(), 9u);
}

}  // namespace
