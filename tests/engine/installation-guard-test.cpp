#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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

// Only another run's guard reads as another run. A mutex of that name that
// this process may not even open is one too (an elevated run's, another
// user's); an object of another kind under the name is no run, and the
// failure says what it is.
TEST(InstallationGuard, OnlyAnotherRunsGuardReadsAsAnotherRun) {
  TempFolder temp;
  const fs::path install = temp.path() / L"Game";
  const std::wstring name = qv::setup::InstallationGuardName(install);
  const std::string other_kind = "Could not take this install's guard against other runs: another program holds "
                                 "its name " + qv::setup::WideToUtf8(name) + " with an object of another kind.";
  // An empty access list: nobody may open the object.
  ACL empty_list;
  ASSERT_TRUE(::InitializeAcl(&empty_list, sizeof empty_list, ACL_REVISION));
  SECURITY_DESCRIPTOR closed;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&closed, TRUE, &empty_list, FALSE));
  SECURITY_ATTRIBUTES closed_attributes{sizeof closed_attributes, &closed, FALSE};
  const struct {
    const char* what;
    std::function<HANDLE()> create;
    std::string message;
  } cases[] = {
      {"a run's guard", [&] { return ::CreateMutexW(nullptr, FALSE, name.c_str()); },
       "Another update of this install is running."},
      {"a run's guard closed to this process", [&] { return ::CreateMutexW(&closed_attributes, FALSE, name.c_str()); },
       "Another update of this install is running."},
      {"an event", [&] { return ::CreateEventW(nullptr, TRUE, FALSE, name.c_str()); }, other_kind},
      {"a semaphore", [&] { return ::CreateSemaphoreW(nullptr, 0, 1, name.c_str()); }, other_kind},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const qv::setup::UniqueHandle object(c.create());
    ASSERT_TRUE(object);
    EXPECT_EQ(qv::test::ThrownMessage([&] { GuardInstallation(install, "run-1"); }), c.message);
    if (c.message == qv::setup::kAnotherRunMessage) {
      EXPECT_FALSE(TryGuardInstallation(install, "run-1"));
    } else {
      EXPECT_EQ(qv::test::ThrownMessage([&] { TryGuardInstallation(install, "run-1"); }), c.message);
    }
  }
  EXPECT_TRUE(TryGuardInstallation(install, "run-1"));
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
