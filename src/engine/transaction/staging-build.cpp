#include "engine/transaction/staging-build.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "engine/path-classes.h"
#include "engine/records/install-manifest.h"
#include "engine/records/install-notes.h"
#include "engine/route-files.h"
#include "engine/transaction/destination-checks.h"
#include "engine/transaction/staging-pictures.h"
#include "foundation/files/folder-tests.h"
#include "foundation/files/item-status.h"
#include "foundation/hooks.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"
#include "gamesource/archive-copy.h"
#include "gamesource/known-titles.h"

namespace qv::setup {
namespace {

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::uint64_t TotalSize(const std::vector<PayloadEntry>& entries) {
  std::uint64_t total = 0;
  for (const PayloadEntry& entry : entries) total = SaturatingAdd(total, entry.size);
  return total;
}

std::uint64_t FileSize(const std::filesystem::path& path) {
  if (path.empty()) return 0;
  const std::optional<ItemStatus> status = ReadItemStatus(path);
  return status ? status->size : 0;
}

// A payload names the port's files only: a file of the player's (settings,
// saves, mods, logs) or of the game's (a title folder) under the port's name
// would be installed over theirs, and no update could ever write it back.
void CheckPayloadNamesArePorts(const std::vector<InstalledFile>& files) {
  for (const InstalledFile& file : files) {
    switch (OwnerOfName(file.path)) {
      case NameOwner::kPlayer:
        throw std::runtime_error("The installer payload cannot contain " + file.path +
                                 ": it is one of the player's files.");
      case NameOwner::kGame:
        throw std::runtime_error("The installer payload cannot contain " + file.path + ": it lies in the game's data.");
      case NameOwner::kPort:
        break;
    }
  }
}

// The expected files less those a graphics route owns, which the port's own
// file list must leave as the route left them.
std::vector<PayloadEntry> WithoutRouteFiles(const std::vector<PayloadEntry>& entries, const RouteFileKeys& routes) {
  std::vector<PayloadEntry> kept;
  for (const PayloadEntry& entry : entries) {
    if (!routes.count(PathKey(entry.name))) kept.push_back(entry);
  }
  return kept;
}

// Plans the comparing mode's lists; returns the bytes the run takes from the
// new version (its share of the progress).
std::uint64_t PlanComparedFiles(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks) {
  const RouteFileKeys routes = CollectRouteFiles(state.destination);
  state.expected = WithoutRouteFiles(hooks.payload_entries(), routes);
  if (hooks.expected_changes) {
    state.changes = WithoutRouteFiles(*hooks.expected_changes, routes);
  } else {
    SendLogLine("Comparing the installed files...");
    state.changes = FindDifferingFiles(state.destination, state.expected, hooks.hash_file);
  }
  // A caller's list naming files beyond the expected ones cannot make the count wrap.
  outcome.unchanged = state.expected.size() - std::min(state.expected.size(), state.changes.size());
  return TotalSize(state.changes);
}

std::uint64_t GameBytes(const TransactionState& state) {
  if (!state.game_source) return 0;
  if (state.game_source->kind == GameSourceKind::Pkg) return FileSize(state.game_source->path);
  const GameFiles& files = state.game_source->files;
  return SaturatingAdd(SaturatingAdd(FileSize(files.chunk), FileSize(files.texture)), FileSize(files.path_id_list));
}

void StageProgramFiles(TransactionState& state, InstallOutcome& outcome, const InstallHooks& hooks) {
  if (state.comparing) {
    if (!state.changes.empty()) state.installed = hooks.extract_entries(state.staging, state.changes);
    for (const PayloadEntry& entry : state.expected) {
      std::string path = entry.name;
      std::replace(path.begin(), path.end(), '\\', '/');
      state.file_list.push_back({std::move(path), entry.sha256});
    }
    outcome.bytes_to_write = TotalSize(state.changes);
  } else {
    state.installed = hooks.extract_payload(state.staging);
    state.file_list = state.installed;
  }
  CheckPayloadHasNoDataFiles(state.file_list);
  CheckPayloadNamesArePorts(state.file_list);
  if (hooks.check_payload) hooks.check_payload(state.file_list);
}

void StageGameFiles(TransactionState& state, InstallOutcome& outcome, std::uint64_t game_bytes,
                    const InstallHooks& hooks) {
  const GameSource& source = *state.game_source;
  if (source.kind == GameSourceKind::Folder) {
    // Always the default title folder, whatever an older installation used.
    CopyGameArchives(source.files, state.staging / PathFromUtf8(DefaultTitleId));
  } else {
    SendLogLine("Extracting your game package...");
    const std::uint64_t before = ProgressCounters.done;
    hooks.extract_package(state.staging, source.path);
    RaiseProgressTo(SaturatingAdd(before, game_bytes));
  }
  outcome.notes = WriteInstallNotes(source, state.staging);
  outcome.archives_restored = state.existing.is_install;
  for (std::string_view name : GameFileNames) {
    const std::filesystem::path staged = state.staging / PathFromUtf8(name);
    if (IsRegularFile(staged) && !IsLinkOrJunction(staged)) state.staged_extras.emplace_back(name);
  }
}

// An update whose hooks can list, extract and hash single files compares the
// installation with the new version's files.
bool IsComparingMode(const TransactionState& state, const InstallHooks& hooks) {
  return state.existing.is_install && hooks.payload_entries && hooks.extract_entries && hooks.hash_file;
}

}  // namespace

void BuildStagingFolder(TransactionState& state, InstallOutcome& outcome, const std::filesystem::path& source,
                        bool create_shortcut, const InstallHooks& hooks) {
  state.comparing = IsComparingMode(state, hooks);
  const std::uint64_t work_bytes =
      state.comparing ? PlanComparedFiles(state, outcome, hooks) : (hooks.payload_size ? hooks.payload_size() : 0);
  const std::uint64_t game_bytes = GameBytes(state);
  const std::uint64_t planned = SaturatingAdd(work_bytes, game_bytes);
  ResetProgress(planned == 0 ? 1 : planned);

  SendLogLine("Preparing native PC runtime...");
  StageProgramFiles(state, outcome, hooks);
  // A new installation has its data folder from the start.
  if (!state.existing.is_install) EnsureGameDataFolder(state.staging, hooks.run_id, hooks.validate_destination);
  if (state.game_source) StageGameFiles(state, outcome, game_bytes, hooks);

  SourceRecord record = FindSourceRecord(state, source);
  StageTitlePicture(state, outcome, record, hooks);
  if (create_shortcut) StageShortcutIcon(state, record);
  if (!hooks.portable_copy) {
    WriteInstallManifest(state.staging, hooks.new_version, state.file_list, record.text);
  }
  // The last point of return before the installation is touched.
  ThrowIfCancelled();
}

}  // namespace qv::setup
