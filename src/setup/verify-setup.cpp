#include "setup/verify-setup.h"

#include <stdexcept>

#include "foundation/hooks.h"
#include "foundation/setup-integrity.h"

namespace qv::setup {

void VerifySetupIntegrity() {
  ThrowIfCancelled();
  if (!CheckSetupIntegrity()) throw std::runtime_error(kDamagedSetupMessage);
}

}  // namespace qv::setup
