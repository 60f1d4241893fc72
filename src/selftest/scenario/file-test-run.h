#pragma once
// What the scenarios of the file-level update self test share: the new
// release they install, its in-memory payload, and one run of the install
// engine with the file test's hooks.

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "foundation/crypto/file-hash.h"
#include "selftest/fixtures/fixture-files.h"

namespace qv::setup {

// The release's files an update over the test's installations writes and
// verifies: all but "reshade-shaders/x.fx", which the DLSS 5 tool's record in
// those installations claims.
inline constexpr std::uint64_t kFileTestExpectedFiles = 6;

struct FileTest {
  std::filesystem::path folder;  // the test folder; every scenario works below it
  FileHasher hash;
  FixtureFiles release;  // the new release, in payload order
  std::string payload;   // BuildTestPayload of `release`
};

// The new release, in payload order: "qv.exe" "new exe", "shaders/same.spv"
// "same shader", "shaders/changed.spv" "changed shader, new",
// "voice/models/new.bin" "a new voice model", "Fonts/Case.ttf" "a font",
// "reshade-shaders/x.fx" "the package's copy of a file the unlock owns", and
// last its own "qv-files.json" {"format": 1, "files": []}.
FixtureFiles FileTestRelease();

// The new release and its payload, built in folder/"payload-scratch".
FileTest PrepareFileTest(const std::filesystem::path& folder, const FileHasher& hash);

// The file test's hooks (MakeFileTestHooks) for `run_id`; they refer to
// test.payload.
InstallHooks FileTestHooks(const FileTest& test, const std::string& run_id);

// One run of the install engine into `destination`, without a source unless
// one is given, no shortcut.
InstallOutcome RunFileUpdate(const std::filesystem::path& destination, const InstallHooks& hooks,
                             const std::filesystem::path& source = {});

}  // namespace qv::setup
