#include "setup/install/verify-setup.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/crypto/setup-integrity.h"
#include "foundation/hooks.h"

namespace {

std::string Outcome() {
  try {
    qv::setup::VerifySetupIntegrity();
    return "passed";
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

// The file check itself is shown end to end on the built program (a changed
// byte, an appended overlay); here: cancellation comes first, and the check's
// answer decides the rest.
TEST(VerifySetup, CancelFirstThenTheFileCheck) {
  const std::string expected = qv::setup::CheckSetupIntegrity() ? "passed" : qv::setup::kDamagedSetupMessage;
  qv::setup::CancelHook = nullptr;
  EXPECT_EQ(Outcome(), expected);
  qv::setup::CancelHook = [] { return false; };
  EXPECT_EQ(Outcome(), expected);
  qv::setup::CancelHook = [] { return true; };
  EXPECT_EQ(Outcome(), "Installation cancelled.");
  qv::setup::CancelHook = nullptr;
}

}  // namespace
