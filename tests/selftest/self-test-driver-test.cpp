#include "selftest/self-test-driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/transaction/staged-commit.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/fake-links.h"
#include "support/scoped-environment.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::kSelfTestPassLine;
using qv::setup::ReadFileText;
using qv::setup::RunSelfTest;
using qv::setup::SelfTestScenario;
using qv::setup::SelfTestSetup;

// {12345678-9ABC-DEF0-1234-56789ABCDEF0}
constexpr GUID kFixedGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}};
constexpr const wchar_t* kFixedRootName = L"qv-setup-selftest-{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

bool IsEmptyFolder(const fs::path& folder) { return fs::is_directory(folder) && fs::is_empty(folder); }

// The run with the real checks, its root made in a folder of the test's own
// under a fixed name, and the result file beside that folder.
struct DriverRun {
  qv::test::TempFolder temp{L"qv-driver"};
  fs::path parent = temp / L"tmp";
  fs::path result = temp / L"result.txt";
  fs::path root = parent / kFixedRootName;
  // The release document's address is the built-in one unless a test says otherwise.
  qv::test::ScopedEnvironment address{"QV_UPDATE_MANIFEST_URL", std::nullopt};

  DriverRun() { fs::create_directory(parent); }

  SelfTestSetup Setup() const {
    SelfTestSetup setup = qv::setup::BuiltInSelfTest();
    setup.scenarios.clear();
    setup.parent_folder = [parent = parent] { return parent; };
    setup.new_guid = [](GUID& guid) {
      guid = kFixedGuid;
      return S_OK;
    };
    return setup;
  }
};

SelfTestScenario Returning(std::string folder, std::string tokens, std::vector<fs::path>* calls) {
  return {std::move(folder), [tokens, calls](const fs::path& path, const qv::setup::FileHasher&) {
            calls->push_back(path);
            return tokens;
          }};
}

TEST(SelfTestDriver, PassesWithTheRealChecksAndRemovesItsRoot) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  bool root_was_gone = false;
  setup.scenarios.push_back({"update", [&](const fs::path& folder, const qv::setup::FileHasher&) {
                               root_was_gone = !fs::exists(run.root);
                               qv::setup::WriteFixtureFile(folder / L"a" / L"b.txt", "x");
                               return std::string();
                             }});
  EXPECT_EQ(RunSelfTest(run.result, setup), 0);
  EXPECT_EQ(ReadFileText(run.result), kSelfTestPassLine);
  EXPECT_TRUE(root_was_gone);
  EXPECT_TRUE(IsEmptyFolder(run.parent));
}

// Input-format tokens first, then each test's in table order; a test with an
// empty folder name gets the root itself. The last checks do not run: the
// release address points elsewhere, and still the tokens are the text.
TEST(SelfTestDriver, JoinsTokensInRunOrderAndSkipsTheLastChecks) {
  DriverRun run;
  qv::test::ScopedEnvironment elsewhere{"QV_UPDATE_MANIFEST_URL", "https://elsewhere.example/latest"};
  SelfTestSetup setup = run.Setup();
  fs::path input_root;
  setup.input_formats = [&](const fs::path& root) {
    input_root = root;
    EXPECT_TRUE(IsEmptyFolder(root));
    return std::string(" input-a");
  };
  std::vector<fs::path> calls;
  setup.scenarios = {Returning("one", " one-x", &calls), Returning("", " root-y", &calls),
                     Returning("three", "", &calls), Returning("fg-unlock", " four:z", &calls)};

  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_EQ(ReadFileText(run.result), "Self test failed: input-a one-x root-y four:z");
  EXPECT_EQ(input_root, run.root);
  EXPECT_EQ(calls, (std::vector<fs::path>{run.root / L"one", run.root, run.root / L"three", run.root / L"fg-unlock"}));
  EXPECT_TRUE(IsEmptyFolder(run.parent));
}

TEST(SelfTestDriver, AddressOfAnotherHostFailsTheBuildIdentity) {
  for (const char* address : {"https://elsewhere.example/latest", "http://127.0.0.1:8080/x",
                              "https://elsewhere.example/api.qv-releases.example/repos/latest"}) {
    DriverRun run;
    qv::test::ScopedEnvironment elsewhere{"QV_UPDATE_MANIFEST_URL", address};
    EXPECT_EQ(RunSelfTest(run.result, run.Setup()), 1) << address;
    EXPECT_EQ(ReadFileText(run.result), "Built without qv_version or with a placeholder manifest address") << address;
    EXPECT_TRUE(IsEmptyFolder(run.parent)) << address;
  }
}

