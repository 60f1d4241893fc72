#include "update/download/changed-files.h"

#include <stdexcept>

namespace qv::setup {

std::vector<InstalledFile> ObtainChangedFiles(UpdateRun&, const std::filesystem::path&,
                                              const std::vector<PayloadEntry>&, const DownloadTimeouts&) {
  throw std::runtime_error("Downloading the changed files is not part of this build yet.");
}

}  // namespace qv::setup
