#pragma once
// Undoing an update from its journal alone, after a crash, a power cut or a
// failed start of the new version, whatever point the update reached.

#include <string>

#include "engine/update-journal.h"
#include "foundation/file-system-view.h"

namespace qv::setup {

// Undoes the journal's steps, last first, deciding each move from what the
// installation, staging and backup folders hold:
//   'a'  the new file goes back to staging; folders it emptied are removed;
//   'r'  with a backup: the new file goes back to staging, the old one back
//        into place; without a backup the step never started;
//   'd'  with a backup: the old file goes back into place.
// Nothing in the installation is ever overwritten: a file in the way of an
// old one stays and fails its step. In the staging folder, the update's own,
// a file under the name of a new file moving back is replaced; a folder there
// fails the step.
// Goes on past failures and returns false when any step failed, with the
// text of the earliest step that failed in `message` ("could not restore " +
// path + ": " + the reason). Never raises for file-system errors.
bool RollBackJournal(const UpdateJournal& journal, std::string* message = nullptr,
                     const FileSystemView& view = SystemView());

}  // namespace qv::setup
