#include "foundation/payload/package-view.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "foundation/payload/payload-archive.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::OpenPackageView;
using qv::setup::win_updater::PackageView;
using qv::test::ThrownMessage;

fs::path Fixture(const wchar_t* name) { return qv::test::TestBinaryFolder() / name; }

TEST(PackageView, ReturnsThePayloadOfAResourceOnlyProgram) {
  PackageView view;
  auto [data, size] = OpenPackageView(view, Fixture(L"package-payload.exe"));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), std::string("QVSETUP1\0\0\0\0", 12));
  EXPECT_TRUE(qv::setup::ReadPayloadIndex(data, size).empty());
  EXPECT_TRUE(view.file.valid());
  EXPECT_TRUE(view.module.valid());

  // Open with read sharing only: nobody may change the file meanwhile.
  qv::setup::UniqueFile writer(::CreateFileW(Fixture(L"package-payload.exe").c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.valid());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  qv::setup::UniqueFile reader(::CreateFileW(Fixture(L"package-payload.exe").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.valid());
}

TEST(PackageView, Refusals) {
  qv::test::TempFolder temp{L"qv-package"};
  qv::test::WriteTestFile(temp / L"notes.txt", "Not a program at all.\n");
  const struct {
    fs::path path;
    const char* message;
    bool file_open;
    bool module_loaded;
  } cases[] = {
      {temp / L"missing.exe", "Could not open the downloaded package.", false, false},
      {temp / L"notes.txt", "The downloaded package is not a setup program.", true, false},
      {Fixture(L"package-no-payload.exe"), "The downloaded package holds no payload.", true, true},
      {Fixture(L"package-other-magic.exe"), "The downloaded package holds no payload.", true, true},
      {Fixture(L"package-short-payload.exe"), "The downloaded package holds no payload.", true, true},
  };
  for (const auto& c : cases) {
    PackageView view;
    EXPECT_EQ(ThrownMessage([&] { OpenPackageView(view, c.path); }), c.message) << c.path.string();
    // What was opened stays in the view for its owner to close.
    EXPECT_EQ(view.file.valid(), c.file_open) << c.path.string();
    EXPECT_EQ(view.module.valid(), c.module_loaded) << c.path.string();
  }
}

}  // namespace
