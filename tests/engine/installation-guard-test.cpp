#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "engine/installation-guard.h"
#include "foundation/files/canonical-path.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/child-mode.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GuardInstallation;
using qv::setup::InstallationGuard;
using qv::setup::IsRunMarked;
using qv::setup::TryGuardInstallation;
using qv::test::TempFolder;

// Every spelling of one folder names one guard; another folder has its own,
// and the guard is free again once its holder lets go.
TEST(InstallationGuard, OneRunPerInstallationWhateverItsSpelling) {
  TempFolder temp;
  const fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  const fs::path install = parent / L"Game";
  qv::setup::WriteFixtureFile(install / L"qv.exe", "game");
  std::optional<InstallationGuard> first = TryGuardInstallation(install, "run-1");
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->installation && first->run);

  std::wstring upper = install.native();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(::towupper(c));
  for (const fs::path& spelling : {install, fs::path(upper), fs::path(install.native() + L"\\"),
                                   parent / L"other" / L".." / L"Game" / L"."}) {
    EXPECT_FALSE(TryGuardInstallation(spelling, "run-2")) << spelling.string();
  }
  EXPECT_EQ(qv::test::ThrownMessage([&] { GuardInstallation(install, "run-2"); }),
            "Another update of this install is running.");
  // Another installation beside it, and one that does not exist yet.
  EXPECT_TRUE(TryGuardInstallation(parent / L"Game 2", "run-3"));
  EXPECT_TRUE(TryGuardInstallation(parent / L"New", "run-4"));

  first.reset();
  EXPECT_TRUE(TryGuardInstallation(install, "run-2"));
}

// A run's mark lasts while it holds the guard, also seen from another process.
TEST(InstallationGuard, TheRunIsMarkedWhileItHoldsTheGuard) {
  TempFolder temp;
  EXPECT_FALSE(IsRunMarked("{mark-test}"));
  {
    std::optional<InstallationGuard> guard = TryGuardInstallation(temp.path() / L"Game", "{mark-test}");
    ASSERT_TRUE(guard);
    EXPECT_TRUE(IsRunMarked("{mark-test}"));
    EXPECT_FALSE(IsRunMarked("{mark-test-2}"));
    EXPECT_EQ(qv::test::RunChildProcess("guard_probe", {qv::setup::WideToUtf8(temp.path().native())}).exit_code,
              3u);
  }
  EXPECT_FALSE(IsRunMarked("{mark-test}"));
  EXPECT_EQ(qv::test::RunChildProcess("guard_probe", {qv::setup::WideToUtf8(temp.path().native())}).exit_code, 0u);
}

// The objects are named in the global namespace, so that a run in another
// logon session (another user's on a shared C:\\Games, one started through a
// service) meets them: what such a run creates under those names holds the
// installation and marks its run here too.
TEST(InstallationGuard, RunsOfOtherSessionsAreSeen) {
  TempFolder temp;
  const fs::path install = temp.path() / L"Game";
  const std::wstring guard_name = qv::setup::InstallationGuardName(install);
  const std::wstring mark_name = qv::setup::RunMarkName("{other-session}");
  EXPECT_EQ(guard_name.rfind(L"Global\\qv-install-", 0), 0u) << qv::setup::WideToUtf8(guard_name);
  EXPECT_EQ(mark_name.rfind(L"Global\\qv-run-", 0), 0u) << qv::setup::WideToUtf8(mark_name);

  EXPECT_FALSE(IsRunMarked("{other-session}"));
  {
    const qv::setup::UniqueHandle other_guard(::CreateMutexW(nullptr, FALSE, guard_name.c_str()));
    const qv::setup::UniqueHandle other_mark(::CreateMutexW(nullptr, FALSE, mark_name.c_str()));
    ASSERT_TRUE(other_guard && other_mark);
    EXPECT_FALSE(TryGuardInstallation(install, "{this-session}"));
    EXPECT_TRUE(IsRunMarked("{other-session}"));
  }
  EXPECT_FALSE(IsRunMarked("{other-session}"));
  std::optional<InstallationGuard> guard = TryGuardInstallation(install, "{this-session}");
  ASSERT_TRUE(guard);
  // And what this run holds, another session's run finds under those names.
  const qv::setup::UniqueHandle seen(::OpenMutexW(SYNCHRONIZE, FALSE, guard_name.c_str()));
  EXPECT_TRUE(seen);
}

// 3 when another process holds the guard of <folder>/Game and marks its run.
QV_CHILD_MODE(guard_probe) {
  const fs::path folder(qv::setup::Utf8ToWide(args.at(0)));
  const bool taken = !TryGuardInstallation(folder / L"Game", "{probe}");
  const bool marked = IsRunMarked("{mark-test}");
  return taken && marked ? 3 : taken || marked ? 1 : 0;
}

}  // namespace
