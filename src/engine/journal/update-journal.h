#pragma once
// The update journal "data/update-journal.txt": everything needed to undo or
// finish an in-place update after a crash, a power cut or a failed start of
// the new version. It is written before the first file moves and names the
// installation, the staging folder with the new files, the backup folder that
// receives every replaced or removed file, and each planned step. Lines end in
// LF alone:
//   qv-update-journal 1
//   state=swapping | swapped | started
//   install=<folder>   staging=<folder>   backup=<folder>   download=<folder or nothing>
//   old_version=<text>   new_version=<text>   pid=<decimal>
//   step=<a|r|d> <relative path>          (one per planned file, in plan order)

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

inline constexpr std::int32_t kJournalSwapping = 0;  // files are moving; a recovery rolls back
inline constexpr std::int32_t kJournalSwapped = 1;   // all in place; the backup waits for the start
inline constexpr std::int32_t kJournalStarted = 2;   // the new version started; only clean-up is left

inline constexpr std::string_view kJournalHeader = "qv-update-journal 1";

// Prefixes of the temporary folders beside an installation.
inline constexpr std::string_view kInstallStagingPrefix = ".qv-install-";
inline constexpr std::string_view kUpdateStagingPrefix = ".qv-update-";
inline constexpr std::string_view kUpdateBackupPrefix = ".qv-update-old-";
inline constexpr std::string_view kUpdateRepairPrefix = ".qv-update-fix-";
inline constexpr std::string_view kUpdateDownloadPrefix = ".qv-update-dl-";

struct JournalStep {
  char kind = 0;     // 'a' added, 'r' replaced, 'd' deleted
  std::string path;  // relative to all three folders, as planned ('/' separators)
};

struct UpdateJournal {
  std::int32_t state = kJournalSwapping;
  std::filesystem::path install;
  std::filesystem::path staging;
  std::filesystem::path backup;
  std::filesystem::path download;  // empty when the update has no download folder
  std::string old_version;
  std::string new_version;
  std::uint64_t pid = 0;  // the process that runs the update; 0 when none was given
  std::vector<JournalStep> steps;
};

// installation / "data" / "update-journal.txt"; touches nothing on disk.
std::filesystem::path UpdateJournalPath(const std::filesystem::path& installation);

// installation / "data" / "update-journal.kept-<run>.txt": where a run that
// commits sets aside a journal that recovery kept, rather than write over it.
std::filesystem::path SetAsideJournalPath(const std::filesystem::path& installation, std::string_view run);

// The journals set aside in the installation's "data" folder, sorted.
std::vector<std::filesystem::path> SetAsideJournalPaths(const std::filesystem::path& installation,
                                                        const FileSystemView& view = SystemView());

// Writes the journal through "<journal>.new" and one rename that replaces the
// old journal, so a reader sees the old or the new complete text; the rename
// is retried like every file move of an update (RenameWithRetry) while a
// reader holds the journal open. False when the text cannot be written or
// renamed into place (the ".new" file may stay; the journal is then
// untouched), and, before anything is written, when the reader would not take
// the text back: a version or path holding a line break, a step of unknown
// kind or with an unsafe path. Raises the conversion error of ToGenericUtf8
// for a folder path that is not valid Unicode.
bool WriteUpdateJournal(const std::filesystem::path& journal_path, const UpdateJournal& journal);

// The journal at `journal_path`, validated: it must name as its installation
// the folder that holds its "data" folder, staging and backup folders directly
// beside that installation with the update prefixes (and a download folder
// likewise when one is named), a known state, and only steps IsJournalStep
// takes, judged with the game's data found in that installation
// (FindGameDataRootsOfNames). The installation and the folders come back in
// their weakly canonical form (letter case as on disk), which is also the
// form in which they are compared. Nothing for a missing, unreadable, malformed or refused journal,
// with the reason in `why` (when given) as the end of a sentence ("it names
// another installation than the one that holds it", "cusa09901/CHUNK1.PSARC
// lies in the game's data, ...").
// A value that is not valid UTF-8 refuses the journal ("its step line is not
// valid UTF-8"). A refusal met behind a passing error (the journal held open,
// access refused or a drive not ready on the way to it or to a folder it
// names) proves nothing about the journal: `passing_error` (when given) then
// holds that error, and `why` its text. Raises filesystem_error "absolute"
// when the journal path cannot be made absolute.
std::optional<UpdateJournal> ReadUpdateJournal(const std::filesystem::path& journal_path,
                                               std::string* why = nullptr,
                                               std::error_code* passing_error = nullptr);

// Whether a journal may hold this step, and so whether the commit may plan it:
// kind 'a', 'r' or 'd'; a path that cannot leave the folders it is joined
// under (IsSafeRelativePath); no element that names a device (NUL, COM1.txt,
// ...); nothing under "data" in any spelling the file system folds together
// (the commit never writes there); no file of the player's or the game's
// (OwnerOfName, with the installation's `game_data_roots` when the caller
// knows them: nothing in a folder that holds the game's archive pair) but
// those an update writes itself, by their exact names (IsWrittenByUpdates:
// the game's files copied from the player's game, a restored title picture,
// the install notes and the shortcut icon); and no 'd' step for anything
// IsPreservedUserPath keeps (the leftover sweep never lists it). A damaged or
// planted journal can thus never make a rollback move or replace the
// player's files. Never raises: invalid UTF-8 is refused.
bool IsJournalStep(char kind, std::string_view path, const std::vector<std::string>& game_data_roots = {});

// Why IsJournalStep refuses the step, as the end of a sentence that begins
// with the path ("lies under data/", "is one of the player's files, which no
// update writes"); empty when it takes it.
std::string WhyNoJournalStep(char kind, std::string_view path, const std::vector<std::string>& game_data_roots = {});

// Whether `candidate` is one of the update's temporary folders: directly
// beside `installation` (same parent folder), not the installation itself, and
// named `prefix` followed by at least one more character.
bool IsUpdateTempFolder(const std::filesystem::path& installation, const std::filesystem::path& candidate,
                        std::string_view prefix);

}  // namespace qv::setup
