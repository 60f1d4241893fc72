#include "transaction-fixtures.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "engine/transaction/install-transaction.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-payload.h"
#include "selftest/test-file-list.h"

namespace qv::test {

namespace fs = std::filesystem;
using qv::setup::FixtureFiles;
using qv::setup::InstalledFile;
using qv::setup::PayloadEntry;

FixtureFiles PortFiles(const std::string& version) {
  FixtureFiles files{{"qv.exe", "game executable " + version},
                     {"shaders/a.spv", "shader a"},
                     {"voice/model.bin", "voice model"}};
  if (version == "1.0.0") files.push_back({"shaders/old.spv", "old shader"});
  if (version == "1.1.0") {
    files.push_back({"shaders/new.spv", "new shader"});
    files.push_back({"nvngx_dlss.dll", "upscaler of the port"});
  }
  return files;
}

std::shared_ptr<const TestPayload> MakeTestPayload(const fs::path& scratch, const FixtureFiles& files) {
  auto payload = std::make_shared<TestPayload>();
  payload->image = qv::setup::BuildTestPayload(scratch, files, qv::setup::HashFile);
  payload->files = files;
  return payload;
}

qv::setup::InstallHooks MakeTestHooks(std::shared_ptr<const TestPayload> payload, const std::string& version,
                                      const std::string& run_id, std::vector<fs::path>* shortcuts) {
  qv::setup::InstallHooks hooks;
  hooks.new_version = version;
  hooks.run_id = run_id;
  hooks.validate_destination = [](const fs::path&) {};
  hooks.verify_setup = [] {};
  hooks.payload_size = [payload] {
    std::uint64_t total = 0;
    for (const auto& [name, content] : payload->files) total += content.size();
    return total;
  };
  hooks.extract_payload = [payload](const fs::path& folder) {
    return qv::setup::ExtractPayload(payload->image.data(), payload->image.size(), folder, qv::setup::HashFile);
  };
  hooks.payload_entries = [payload] {
    return qv::setup::ReadPayloadIndex(payload->image.data(), payload->image.size());
  };
  hooks.extract_entries = [payload](const fs::path& folder, const std::vector<PayloadEntry>& entries) {
    std::set<std::string> names;
    for (const PayloadEntry& entry : entries) names.insert(entry.name);
    return qv::setup::ExtractPayload(payload->image.data(), payload->image.size(), folder, qv::setup::HashFile,
                                     [names](const std::string& name) { return names.count(name) != 0; });
  };
  hooks.hash_file = qv::setup::HashFile;
  hooks.extract_package = [](const fs::path&, const fs::path&) {
    throw std::runtime_error("no package in this test");
  };
  hooks.create_shortcut = [shortcuts](const fs::path& installation) {
    if (shortcuts) shortcuts->push_back(installation);
  };
  hooks.picture_search_folders = [] { return std::vector<fs::path>{}; };
  return hooks;
}

qv::setup::TransactionQueries PlentyOfSpace() {
  qv::setup::TransactionQueries queries = qv::setup::SystemTransactionQueries();
  queries.available_space = [](const fs::path&) { return std::uint64_t{4} << 30; };
  return queries;
}

HookRecorder::HookRecorder() {
  qv::setup::LogLineHook = [this](const std::string& line) { lines.push_back(line); };
  qv::setup::ProgressHook = [this](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };
  qv::setup::CancelHook = [this] { return cancel_when && cancel_when(++polls); };
}

HookRecorder::~HookRecorder() {
  qv::setup::LogLineHook = nullptr;
  qv::setup::ProgressHook = nullptr;
  qv::setup::CancelHook = nullptr;
}

InstalledSite::InstalledSite()
    : dump(temp / L"dump" / L"CUSA09901"),
      install(temp / L"games" / L"QV"),
      old_payload(MakeTestPayload(temp / L"scratch", PortFiles("1.0.0"))),
      new_payload(MakeTestPayload(temp / L"scratch", PortFiles("1.1.0"))) {
  qv::setup::WriteDumpedGame(dump);
  qv::setup::InstallOutcome outcome;
  qv::setup::RunInstallTransaction(outcome, dump, install, false, MakeTestHooks(old_payload, "1.0.0", "first"),
                                   PlentyOfSpace());
}

qv::setup::InstallHooks InstalledSite::UpdateHooks(const std::string& run_id, std::vector<fs::path>* shortcuts) const {
  return MakeTestHooks(new_payload, "1.1.0", run_id, shortcuts);
}

void WritePortableCopy(const fs::path& folder) {
  const FixtureFiles files{{"qv.exe", "an unknown build"}};
  qv::setup::WriteFixtureFile(folder / L"qv.exe", files[0].second);
  qv::setup::WriteFixtureFile(folder / L"qv-files.json", qv::setup::RenderFilesJson(files));
}

std::vector<std::string> TemporaryItemsBeside(const fs::path& folder) {
  std::vector<std::string> names;
  for (const qv::setup::FolderEntry& entry : qv::setup::ListEntries(qv::setup::ParentFolder(folder))) {
    std::string name = qv::setup::WideToUtf8(entry.name);
    if (name.rfind(".qv-", 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

qv::setup::TreeSnapshot SnapshotWithoutLog(const fs::path& root) {
  return qv::setup::SnapshotTree(root, [](const std::string& key) { return key == "data/qv-update.log"; });
}

}  // namespace qv::test
