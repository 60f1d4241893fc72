#pragma once

#include <string>

#include "selftest/fixtures/fixture-files.h"

namespace qv::setup {

// The one-line "qv-files.json" text for `files`: each entry with its path
// (written as it is: pass paths without '"' or '\'), its content's size and a
// digest of 64 '0' characters, then a line feed.
std::string RenderFilesJson(const FixtureFiles& files);

}  // namespace qv::setup
