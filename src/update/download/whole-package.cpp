#include "update/download/whole-package.h"

#include <stdexcept>

namespace qv::setup {

void DownloadWholePackage(UpdateRun&, std::uint32_t) {
  throw std::runtime_error("Downloading the whole setup file is not part of this build yet.");
}

void CheckDownloadedPackage(UpdateRun&, std::uint32_t) {
  throw std::runtime_error("Downloading the whole setup file is not part of this build yet.");
}

}  // namespace qv::setup