// A test's exception ends the run with its text; later tests do not run and
// the root stays with what the tests left in it.
TEST(SelfTestDriver, AnExceptionFromATestEndsTheRunWithItsText) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  std::vector<fs::path> calls;
  setup.scenarios = {Returning("one", " one-x", &calls),
                     {"two",
                      [](const fs::path& folder, const qv::setup::FileHasher&) -> std::string {
                        qv::setup::WriteFixtureFile(folder / L"left.txt", "left");
                        throw std::runtime_error("The second test stopped here.");
                      }},
                     Returning("three", " three-x", &calls)};
  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_EQ(ReadFileText(run.result), "The second test stopped here.");
  EXPECT_EQ(calls, (std::vector<fs::path>{run.root / L"one"}));
  EXPECT_EQ(ReadFileText(run.root / L"two" / L"left.txt"), "left");
}

struct NotAStdException {};

TEST(SelfTestDriver, AnExceptionOfAnyOtherTypeEndsTheRunWithAFixedText) {
  const std::function<void()> throws[] = {
      [] { throw qv::setup::SimulatedCrash{}; },
      [] { throw NotAStdException{}; },
      [] { throw 42; },
  };
  for (const auto& raise : throws) {
    DriverRun run;
    SelfTestSetup setup = run.Setup();
    setup.scenarios = {{"update", [&](const fs::path&, const qv::setup::FileHasher&) -> std::string {
                          raise();
                          return "";
                        }}};
    EXPECT_EQ(RunSelfTest(run.result, setup), 1);
    EXPECT_EQ(ReadFileText(run.result), "Self test failed: an error of an unknown kind ended the run.");
  }
}

TEST(SelfTestDriver, HashingTestsGetTheFileHasher) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  std::string digest;
  setup.scenarios = {{"files", [&](const fs::path& folder, const qv::setup::FileHasher& hash) {
                        qv::setup::WriteFixtureFile(folder / L"abc.txt", "abc");
                        digest = hash(folder / L"abc.txt");
                        return std::string();
                      }}};
  EXPECT_EQ(RunSelfTest(run.result, setup), 0);
  EXPECT_EQ(digest, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

std::string PlainStandIn(const fs::path& folder) { return " plain:" + folder.filename().string(); }

std::string HashingStandIn(const fs::path& folder, const qv::setup::FileHasher& hash) {
  qv::setup::WriteFixtureFile(folder / L"abc.txt", "abc");
  return " hashed:" + folder.filename().string() + ":" + hash(folder / L"abc.txt").substr(0, 8);
}

// Rows of either form, as the program's table holds them.
TEST(SelfTestDriver, ScenarioRowsOfBothForms) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  setup.scenarios = {qv::setup::ScenarioRow("update", PlainStandIn),
                     qv::setup::ScenarioRow("files", HashingStandIn)};
  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_EQ(ReadFileText(run.result), "Self test failed: plain:update hashed:files:ba7816bf");
}

// The containment check runs before the root is named: a traversal that is
// accepted, or refused for another reason, fails with nothing made.
TEST(SelfTestDriver, PathContainmentMustRefuseForTheRightReason) {
  const struct {
    std::function<fs::path(const fs::path&, const std::string&)> payload_path;
    std::string text;
  } cases[] = {
      {[](const fs::path& root, const std::string& name) { return root / name; }, "Traversal accepted"},
      {[](const fs::path&, const std::string&) -> fs::path { throw std::runtime_error("Access is denied."); },
       "Traversal accepted: Access is denied."},
  };
  for (const auto& c : cases) {
    DriverRun run;
    SelfTestSetup setup = run.Setup();
    setup.payload_path = c.payload_path;
    bool named = false;
    setup.new_guid = [&](GUID& guid) {
      named = true;
      guid = kFixedGuid;
      return S_OK;
    };
    EXPECT_EQ(RunSelfTest(run.result, setup), 1);
    EXPECT_EQ(ReadFileText(run.result), c.text);
    EXPECT_FALSE(named);
    EXPECT_TRUE(IsEmptyFolder(run.parent));
  }
}

