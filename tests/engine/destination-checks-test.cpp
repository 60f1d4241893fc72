#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/transaction/destination-checks.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/canonical-path.h"
#include "foundation/hooks.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::CheckDestinationHasNoLinks;
using qv::setup::FindDifferingFiles;
using qv::setup::IsOutsideFolderCanonical;
using qv::setup::PayloadEntry;
using qv::setup::kReparseTagMountPoint;
using qv::setup::kReparseTagSymlink;
using qv::test::ViewWithReparsePoints;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::WriteTestFile;

const std::string kLinkMessage = "Choose a destination without junctions or symbolic links.";

// Restores the process-wide cancel hook at scope end.
struct CancelHookScope {
  explicit CancelHookScope(std::function<bool()> hook) { qv::setup::CancelHook = std::move(hook); }
  ~CancelHookScope() { qv::setup::CancelHook = nullptr; }
};

std::vector<std::string> Names(const std::vector<PayloadEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

TEST(DestinationLinks, PlainFoldersPass) {
  TempFolder temp;
  fs::create_directories(temp / L"Games");
  EXPECT_NO_THROW(CheckDestinationHasNoLinks(temp / L"Games" / L"Q.V. DU Vora"));
  EXPECT_NO_THROW(CheckDestinationHasNoLinks(temp / L"not" / L"yet" / L"there"));
  EXPECT_NO_THROW(CheckDestinationHasNoLinks(temp.path()));
}

TEST(DestinationLinks, ALinkOrJunctionOnTheWayIsRefused) {
  TempFolder temp;
  fs::create_directories(temp / L"Games" / L"Install");
  struct Case {
    fs::path marked;
    bool junction;
    fs::path destination;
    bool refused;
  } cases[] = {
      {temp / L"Games", true, temp / L"Games" / L"Install", true},
      {temp / L"Games", false, temp / L"Games" / L"Install", true},
      {temp / L"Games", true, temp / L"Games" / L"New" / L"Deeper", true},  // below a junction, not there yet
      {temp / L"Games" / L"Install", true, temp / L"Games" / L"Install", true},
      {temp / L"Games" / L"Install", false, temp / L"Games" / L"Install\\", true},
      {temp.path(), true, temp / L"Games" / L"Install" / L"." / L"x" / L"..", true},
      {temp / L"Games" / L"Install", true, temp / L"Games", false},  // a link below is not on the way
      {temp / L"Other", true, temp / L"Games" / L"Install", false},
  };
  for (const auto& c : cases) {
    auto view = ViewWithReparsePoints({{c.marked, c.junction ? kReparseTagMountPoint : kReparseTagSymlink}});
    EXPECT_EQ(ThrownMessage([&] { CheckDestinationHasNoLinks(c.destination, view); }),
              c.refused ? kLinkMessage : "(no exception)")
        << c.destination << " with " << c.marked;
  }
}

TEST(DestinationLinks, RelativeDestinationsAreMadeAbsolute) {
  wchar_t current[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  auto view = ViewWithReparsePoints({{fs::path(current), kReparseTagMountPoint}});
  EXPECT_EQ(ThrownMessage([&] { CheckDestinationHasNoLinks(L"relative\\install", view); }), kLinkMessage);
}

class DifferingFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTestFile(temp_ / L"qv.exe", "game");
    WriteTestFile(temp_ / L"shaders" / L"a.bin", "shader");
    fs::create_directories(temp_ / L"folder.dll");
  }
  PayloadEntry Entry(const std::string& name, const std::string& content) {
    WriteTestFile(temp_ / L"scratch.bin", content);
    return {name, content.size(), qv::setup::HashFile(temp_ / L"scratch.bin")};
  }
  TempFolder temp_;
};

TEST_F(DifferingFiles, ReportsWhatDiffersInInputOrder) {
  PayloadEntry upper = Entry("shaders/a.bin", "shader");
  std::transform(upper.sha256.begin(), upper.sha256.end(), upper.sha256.begin(), ::toupper);
  PayloadEntry other_digest = Entry("qv.exe", "gamf");  // same size, other content
  std::vector<PayloadEntry> expected{
      Entry("qv.exe", "game"),                         // matches
      Entry("missing.dll", "x"),                        // missing file
      Entry("gone/a.dll", "x"),                         // missing folder
      Entry("folder.dll", ""),                          // a folder where a file should be
      Entry("shaders/a.bin", "shade"),                  // other size
      other_digest,                                     // other digest
      upper,                                            // digest in other letter case
      Entry("SHADERS/A.BIN", "shader"),                 // names are looked up as the system does
  };
  std::vector<fs::path> hashed;
  auto differing = FindDifferingFiles(temp_.path(), expected, [&](const fs::path& path) {
    hashed.push_back(path);
    return qv::setup::HashFile(path);
  });
  EXPECT_EQ(Names(differing),
            (std::vector<std::string>{"missing.dll", "gone/a.dll", "folder.dll", "shaders/a.bin", "qv.exe",
                                      "shaders/a.bin"}));
  EXPECT_EQ(differing[3].size, 5u);   // copies of the expected entries
  EXPECT_EQ(differing[4].sha256, other_digest.sha256);
  // Only files of the expected size are hashed.
  EXPECT_EQ(hashed.size(), 4u);
}

