#include "setup/modes/verify-integrity-mode.h"

#include "foundation/result-file.h"
#include "setup/install/verify-setup.h"

namespace qv::setup {

int RunVerifyIntegrityMode(const std::filesystem::path& result) {
  RequireAcceptableResultFile(result);
  VerifySetupIntegrity();
  WriteResultFile(result, "PASS integrity verified\n");
  return 0;
}

}  // namespace qv::setup