TEST(SelfTestDriver, NoRootWithoutAGuid) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  setup.new_guid = [](GUID&) { return E_OUTOFMEMORY; };
  bool checked = false;
  setup.input_formats = [&](const fs::path&) {
    checked = true;
    return std::string();
  };
  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_EQ(ReadFileText(run.result),
            "The self test could not make a unique name for its temporary folder (error 0x8007000E).");
  EXPECT_FALSE(checked);
  EXPECT_TRUE(IsEmptyFolder(run.parent));
}

// A folder that happens to carry the root's name is somebody else's: the run
// neither fills nor removes it.
TEST(SelfTestDriver, LeavesAFolderOfTheRootsNameUntouched) {
  DriverRun run;
  qv::setup::WriteFixtureFile(run.root / L"keep.txt", "keep");
  SelfTestSetup setup = run.Setup();
  bool checked = false;
  setup.input_formats = [&](const fs::path&) {
    checked = true;
    return std::string();
  };
  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_EQ(ReadFileText(run.result), "The self test's temporary folder " + run.root.string() +
                                          " already exists; the self test left it untouched.");
  EXPECT_FALSE(checked);
  EXPECT_EQ(ReadFileText(run.root / L"keep.txt"), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(run.root), fs::directory_iterator()), 1);
}

TEST(SelfTestDriver, AFailedRemovalOfTheRootEndsTheRun) {
  DriverRun run;
  SelfTestSetup setup = run.Setup();
  qv::setup::UniqueFile held;
  setup.input_formats = [&](const fs::path& root) {
    held.reset(::CreateFileW((root / L"held.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(held.valid());
    return std::string();
  };
  EXPECT_EQ(RunSelfTest(run.result, setup), 1);
  EXPECT_NE(ReadFileText(run.result).find("remove_all"), std::string::npos) << ReadFileText(run.result);
  EXPECT_TRUE(fs::exists(run.root / L"held.txt"));
}

// The guard keeps a failure out of anything but a new file or a small plain
// one; the pass line goes into a new or plain file of any size, never into a
// folder, a link, a junction or another reparse point.
TEST(SelfTestDriver, ResultFileOnPassAndOnFailure) {
  const std::string large(65537, 'L');
  const struct {
    const char* what;
    std::string before;  // empty: the result path is a folder
    std::uint32_t tag;   // nonzero: the result path shows as a reparse point of this tag
    bool pass_written;
    bool failure_written;
  } cases[] = {
      {"small file", "an earlier result", 0, true, true},
      {"65,537 bytes", large, 0, true, false},
      {"folder", "", 0, false, false},
      {"symbolic link", "behind a link", qv::setup::kReparseTagSymlink, false, false},
      {"junction", "", qv::setup::kReparseTagMountPoint, false, false},
      {"storage reparse point", "deduplicated", 0x80000013, false, true},
  };
  for (const auto& c : cases) {
    for (bool pass : {true, false}) {
      DriverRun run;
      const fs::path result = run.temp / L"result";
      if (c.before.empty()) {
        fs::create_directory(result);
      } else {
        qv::setup::WriteFixtureFile(result, c.before);
      }
      SelfTestSetup setup = run.Setup();
      if (c.tag != 0) setup.result_view = qv::test::ViewWithReparsePoints({{result, c.tag}});
      if (!pass) setup.input_formats = [](const fs::path&) { return std::string(" broken"); };
      const bool written = pass ? c.pass_written : c.failure_written;
      const std::string label = std::string(c.what) + (pass ? ", pass" : ", failure");

      EXPECT_EQ(RunSelfTest(result, setup), pass && written ? 0 : 1) << label;
      if (c.before.empty()) {
        EXPECT_TRUE(IsEmptyFolder(result)) << label;
      } else {
        const std::string expected = !written ? c.before : pass ? kSelfTestPassLine : "Self test failed: broken";
        EXPECT_EQ(ReadFileText(result), expected) << label;
      }
    }
  }
}

TEST(SelfTestDriver, APassLineThatCannotBeWrittenIsAFailure) {
  DriverRun run;
  EXPECT_EQ(RunSelfTest(run.temp / L"no such folder" / L"result.txt", run.Setup()), 1);
  EXPECT_FALSE(fs::exists(run.temp / L"no such folder"));
}

}  // namespace
