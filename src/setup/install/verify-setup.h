#pragma once

namespace qv::setup {

inline constexpr const char* kDamagedSetupMessage =
    "This setup file is damaged or was modified. Please download it again.";

// The check of the running setup file that installing starts with: raises
// "Installation cancelled." once the user has cancelled, and the damaged-setup
// sentence when the file does not match its stamped digest.
void VerifySetupIntegrity();

}  // namespace qv::setup
