#pragma once
// The later groups of the title-picture self test: the title guess (an update
// without any source finds the player's dump beside the installation) and
// the copies of the game from other regions.

#include <string>

#include "selftest/scenario/title-test-run.h"

namespace qv::setup {

// Works in test.folder/"side"; appends its tokens, " title-guess: " and the
// text of an exception that ends the group.
void RunTitleGuessGroup(const TitleTest& test, std::string& tokens);

// Works in test.folder/"eu"; appends its tokens, " region: " and the text of
// an exception that ends the group.
void RunRegionGroup(const TitleTest& test, std::string& tokens);

}  // namespace qv::setup
