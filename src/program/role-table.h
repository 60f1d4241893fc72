#pragma once
// The roles of the program in the order the command line is offered to them.

#include <windows.h>

#include <vector>

#include "program/role-dispatch.h"

namespace qv::setup {

// What wWinMain was started with, for the windowed roles.
struct ProgramStart {
  HINSTANCE instance = nullptr;
  int show_command = SW_SHOWNORMAL;
};

// The fixed order: the updater, the route queue, the DLSS 5 route and the
// frame-generation route (each by its own parser), the window capture, the
// setup window (no arguments), uninstall, then the test modes "--install",
// "--check-update", "--range-test", "--verify-integrity" and "--self-test".
std::vector<RoleRow> SetupRoles(const ProgramStart& start);

}  // namespace qv::setup
