#include "selftest/scenario/scenario-unicode-paths.h"

#include <exception>
#include <string_view>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "engine/transaction/staged-commit.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "gamesource/game-source.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/refusal-check.h"
#include "selftest/scenario/scenario-checks.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// U+0160, U+0130, U+65E5 U+672C U+8A9E and U+1F600, in UTF-8: two-, three-
// and four-byte sequences, and a character outside the Basic Multilingual
// Plane (a surrogate pair towards the file system).
constexpr std::string_view kTestFolder = "Š İ 日本語 😀";
constexpr std::string_view kDumpFolder = "dump-日本語";
constexpr std::string_view kInstallParent = "install-Š-İ-日本語-😀";
// The upper-case extension must still be found as a chunk archive.
constexpr std::string_view kChunkName = "chunk-日本語-😀.PSARC";
constexpr std::string_view kTextureName = "texture-Š.qar";
constexpr std::string_view kPathListName = "pathid_list-İ-日本語.bin";
constexpr std::string_view kManifestEntry = "voice/日本語😀/dictionary.bin";
static_assert(kTestFolder.size() == 20 && kDumpFolder.size() == 14 && kInstallParent.size() == 28);
static_assert(kChunkName.size() == 26 && kTextureName.size() == 14 && kPathListName.size() == 28);
static_assert(kManifestEntry.size() == 34);

std::string Digest(char c) { return std::string(64, c); }

// A dump under non-ASCII names, with an upper-case extension and a list that
// only contains "pathid_list", is found as exactly these files.
std::string CheckSource(const fs::path& dump) {
  try {
    const GameSource source = ResolveGameSource(dump);
    const bool found = source.kind == GameSourceKind::Folder && source.path == dump &&
                       source.files.chunk == dump / PathFromUtf8(kChunkName) &&
                       source.files.texture == dump / PathFromUtf8(kTextureName) &&
                       source.files.path_id_list == dump / PathFromUtf8(kPathListName);
    return found ? "" : " source";
  } catch (const std::exception& error) {
    return CaughtToken(" source:", error);
  }
}

struct UnicodeInstall {
  fs::path install;
  fs::path staging;
  fs::path backup;
};

void StageRelease(const UnicodeInstall& u, const std::string& exe, const std::string& version) {
  WriteFixtureFile(u.staging / L"qv.exe", exe);
  WriteFixtureFile(u.staging / L"qv-install-manifest.txt", "qv-port-install 1\nversion=" + version + "\n");
}

CommitResult CommitRelease(const UnicodeInstall& u, const ExistingInstall& existing, std::int32_t fail_at) {
  return CommitStagedFiles(u.staging, u.install, {{"qv.exe", Digest('1')}}, {"qv-install-manifest.txt"}, existing,
                           u.backup, fail_at, nullptr, {});
}

// The manifest keeps a non-ASCII path, a commit under a non-ASCII parent
// replaces "qv.exe", and a commit that fails puts it back.
void CheckInstallation(const fs::path& parent, std::string& tokens) {
  const UnicodeInstall u{parent / L"QV", parent / L".qv-update-test", parent / L".qv-update-old-test"};
  WriteFixtureFile(u.install / L"qv.exe", "old executable");
  WriteInstallManifest(u.install, "0.1.0", {{"qv.exe", Digest('0')}, {std::string(kManifestEntry), Digest('2')}}, "");

  const ExistingInstall existing = ReadExistingInstall(u.install);
  const bool inspected = existing.is_install && existing.version == "0.1.0" && existing.manifest_files.size() == 2 &&
                         existing.manifest_files.back().path == kManifestEntry;
  Expect(inspected, " inspect", tokens);

  StageRelease(u, "new executable", "0.2.0");
  CommitRelease(u, existing, -1);
  Expect(ReadFileText(u.install / L"qv.exe") == "new executable", " install", tokens);
  // The first update is complete: its staging and backup folders go, as an
  // update's own clean-up removes them. A backup still holding the old
  // "qv.exe" would stop the second commit at its first move, long before the
  // failure it is meant to undo.
  RemoveTreeOrThrow(u.staging);
  RemoveTreeOrThrow(u.backup);

  StageRelease(u, "rollback executable", "0.3.0");
  // Only the injected failure shows the undo: a commit that fails early for
  // another reason restores a file it never moved.
  const std::string failure =
      RefusalFailure([&] { CommitRelease(u, ReadExistingInstall(u.install), 1); }, "Test failure during the update.",
                     RefusalText::kWhole, " rollback", OtherExceptions::kPass);
  if (!failure.empty()) {
    tokens += failure;
  } else {
    Expect(ReadFileText(u.install / L"qv.exe") == "new executable", " rollback", tokens);
  }
}

}  // namespace

std::string SelfTestUnicodePaths(const fs::path& root) {
  const fs::path folder = root / PathFromUtf8(kTestFolder);
  const fs::path dump = folder / PathFromUtf8(kDumpFolder);
  WriteFixtureFile(dump / PathFromUtf8(kChunkName), SelfTestChunkArchive());
  WriteFixtureFile(dump / PathFromUtf8(kTextureName), SelfTestTextureArchive());
  WriteFixtureFile(dump / PathFromUtf8(kPathListName), SelfTestPathIdList());

  std::string tokens = CheckSource(dump);
  try {
    CheckInstallation(folder / PathFromUtf8(kInstallParent), tokens);
  } catch (const std::exception& error) {
    tokens += CaughtToken(" install-update:", error);
  }
  return tokens;
}

}  // namespace qv::setup
