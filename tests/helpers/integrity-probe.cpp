// Checks its own file as the setup program does: exit code 0 when the check
// passes, 1 when it fails. Built with the same integrity stamp as the program.

#include "foundation/setup-integrity.h"

int main() { return qv::setup::CheckSetupIntegrity() ? 0 : 1; }
