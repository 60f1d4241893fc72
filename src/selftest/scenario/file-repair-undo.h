#pragma once
// The later scenarios of the file-level update self test: the repair of an
// up-to-date installation, the repair of a file found damaged after the
// commit, and the undo of an update that fails or crashes half-way.

#include <string>

#include "selftest/scenario/file-test-run.h"

namespace qv::setup {

// Repairs test.folder/"old"/"QV" as the first update variant left it.
void RunRepairScenarios(const FileTest& test, std::string& tokens);

// Breaks updates of fresh installations in test.folder/"undo0" and "undo1".
void RunUndoScenarios(const FileTest& test, std::string& tokens);

}  // namespace qv::setup
