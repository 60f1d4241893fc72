#include "foundation/files/tree-walk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::ViewWithReparsePoints;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

constexpr std::uint32_t kCloudTag = 0x9000101A;

bool Exists(const fs::path& path) { return ::GetFileAttributesW(ToLongPath(path.native()).c_str()) != INVALID_FILE_ATTRIBUTES; }

// root/
//   a.txt (3 bytes)
//   sub/b.txt, sub/deeper/c.txt
//   junction/kept.txt   (shown as a junction: its content is "the target")
//   symlink/kept.txt    (shown as a symbolic link)
//   cloud/d.txt         (a cloud placeholder folder: real content)
//   filelink.txt        (a file shown as a symbolic link)
class TreeWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = temp / L"root";
    WriteTestFile(root / L"a.txt", "abc");
    WriteTestFile(root / L"sub" / L"b.txt", "b");
    WriteTestFile(root / L"sub" / L"deeper" / L"c.txt", "c");
    WriteTestFile(root / L"junction" / L"kept.txt", "target");
    WriteTestFile(root / L"symlink" / L"kept.txt", "target");
    WriteTestFile(root / L"cloud" / L"d.txt", "d");
    WriteTestFile(root / L"filelink.txt", "target");
    view = ViewWithReparsePoints({{root / L"junction", kReparseTagMountPoint},
                                  {root / L"symlink", kReparseTagSymlink},
                                  {root / L"cloud", kCloudTag},
                                  {root / L"filelink.txt", kReparseTagSymlink}});
  }

  // relative generic path -> depth, for every visited entry, and the visit order.
  std::vector<std::string> Walk(const fs::path& from, const FileSystemView& v, std::error_code* error = nullptr,
                                const std::function<WalkStep(const TreeEntry&)>& decide = {}) {
    std::vector<std::string> seen;
    std::error_code result = WalkTree(
        from,
        [&](const TreeEntry& entry) {
          EXPECT_EQ(entry.path, from / entry.relative);
          seen.push_back(ToGenericUtf8(entry.relative) + "@" + std::to_string(entry.depth));
          return decide ? decide(entry) : WalkStep::kContinue;
        },
        v);
    if (error) *error = result;
    return seen;
  }

  TempFolder temp;
  fs::path root;
  FileSystemView view;
};

TEST_F(TreeWalkTest, VisitsEverythingButNeverEntersLinks) {
  std::error_code error;
  std::vector<std::string> seen = Walk(root, view, &error);
  EXPECT_FALSE(error);
  std::vector<std::string> sorted = seen;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"a.txt@0", "cloud/d.txt@1", "cloud@0", "filelink.txt@0", "junction@0",
                                               "sub/b.txt@1", "sub/deeper/c.txt@2", "sub/deeper@1", "sub@0",
                                               "symlink@0"}));
  // A folder comes before its content.
  auto at = [&](const std::string& s) { return std::find(seen.begin(), seen.end(), s) - seen.begin(); };
  EXPECT_LT(at("sub@0"), at("sub/deeper@1"));
  EXPECT_LT(at("sub/deeper@1"), at("sub/deeper/c.txt@2"));

  // Through the plain system view every folder is entered.
  EXPECT_EQ(Walk(root, SystemView()).size(), 12u);
}

TEST_F(TreeWalkTest, ReportsWhatTheListingSays) {
  std::map<std::string, ItemInfo> infos;
  WalkTree(
      root,
      [&](const TreeEntry& entry) {
        infos[ToGenericUtf8(entry.relative)] = entry.info;
        return WalkStep::kContinue;
      },
      view);
  EXPECT_EQ(infos["a.txt"].size, 3u);
  EXPECT_FALSE(infos["a.txt"].IsFolder());
  EXPECT_TRUE(infos["sub"].IsFolder());
  EXPECT_TRUE(infos["junction"].IsJunction());
  EXPECT_TRUE(infos["symlink"].IsSymbolicLink());
  EXPECT_TRUE(infos["filelink.txt"].IsSymbolicLink());
  EXPECT_FALSE(infos["cloud"].IsJunction());
}

TEST(WalkEntersFolder, OnlyPlainFoldersAndStorageReparsePoints) {
  struct Case {
    std::uint32_t attributes;
    std::uint32_t tag;
    bool entered;
  } cases[] = {
      {kAttributeDirectory, 0, true},
      {kAttributeDirectory | kAttributeReparsePoint, kCloudTag, true},
      {kAttributeDirectory | kAttributeReparsePoint, kReparseTagMountPoint, false},
      {kAttributeDirectory | kAttributeReparsePoint, kReparseTagSymlink, false},
      {kAttributeDirectory | kAttributeReparsePoint, 0, false},  // tag unknown (Wine's view of a host link)
      {0, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WalkEntersFolder(ItemInfo{c.attributes, c.tag, 0}), c.entered) << c.attributes << " " << c.tag;
  }
}

