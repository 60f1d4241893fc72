#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/files/rename-item.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ExistingTarget;
using qv::setup::RenameItem;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

TEST(RenameItem, ReplacesOnlyWhenAskedTo) {
  TempFolder temp;
  WriteTestFile(temp / L"from", "new");
  WriteTestFile(temp / L"to", "old");
  std::error_code refused = RenameItem(temp / L"from", temp / L"to", ExistingTarget::kRefuse);
  EXPECT_TRUE(qv::setup::IsTargetExistsError(refused)) << refused.message();
  EXPECT_EQ(ReadTestFile(temp / L"to"), "old");
  EXPECT_EQ(ReadTestFile(temp / L"from"), "new");

  EXPECT_FALSE(RenameItem(temp / L"from", temp / L"to", ExistingTarget::kReplace));
  EXPECT_EQ(ReadTestFile(temp / L"to"), "new");
  EXPECT_FALSE(fs::exists(temp / L"from"));

  EXPECT_FALSE(RenameItem(temp / L"to", temp / L"free", ExistingTarget::kRefuse));
  EXPECT_EQ(ReadTestFile(temp / L"free"), "new");

  std::error_code missing = RenameItem(temp / L"missing", temp / L"elsewhere", ExistingTarget::kReplace);
  EXPECT_TRUE(missing);
  EXPECT_FALSE(qv::setup::IsTargetExistsError(missing));
}

// Puts back the product's moves when a test ends.
struct CrossVolumeGuard {
  ~CrossVolumeGuard() { qv::setup::CrossVolumeHook = {}; }
};

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Killed {};

// A move to another volume is a copy. Under the target's name there is at any
// moment what stood there before or the whole file, never a part of it, also
// when the copy fails or the process is killed halfway through it; the
// source stays until the copy has taken the target's place.
TEST(RenameItem, AMoveToAnotherVolumeIsWholeOrNotThere) {
  enum class Copy { kCompletes, kFailsHalfway, kKilledHalfway };
  const std::string whole = "PSAR" + std::string(100000, 'n');
  // Large contents, shown short.
  const auto shown = [&](const std::string& bytes) {
    return bytes == whole ? std::string("the whole file") : std::to_string(bytes.size()) + " bytes";
  };
  const struct {
    const char* what;
    bool old_target;
    ExistingTarget existing;
    Copy copy;
    bool moved;
  } cases[] = {
      {"a free target, the copy completes", false, ExistingTarget::kRefuse, Copy::kCompletes, true},
      {"a replaced target, the copy completes", true, ExistingTarget::kReplace, Copy::kCompletes, true},
      {"a free target, the copy fails halfway", false, ExistingTarget::kRefuse, Copy::kFailsHalfway, false},
      {"a replaced target, the copy fails halfway", true, ExistingTarget::kReplace, Copy::kFailsHalfway, false},
      {"a free target, killed halfway", false, ExistingTarget::kRefuse, Copy::kKilledHalfway, false},
      {"a replaced target, killed halfway", true, ExistingTarget::kReplace, Copy::kKilledHalfway, false},
      {"a target that is not to be replaced", true, ExistingTarget::kRefuse, Copy::kCompletes, false},
  };
  for (const auto& c : cases) {
    TempFolder temp;
    CrossVolumeGuard guard;
    const fs::path from = temp / L"staged" / L"chunk1.psarc";
    const fs::path to = temp / L"title" / L"chunk1.psarc";
    WriteTestFile(from, whole);
    fs::create_directories(to.parent_path());
    if (c.old_target) WriteTestFile(to, "old archive");
    int copies = 0;
    qv::setup::CrossVolumeHook.crosses = [&](const fs::path&, const fs::path& target) {
      return target.parent_path() == to.parent_path();
    };
    qv::setup::CrossVolumeHook.copy = [&](const fs::path& source, const fs::path& copy) {
      ++copies;
      if (c.copy == Copy::kCompletes) return ::CopyFileW(source.c_str(), copy.c_str(), TRUE) != 0;
      WriteTestFile(copy, ReadTestFile(source).substr(0, whole.size() / 2));
      if (c.copy == Copy::kKilledHalfway) throw Killed{};
      return false;
    };
    std::error_code error;
    if (c.copy == Copy::kKilledHalfway) {
      EXPECT_THROW(RenameItem(from, to, c.existing), Killed) << c.what;
    } else {
      error = RenameItem(from, to, c.existing);
    }
    EXPECT_EQ(!error && c.copy != Copy::kKilledHalfway, c.moved) << c.what << ": " << error.message();
    if (c.moved) {
      EXPECT_EQ(shown(ReadTestFile(to)), "the whole file") << c.what;
      EXPECT_FALSE(fs::exists(from)) << c.what;
    } else {
      if (c.old_target) {
        EXPECT_EQ(shown(ReadTestFile(to)), "11 bytes") << c.what;  // "old archive"
      } else {
        EXPECT_FALSE(fs::exists(to)) << c.what;
      }
      EXPECT_EQ(shown(ReadTestFile(from)), "the whole file") << c.what;
    }
    if (c.copy == Copy::kFailsHalfway) {
      EXPECT_EQ(Names(to.parent_path()), c.old_target ? std::vector<std::string>{"chunk1.psarc"}
                                                       : std::vector<std::string>{})
          << c.what;
    }
    if (c.copy != Copy::kCompletes) {
      // The next move of the same file finishes the job and leaves nothing else.
      qv::setup::CrossVolumeHook.copy = {};
      EXPECT_FALSE(RenameItem(from, to, c.existing)) << c.what;
      EXPECT_EQ(shown(ReadTestFile(to)), "the whole file") << c.what;
      EXPECT_EQ(Names(to.parent_path()), std::vector<std::string>{"chunk1.psarc"}) << c.what;
    } else if (!c.moved) {
      EXPECT_EQ(copies, 0) << c.what;  // refused before a byte was copied
    }
  }
}

// A read-only file keeps its attribute on the other volume, and its source
// goes as on the same volume.
TEST(RenameItem, AReadOnlyFileMovedToAnotherVolumeStaysReadOnly) {
  TempFolder temp;
  CrossVolumeGuard guard;
  const fs::path from = temp / L"staged" / L"qv.exe";
  const fs::path to = temp / L"title" / L"qv.exe";
  WriteTestFile(from, "read-only");
  fs::create_directories(to.parent_path());
  ASSERT_TRUE(::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_READONLY));
  qv::setup::CrossVolumeHook.crosses = [](const fs::path&, const fs::path&) { return true; };
  EXPECT_FALSE(RenameItem(from, to, ExistingTarget::kRefuse));
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(ReadTestFile(to), "read-only");
  EXPECT_NE(::GetFileAttributesW(to.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Names(to.parent_path()), std::vector<std::string>{"qv.exe"});
  ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
