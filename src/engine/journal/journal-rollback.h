#pragma once
// Undoing an update from its journal alone, after a crash, a power cut or a
// failed start of the new version, whatever point the update reached.

#include <string>
#include <string_view>

#include "engine/journal/update-journal.h"
#include "foundation/files/file-system-view.h"

namespace qv::setup {

// Whether every step is one a commit can have written: a step IsJournalStep
// takes, naming the installation's items by the names they are stored under
// (IsStoredAsNamed: a short 8.3 name in a step, "CUSA09~1/chunk1.psarc",
// would move the item it stands for, which no name test of the step ever
// saw). A journal that holds any other step is not this system's record and
// is refused whole. Steps are judged with the game's data found in the
// installation (FindGameDataRootsOfNames). False with the first such step's
// reason in `message` ("<path> is <stored path> under another name", "<path>
// lies in the game's data, ...").
bool CheckJournalSteps(const UpdateJournal& journal, std::string* message = nullptr);

// Undoes the journal's steps, last first, deciding each move from what the
// installation, staging and backup folders hold:
//   'a'  the new file goes back to staging; folders it emptied are removed;
//   'r'  with a backup: the new file goes back to staging, the old one back
//        into place; without a backup the step never started;
//   'd'  with a backup: the old file goes back into place.
// A step on the game's data or the player's files (OwnerOfName with the
// installation's game-data roots: only those IsWrittenByUpdates names, such
// as "icon0.png" and "install-notes.txt") never moves the file in place: the
// backup copy comes back only where nothing is in place, and is deleted
// otherwise.
// Nothing in the installation is ever overwritten: a file in the way of an
// old one stays and fails its step. In the staging folder, the update's own,
// a file under the name of a new file moving back is replaced; a folder there
// fails the step.
// Goes on past failures and returns false when any step failed, with the
// text of the earliest step that failed in `message` ("could not restore " +
// path + ": " + the reason). A journal that CheckJournalSteps refuses moves
// nothing at all: false with its text. Never raises for file-system errors.
// The end of the text of a step that only the user can clear: a folder
// stands where the old file goes back, or where the new one goes back in the
// staging folder (the folder is named before it).
inline constexpr std::string_view kMoveThatFolder = "; move that folder elsewhere";

bool RollBackJournal(const UpdateJournal& journal, std::string* message = nullptr,
                     const FileSystemView& view = SystemView());

}  // namespace qv::setup
