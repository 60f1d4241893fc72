#pragma once
// An update of an installation cut short half-way through its commit, as a
// killed or still running run leaves it beside and inside the installation.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "engine/journal/update-journal.h"

namespace qv::test {

// The update of `install` by the run `run`: "qv.exe" replaced (the old one,
// "the old qv.exe", in the backup folder, the new one, "the new qv.exe", in
// place) and "shaders/new.spv" moved in from the staging folder, which stays
// empty; its journal written in `state`. Fails the test when the journal
// cannot be written.
qv::setup::UpdateJournal PlantUpdate(const std::filesystem::path& install, std::string_view run, std::int32_t state);

}  // namespace qv::test
