#include "foundation/files/folder-tests.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/text/text.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::ViewWithReparsePoints;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

constexpr std::uint32_t kCloudTag = 0x9000101A;  // a cloud-file placeholder: not a name surrogate

// plain/ (empty folder), file.txt, junction/ symlink/ cloud/ (folders shown as
// reparse points), link.txt (a file shown as a symbolic link).
class FolderTests : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"plain", L"junction", L"symlink", L"cloud"}) {
      ASSERT_TRUE(::CreateDirectoryW((temp / name).c_str(), nullptr));
    }
    WriteTestFile(temp / L"file.txt", "x");
    WriteTestFile(temp / L"link.txt", "x");
    view = ViewWithReparsePoints({{temp / L"junction", kReparseTagMountPoint},
                                  {temp / L"symlink", kReparseTagSymlink},
                                  {temp / L"cloud", kCloudTag},
                                  {temp / L"link.txt", kReparseTagSymlink}});
  }
  TempFolder temp;
  FileSystemView view;
};

TEST_F(FolderTests, IsLinkOrJunction) {
  struct Case {
    std::wstring path;
    bool expected;
  } cases[] = {
      {L"junction", true},  {L"junction\\", true}, {L"junction//", true}, {L"symlink", true},
      {L"link.txt", true},  {L"cloud", false},     {L"plain", false},     {L"plain\\", false},
      {L"file.txt", false}, {L"missing", false},   {L"junct*", false},    {L"junctio?", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsLinkOrJunction(temp.path().native() + L"\\" + c.path, view), c.expected)
        << WideToUtf8(c.path);
  }
  EXPECT_FALSE(IsLinkOrJunction(L"C:\\", view));
  // Without the injected view nothing in the test tree is a link.
  EXPECT_FALSE(IsLinkOrJunction(temp / L"junction"));
}

// The directory search takes "<", ">" and "\"" for wildcards as well as "*"
// and "?": a name holding one never stands for another entry.
TEST(FileSystemView, SearchWildcardsNeverAnswerForAnotherEntry) {
  TempFolder temp;
  ASSERT_TRUE(::CreateDirectoryW((temp / L"Games").c_str(), nullptr));
  WriteTestFile(temp / L"Game.txt", "x");
  for (const wchar_t* name : {L"Game>", L"Gam<", L"Game\"txt", L"Game*", L"Game?", L"Ga>es"}) {
    EXPECT_FALSE(SystemView().find_item(temp / name)) << WideToUtf8(name);
    EXPECT_FALSE(qv::setup::ReadItemInfo(temp / name)) << WideToUtf8(name);
  }
  EXPECT_TRUE(SystemView().find_item(temp / L"Games"));
  EXPECT_TRUE(SystemView().find_item(temp / L"Game.txt"));
}

TEST(IsLinkOrJunction, WhenTheSearchFailsTheAttributesDecideExceptOnABareRoot) {
  FileSystemView unsearchable = SystemView();
  unsearchable.find_item = [](const fs::path&) { return std::nullopt; };
  unsearchable.read_attributes = [](const fs::path&) -> std::optional<std::uint32_t> {
    return kAttributeDirectory | kAttributeReparsePoint;
  };
  EXPECT_TRUE(IsLinkOrJunction(L"D:\\mount", unsearchable));
  EXPECT_TRUE(IsLinkOrJunction(L"D:\\mount\\", unsearchable));
  EXPECT_FALSE(IsLinkOrJunction(L"D:\\", unsearchable));
  EXPECT_FALSE(IsLinkOrJunction(L"\\\\server\\", unsearchable));
  unsearchable.read_attributes = [](const fs::path&) -> std::optional<std::uint32_t> { return kAttributeDirectory; };
  EXPECT_FALSE(IsLinkOrJunction(L"D:\\mount", unsearchable));
}

