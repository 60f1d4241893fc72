#include "update/download/changed-files.h"

#include <algorithm>
#include <exception>
#include <set>
#include <string>

#include "engine/records/update-log.h"
#include "foundation/files/tree-walk.h"

namespace qv::setup {
namespace {

std::string SlashForm(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

void AnnounceStaged(const UpdateRun& run, const std::filesystem::path& staging) {
  if (run.platform.staged_files) run.platform.staged_files(staging);
}

// Removes what a range attempt wrote before the whole setup file takes over
// (extraction writes only new files).
void RemoveFetchedFiles(const std::filesystem::path& staging, const std::vector<qv::update::FileEntry>& entries) {
  for (const qv::update::FileEntry& entry : entries) {
    try {
      RemoveItem(SafePayloadPath(staging, entry.path));
    } catch (const std::exception&) {
      // Never written: the path was refused before anything was.
    }
  }
}

}  // namespace

std::string WholePackageInsteadLine(const std::string& reason) {
  return "parts of the package could not be fetched (" + reason + "); the whole package is downloaded instead";
}

std::vector<InstalledFile> ObtainChangedFiles(UpdateRun& run, const std::filesystem::path& staging,
                                              const std::vector<PayloadEntry>& wanted,
                                              const DownloadTimeouts& timeouts) {
  std::set<std::string> wanted_names;
  for (const PayloadEntry& entry : wanted) wanted_names.insert(SlashForm(entry.name));

  if (run.parts) {
    std::vector<qv::update::FileEntry> chosen;
    for (const qv::update::FileEntry& file : run.files) {
      if (wanted_names.count(SlashForm(file.path)) != 0) chosen.push_back(file);
    }
    const RangeFetch fetch =
        FetchRanges(run.release.package_url, chosen, staging, run.platform.hash_file, timeouts.range_group_ms,
                    run.release.package_size);
    run.result.requests += static_cast<std::int32_t>(fetch.requests);
    run.result.bytes_downloaded += fetch.bytes;
    if (!fetch.failed) {
      AnnounceStaged(run, staging);
      std::vector<InstalledFile> files;
      for (const qv::update::FileEntry& file : chosen) files.push_back(InstalledFile{SlashForm(file.path), file.sha256});
      return files;
    }
    // The server does not serve parts of the file: the whole setup file
    // for the rest of the run. Why goes to the log, where a failing whole
    // download would otherwise show only its own error.
    AppendUpdateLog(run.game_folder, WholePackageInsteadLine(fetch.reason));
    run.parts = false;
    run.result.parts = false;
    RemoveFetchedFiles(staging, chosen);
  }

  CheckDownloadedPackage(run, timeouts.package_ms);
  std::vector<InstalledFile> files =
      ExtractPayload(run.payload.first, static_cast<std::size_t>(run.payload.second), staging, run.platform.hash_file,
                     [&wanted_names](const std::string& name) { return wanted_names.count(SlashForm(name)) != 0; });
  AnnounceStaged(run, staging);
  return files;
}

}  // namespace qv::setup
