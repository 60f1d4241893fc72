#pragma once
// The self test of updating an installation in place, without the whole
// install transaction: an older installation (with and without its install
// manifest) takes a staged newer release through the commit, which must
// place the new files, sweep the old ones and leave every file of the player
// alone; a commit forced to fail must undo itself exactly. Around it, the
// judgement of destination folders and result files, the player's reserved
// "data" folder under every spelling Windows resolves to it, the write probe,
// the data folder of a custom installation folder, the payload's upscaler
// runtimes and the question asked before reinstalling the same version.

#include <filesystem>
#include <string>

namespace qv::setup {

// Works in `folder` (made as needed) and returns its failure tokens, empty on
// success. Writes nothing outside `folder`, which stays for the self test's
// root to take away. Only the fixture builders, the reads of destinations the
// test must be able to read, and folder creation end the test with their
// exception; every other failure becomes a token.
std::string SelfTestUpdate(const std::filesystem::path& folder);

}  // namespace qv::setup