TEST_F(FolderTests, IsEmptyFolder) {
  ASSERT_TRUE(::CreateDirectoryW((temp / L"hidden").c_str(), nullptr));
  WriteTestFile(temp / L"hidden" / L"h", "");
  ASSERT_TRUE(::SetFileAttributesW((temp / L"hidden" / L"h").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::CreateDirectoryW((temp / L"nested").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((temp / L"nested" / L"empty").c_str(), nullptr));
  struct Case {
    const wchar_t* name;
    bool expected;
  } cases[] = {
      {L"plain", true},   {L"plain\\", true},    {L"junction", true}, {L"cloud", true},
      {L"symlink", false}, {L"hidden", false},   {L"nested", false},  {L"file.txt", false},
      {L"link.txt", false}, {L"missing", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsEmptyFolder(temp.path().native() + L"\\" + c.name, view), c.expected) << WideToUtf8(c.name);
  }
}

TEST_F(FolderTests, IsRealDirectory) {
  struct Case {
    const wchar_t* name;
    bool expected;
    bool error;
  } cases[] = {
      {L"plain", true, false},    {L"cloud", true, false},     {L"junction", false, false},
      {L"symlink", false, false}, {L"file.txt", false, false}, {L"missing", false, true},
  };
  for (const auto& c : cases) {
    std::error_code error = std::make_error_code(std::errc::io_error);
    EXPECT_EQ(IsRealDirectory(temp / c.name, error, view), c.expected) << WideToUtf8(c.name);
    EXPECT_EQ(static_cast<bool>(error), c.error) << WideToUtf8(c.name);
  }
}

TEST_F(FolderTests, ProbeLeavesNothingBehind) {
  fs::path folder = temp / PathFromUtf8("Spi\xC3\xA9le \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0");
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_NO_THROW(ProbeWritableFolder(folder, "run-1", "installation parent folder"));
  EXPECT_TRUE(IsEmptyFolder(folder));
  // A junction leads to a real folder: it passes.
  EXPECT_NO_THROW(ProbeWritableFolder(temp / L"junction", "run-1", "installation parent folder", view));
  EXPECT_TRUE(IsEmptyFolder(temp / L"junction"));
}

TEST_F(FolderTests, ProbeRefusesWhatIsNotAWritableFolder) {
  struct Case {
    const wchar_t* name;
    const char* label;
    const char* message;
  } cases[] = {
      {L"symlink", "installation parent folder", "The installation parent folder must be a writable folder."},
      {L"file.txt", "existing installation folder", "The existing installation folder must be a writable folder."},
      {L"missing", "game data folder", "The game data folder must be a writable folder."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ThrownMessage([&] { ProbeWritableFolder(temp / c.name, "s", c.label, view); }), c.message);
  }
  EXPECT_TRUE(IsEmptyFolder(temp / L"symlink"));  // nothing created behind the link
  EXPECT_FALSE(fs::exists(temp / L"missing"));
  EXPECT_EQ(qv::test::ReadTestFile(temp / L"file.txt"), "x");
}

TEST_F(FolderTests, AnExistingProbeFailsAndStays) {
  fs::path probe = temp / L"plain" / L".qv-write-probe-s";
  ASSERT_TRUE(::CreateDirectoryW(probe.c_str(), nullptr));
  WriteTestFile(probe / L"mine", "keep");
  EXPECT_EQ(ThrownMessage([&] { ProbeWritableFolder(temp / L"plain", "s", "installation parent folder"); }),
            "The installation parent folder is not writable.");
  EXPECT_EQ(qv::test::ReadTestFile(probe / L"mine"), "keep");
  // Another suffix is another probe.
  EXPECT_NO_THROW(ProbeWritableFolder(temp / L"plain", "t", "installation parent folder"));

  // A file standing where the probe folder goes: the folder does not accept it.
  WriteTestFile(temp / L"junction" / L".qv-write-probe-s", "");
  EXPECT_EQ(ThrownMessage([&] { ProbeWritableFolder(temp / L"junction", "s", "game data folder", view); }),
            "The game data folder is not writable.");
}

}  // namespace
