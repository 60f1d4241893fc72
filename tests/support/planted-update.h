#pragma once
// An update of an installation cut short half-way through its commit, as a
// killed or still running run leaves it beside and inside the installation.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/journal/update-journal.h"

namespace qv::test {

// The update of `install` by the run `run`: "qv.exe" replaced (the old one,
// "the old qv.exe", in the backup folder, the new one, "the new qv.exe", in
// place) and "shaders/new.spv" moved in from the staging folder, which stays
// empty; its journal written in `state`. Fails the test when the journal
// cannot be written.
qv::setup::UpdateJournal PlantUpdate(const std::filesystem::path& install, std::string_view run, std::int32_t state);

// Journals of an update cut short while "swapping" that no run used to
// finish, as damage, a changed drive letter or a file put back by hand leave
// them. Each is planted into an installation as it was before that update
// (a "qv.exe" and a "CUSA09901/chunk1.psarc" in place), and every run that
// recovers must leave that installation as it was: every file back, no
// journal, nothing beside the folder.
enum class StuckJournal {
  kUndecodable,       // one byte of a value is not UTF-8; the backup is empty
  kFileBackInPlace,   // "d qv.exe": its backup, and another "qv.exe" put back in place
  kOtherDriveLetter,  // named under another drive; the backup holds the only copy of the archive
};
inline constexpr StuckJournal kStuckJournals[] = {StuckJournal::kUndecodable, StuckJournal::kFileBackInPlace,
                                                 StuckJournal::kOtherDriveLetter};
const char* StuckJournalName(StuckJournal kind);

// Plants `kind` into `install`, written as text so that no rule of the
// writer stands between the test and the reader.
void PlantStuckJournal(const std::filesystem::path& install, StuckJournal kind);

// The text of the update log line that the recovery of `kind` writes.
std::string StuckJournalLogLine(StuckJournal kind);

}  // namespace qv::test