TEST_F(DifferingFiles, SymbolicLinkToACorrectFileDiffers) {
  auto view = ViewWithReparsePoints({{temp_ / L"qv.exe", kReparseTagSymlink}});
  std::vector<PayloadEntry> expected{Entry("qv.exe", "game"), Entry("shaders/a.bin", "shader")};
  EXPECT_EQ(Names(FindDifferingFiles(temp_.path(), expected, qv::setup::HashFile, view)),
            (std::vector<std::string>{"qv.exe"}));
  // Only a symbolic link is refused here; other reparse points are read through.
  auto junction = ViewWithReparsePoints({{temp_ / L"qv.exe", kReparseTagMountPoint}});
  EXPECT_TRUE(FindDifferingFiles(temp_.path(), expected, qv::setup::HashFile, junction).empty());
}

TEST_F(DifferingFiles, HashFailuresCountAsDiffering) {
  std::vector<PayloadEntry> expected{Entry("qv.exe", "game"), Entry("shaders/a.bin", "shader")};
  EXPECT_EQ(Names(FindDifferingFiles(temp_.path(), expected, nullptr)),
            (std::vector<std::string>{"qv.exe", "shaders/a.bin"}));
  EXPECT_EQ(Names(FindDifferingFiles(temp_.path(), expected,
                                     [](const fs::path& path) -> std::string {
                                       if (path.filename() == L"qv.exe") throw std::runtime_error("locked");
                                       return qv::setup::HashFile(path);
                                     })),
            (std::vector<std::string>{"qv.exe"}));
}

TEST_F(DifferingFiles, UnsafeNamesAreRefused) {
  for (const char* name : {"../qv.exe", "C:/Windows/notepad.exe", "/x", "a/./b", "qv.exe:stream", "C:x"}) {
    std::vector<PayloadEntry> expected{Entry("qv.exe", "game"), {name, 1, std::string(64, '0')}};
    EXPECT_EQ(ThrownMessage([&] { FindDifferingFiles(temp_.path(), expected, qv::setup::HashFile); }),
              "Unsafe payload path.")
        << name;
  }
}

TEST_F(DifferingFiles, Cancellation) {
  std::vector<PayloadEntry> expected{Entry("qv.exe", "game"), Entry("shaders/a.bin", "shader")};
  {
    int asked = 0;
    CancelHookScope cancel([&] {
      ++asked;
      return true;
    });
    EXPECT_TRUE(FindDifferingFiles(temp_.path(), {}, qv::setup::HashFile).empty());
    EXPECT_EQ(asked, 0);  // an empty list asks nothing
    EXPECT_EQ(ThrownMessage([&] { FindDifferingFiles(temp_.path(), expected, qv::setup::HashFile); }),
              "Installation cancelled.");
  }
  bool cancelled = false;
  CancelHookScope cancel([&] { return cancelled; });
  // Cancelled while the hasher runs, which then fails: its failure passes on.
  EXPECT_EQ(ThrownMessage([&] {
              FindDifferingFiles(temp_.path(), expected, [&](const fs::path&) -> std::string {
                cancelled = true;
                throw std::runtime_error("hash interrupted");
              });
            }),
            "hash interrupted");
  // Cancelled while the hasher runs, which succeeds: noticed before the next entry.
  cancelled = false;
  int hashes = 0;
  EXPECT_EQ(ThrownMessage([&] {
              FindDifferingFiles(temp_.path(), expected, [&](const fs::path& path) {
                ++hashes;
                cancelled = true;
                return qv::setup::HashFile(path);
              });
            }),
            "Installation cancelled.");
  EXPECT_EQ(hashes, 1);
}

TEST(OutsideFolder, ComparesCanonicalElements) {
  TempFolder temp;
  fs::create_directories(temp / L"Install" / L"CUSA09901" / L"sce_sys");
  fs::create_directories(temp / L"Install2");
  fs::create_directories(temp / L"Dumps" / L"Game");
  const fs::path folder = qv::setup::WeaklyCanonicalPath(temp / L"Install");
  std::wstring shouted = (temp / L"install" / L"cusa09901").native();
  std::transform(shouted.begin(), shouted.end(), shouted.begin(), [](wchar_t c) { return std::towupper(c); });
  struct Case {
    fs::path candidate;
    bool outside;
  } cases[] = {
      {temp / L"Install", false},
      {temp / L"Install\\", false},
      {temp / L"Install" / L"CUSA09901" / L"sce_sys", false},
      {fs::path(shouted), false},  // other letter case, same folder
      {temp / L"Dumps" / L"Game" / L".." / L".." / L"Install" / L"CUSA09901", false},
      {temp / L"Install" / L"missing", false},  // missing: never outside
      {temp / L"Dumps" / L"missing", false},
      {fs::path(), false},
      {temp / L"Install2", true},  // a sibling whose name starts with the folder's
      {temp.path(), true},         // the parent
      {temp / L"Dumps" / L"Game", true},
      {temp / L"Install" / L".." / L"Dumps", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsOutsideFolderCanonical(folder, c.candidate), c.outside) << c.candidate;
  }
}

}  // namespace
