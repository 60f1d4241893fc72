#pragma once
// The install engine's listed extraction in an update: the files the engine
// asks for, obtained by range requests while the run is on the parts path,
// else from the whole setup file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/payload/payload-archive.h"
#include "update/download/range-fetch.h"
#include "update/download/update-run.h"
#include "update/download/whole-package.h"

namespace qv::setup {

struct DownloadTimeouts {
  std::uint32_t range_group_ms = kRangeGroupTimeoutMs;  // each range request
  std::uint32_t package_ms = kPackageDownloadTimeoutMs; // the whole setup file
};

// Writes the wanted entries (by name) into `staging` and returns one
// InstalledFile per file ('/' path, the manifest's SHA-256). On the parts
// path it fetches them with FetchRanges from run.release.package_url; when
// the server answers a range request whole (or with another part) it writes
// why to the update log (WholePackageInsteadLine), removes what it wrote,
// turns run.parts and run.result.parts to false and takes the whole setup
// file (CheckDownloadedPackage, then ExtractPayload of the wanted entries). Calls
// platform.staged_files with `staging` when set. May be called more than
// once in a run; the whole setup file is downloaded and opened only once.
std::vector<InstalledFile> ObtainChangedFiles(UpdateRun& run, const std::filesystem::path& staging,
                                              const std::vector<PayloadEntry>& wanted,
                                              const DownloadTimeouts& timeouts = {});

// The update log's line for a run that takes the whole setup file because
// the server would not serve parts of it; `reason` is the HTTP client's text.
std::string WholePackageInsteadLine(const std::string& reason);

}  // namespace qv::setup
