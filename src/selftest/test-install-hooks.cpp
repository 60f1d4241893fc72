#include "selftest/test-install-hooks.h"

#include "selftest/test-payload-hooks.h"

namespace qv::setup {
namespace {

InstallHooks BaseTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id) {
  InstallHooks hooks;
  hooks.new_version = "9.9.9";
  hooks.run_id = run_id;
  hooks.validate_destination = [](const std::filesystem::path&) {};
  hooks.verify_setup = [] {};
  hooks.payload_size = [&payload] { return TestPayloadSize(payload); };
  hooks.extract_payload = [&payload, hasher](const std::filesystem::path& folder) {
    return ExtractTestPayload(payload, hasher, folder);
  };
  hooks.extract_package = &ThrowNoPackage;
  hooks.create_shortcut = [](const std::filesystem::path&) {};
  hooks.picture_search_folders = &EmptyPathList;
  hooks.fail_at_step = -1;
  hooks.pause_at_step = -1;
  return hooks;
}

// The entry table, selective extraction and file hasher that turn on the
// engine's comparing mode.
void AddComparingHooks(InstallHooks& hooks, const std::string& payload, const FileHasher& hasher) {
  hooks.payload_entries = [&payload] { return ReadTestPayloadIndex(payload); };
  hooks.extract_entries = [&payload, hasher](const std::filesystem::path& folder,
                                             const std::vector<PayloadEntry>& entries) {
    return ExtractTestPayloadEntries(payload, hasher, folder, entries);
  };
  hooks.hash_file = hasher;
}

}  // namespace

InstallHooks MakeTitleTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id) {
  return BaseTestHooks(payload, hasher, run_id);
}

InstallHooks MakePortableTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id) {
  InstallHooks hooks = BaseTestHooks(payload, hasher, run_id);
  AddComparingHooks(hooks, payload, hasher);
  hooks.portable_copy = true;
  hooks.fallback_previous_version = "9.9.8";
  return hooks;
}

InstallHooks MakeFileTestHooks(const std::string& payload, const FileHasher& hasher, const std::string& run_id) {
  InstallHooks hooks = BaseTestHooks(payload, hasher, run_id);
  AddComparingHooks(hooks, payload, hasher);
  return hooks;
}

}  // namespace qv::setup