TEST_F(TreeWalkTest, SkipAndStop) {
  std::vector<std::string> seen = Walk(root, view, nullptr, [](const TreeEntry& entry) {
    return entry.relative == L"sub" ? WalkStep::kSkipFolder : WalkStep::kContinue;
  });
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const std::string& s) { return s.rfind("sub/", 0) == 0; }), 0);
  EXPECT_EQ(seen.size(), 7u);

  seen = Walk(root, view, nullptr, [](const TreeEntry&) { return WalkStep::kStop; });
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(TreeWalkTest, ListingErrors) {
  std::error_code error;
  EXPECT_TRUE(Walk(temp / L"missing", view, &error).empty());
  EXPECT_TRUE(error);

  // A subfolder that cannot be listed is passed over; the walk goes on and reports it.
  FileSystemView refusing = view;
  refusing.list_folder = [&](const fs::path& folder, std::vector<FolderEntry>& entries) {
    if (folder == root / L"sub") return std::error_code(ERROR_ACCESS_DENIED, std::system_category());
    return view.list_folder(folder, entries);
  };
  std::vector<std::string> seen = Walk(root, refusing, &error);
  EXPECT_EQ(error.value(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(seen.size(), 7u);
}

TEST_F(TreeWalkTest, RemoveTreeRemovesEverythingThroughThePlainView) {
  ASSERT_TRUE(::SetFileAttributesW((root / L"sub" / L"b.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesW((root / L"a.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(RemoveTree(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(Exists(temp.path()));
  EXPECT_FALSE(RemoveTree(root));  // missing counts as removed
}

TEST_F(TreeWalkTest, RemoveTreeNeverDeletesThroughALink) {
  std::error_code error = RemoveTree(root, view);
  // The fake links are real folders here, so removing them "as links" fails:
  // what matters is that nothing behind them was touched.
  EXPECT_EQ(error.value(), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(qv::test::ReadTestFile(root / L"junction" / L"kept.txt"), "target");
  EXPECT_EQ(qv::test::ReadTestFile(root / L"symlink" / L"kept.txt"), "target");
  for (const wchar_t* gone : {L"a.txt", L"sub", L"cloud", L"filelink.txt"}) {
    EXPECT_FALSE(Exists(root / gone)) << WideToUtf8(gone);
  }

  // A tree that is itself a link is removed as the link, never its content.
  EXPECT_EQ(RemoveTree(root / L"junction", view).value(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(Exists(root / L"junction" / L"kept.txt"));
}

TEST_F(TreeWalkTest, RemoveItemRemovesOneItemOnly) {
  EXPECT_FALSE(RemoveItem(root / L"a.txt"));
  EXPECT_FALSE(Exists(root / L"a.txt"));
  EXPECT_EQ(RemoveItem(root / L"sub").value(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(Exists(root / L"sub" / L"b.txt"));
  ASSERT_TRUE(::CreateDirectoryW((root / L"empty").c_str(), nullptr));
  EXPECT_FALSE(RemoveItem(root / L"empty\\"));
  EXPECT_FALSE(Exists(root / L"empty"));
  EXPECT_FALSE(RemoveItem(root / L"missing"));
}

TEST_F(TreeWalkTest, DeepTreesBeyondTheShortPathLimit) {
  fs::path deep = root / L"deep";
  ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
  for (int i = 0; i < 12; ++i) {
    deep /= std::wstring(40, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(::CreateDirectoryW(ToLongPath(deep.native()).c_str(), nullptr)) << ::GetLastError();
  }
  ASSERT_GT(deep.native().size(), 500u);
  fs::path file = deep / L"f.bin";
  ASSERT_TRUE(UniqueFile(::CreateFileW(ToLongPath(file.native()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                       nullptr)));

  size_t files = 0;
  EXPECT_FALSE(WalkTree(root / L"deep", [&](const TreeEntry& entry) {
    if (!entry.info.IsFolder()) ++files;
    return WalkStep::kContinue;
  }));
  EXPECT_EQ(files, 1u);
  EXPECT_FALSE(RemoveTree(root / L"deep"));
  EXPECT_FALSE(Exists(root / L"deep"));
}

}  // namespace
