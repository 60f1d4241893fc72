#pragma once
// Material of the install transaction tests: payloads of two port versions
// served from memory through InstallHooks, queries that present a chosen
// amount of free space, and a recorder of the process-wide hooks.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/install-hooks.h"
#include "engine/install-outcome.h"
#include "engine/transaction/transaction-queries.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/temp-folder.h"

namespace qv::test {

// The port's files of a version: "qv.exe" (by version), "shaders/a.spv",
// "voice/model.bin", and per version one more: 1.0.0 "shaders/old.spv",
// 1.1.0 "shaders/new.spv" and "nvngx_dlss.dll".
qv::setup::FixtureFiles PortFiles(const std::string& version);

// A payload archive image served by the hooks of MakeTestHooks.
struct TestPayload {
  std::string image;
  qv::setup::FixtureFiles files;
};
std::shared_ptr<const TestPayload> MakeTestPayload(const std::filesystem::path& scratch,
                                                   const qv::setup::FixtureFiles& files);

// Hooks over the payload: version and run identifier as given, no-op checks,
// size, whole and listed extraction, entry list and HashFile; a package
// extraction that throws "no package in this test"; a shortcut that counts
// its calls in `*shortcuts` when given.
qv::setup::InstallHooks MakeTestHooks(std::shared_ptr<const TestPayload> payload, const std::string& version,
                                      const std::string& run_id, std::vector<std::filesystem::path>* shortcuts = nullptr);

// 4 GiB free wherever asked, and the real write probe.
qv::setup::TransactionQueries PlentyOfSpace();

// Sets the process-wide hooks for one test and restores them afterwards:
// records status lines and progress, cancels when `cancel_when` says so.
class HookRecorder {
 public:
  HookRecorder();
  ~HookRecorder();
  HookRecorder(const HookRecorder&) = delete;
  HookRecorder& operator=(const HookRecorder&) = delete;

  std::vector<std::string> lines;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  // Asked at every cancel poll with the number of polls so far (from 1).
  std::function<bool(int poll)> cancel_when;
  int polls = 0;
};

// An installation of version 1.0.0, made by the transaction from a dumped game
// (with title picture and manifest), and the payload of version 1.1.0.
struct InstalledSite {
  InstalledSite();

  TempFolder temp;
  std::filesystem::path dump;     // temp/dump/CUSA09901
  std::filesystem::path install;  // temp/games/QV
  std::shared_ptr<const TestPayload> old_payload;
  std::shared_ptr<const TestPayload> new_payload;

  // MakeTestHooks over the new payload, version "1.1.0".
  qv::setup::InstallHooks UpdateHooks(const std::string& run_id,
                                      std::vector<std::filesystem::path>* shortcuts = nullptr) const;
};

// A portable copy of an unknown build: "qv.exe" and the "qv-files.json" naming it.
void WritePortableCopy(const std::filesystem::path& folder);

// The relative paths of the items directly beside `folder` whose names start
// with ".qv-" (the temporary folders an install leaves), sorted.
std::vector<std::string> TemporaryItemsBeside(const std::filesystem::path& folder);

// The snapshot of `root` without "data/qv-update.log" (which every update writes).
qv::setup::TreeSnapshot SnapshotWithoutLog(const std::filesystem::path& root);

}  // namespace qv::test
