#include "setup/install/verify-setup.h"

#include <stdexcept>

#include "foundation/crypto/setup-integrity.h"
#include "foundation/hooks.h"

namespace qv::setup {

void VerifySetupIntegrity() {
  ThrowIfCancelled();
  if (!CheckSetupIntegrity()) throw std::runtime_error(kDamagedSetupMessage);
}

}  // namespace qv::setup
