#include "engine/journal/update-journal.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <system_error>

#include "engine/leftover-sweep.h"
#include "engine/path-classes.h"
#include "engine/transaction/file-moves.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/create-folders.h"
#include "foundation/files/file-reads.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/files/stored-names.h"
#include "foundation/files/whole-file.h"
#include "foundation/payload/payload-checks.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// Far above any real journal (a few hundred steps of short paths), low enough
// that a damaged file cannot make the reader hold gigabytes.
constexpr std::uint64_t kMaxJournalBytes = 64u << 20;

std::string_view StateWord(std::int32_t state) {
  if (state == kJournalSwapping) return "swapping";
  if (state == kJournalSwapped) return "swapped";
  return "started";
}

std::optional<std::int32_t> StateFromWord(std::string_view word) {
  if (word == "swapping") return kJournalSwapping;
  if (word == "swapped") return kJournalSwapped;
  if (word == "started") return kJournalStarted;
  return std::nullopt;
}

bool HoldsLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The journal's text, or nothing when the reader would not take it back as it
// was meant: a value that breaks the line structure, or a step it refuses. A
// journal that its reader refuses is deleted by the next recovery, with it the
// only record of what to undo.
std::optional<std::string> RenderJournal(const UpdateJournal& journal) {
  std::string text;
  auto line = [&](std::string_view key, std::string_view value) {
    text.append(key).append("=").append(value).append("\n");
    return !HoldsLineBreak(value);
  };
  bool sound = true;
  text.append(kJournalHeader).append("\n");
  sound &= line("state", StateWord(journal.state));
  sound &= line("install", ToGenericUtf8(journal.install));
  sound &= line("staging", ToGenericUtf8(journal.staging));
  sound &= line("backup", ToGenericUtf8(journal.backup));
  sound &= line("download", ToGenericUtf8(journal.download));
  sound &= line("old_version", journal.old_version);
  sound &= line("new_version", journal.new_version);
  sound &= line("pid", std::to_string(journal.pid));
  for (const JournalStep& step : journal.steps) {
    sound &= line("step", std::string(1, step.kind) + " " + step.path) && IsJournalStep(step.kind, step.path);
  }
  if (!sound) return std::nullopt;
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// An unsigned decimal number the way the C library's strtoull reads one:
// leading white space, an optional sign (a minus negates modulo 2^64), the
// digits up to the first other character; no digits give 0 and a number
// beyond 64 bits the largest value.
std::uint64_t ReadUnsignedDecimal(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  bool overflow = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[at] - '0');
    if (value > (kMax - digit) / 10) overflow = true;
    if (!overflow) value = value * 10 + digit;
  }
  if (overflow) return kMax;
  return negative ? 0 - value : value;
}

// Nothing, with the reason in `why`.
std::nullopt_t Refused(std::string* why, std::string reason) {
  if (why) *why = std::move(reason);
  return std::nullopt;
}

// A step value "<kind> <path>"; nothing when it is malformed or names a step
// no commit makes (IsJournalStep), with the reason in `why`.
std::optional<JournalStep> ParseStep(std::string_view value, std::string* why) {
  if (value.size() < 3 || value[1] != ' ') return Refused(why, "the step \"" + std::string(value) + "\" is malformed");
  const char kind = value[0];
  std::string_view path = value.substr(2);
  // Invalid UTF-8 raises, as every path value of the journal does.
  if (!IsSafeRelativePath(path)) return Refused(why, std::string(path) + " is not a safe name for a file");
  if (std::string reason = WhyNoJournalStep(kind, path); !reason.empty()) {
    return Refused(why, std::string(path) + " " + reason);
  }
  return JournalStep{kind, std::string(path)};
}

// One "key=value" line into `journal`; false for a defect that refuses the
// whole journal, with the reason in `why`. Raises for invalid UTF-8.
bool ParseLine(UpdateJournal& journal, std::string_view key, std::string_view value, bool& state_seen,
               std::string* why);

// The record as the lines say, before validation; nothing for a defect that
// refuses the whole journal, with the reason in `why`. `state_seen` tells
// whether a state line came.
std::optional<UpdateJournal> ParseJournal(std::string_view text, bool& state_seen, std::string* why) {
  state_seen = false;
  // The header line must match exactly: no carriage return is taken off it.
  if (TakeLine(text) != kJournalHeader) return Refused(why, "it is not an update journal");

  UpdateJournal journal;
  while (!text.empty()) {
    std::string_view line = TakeLine(text);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (line.empty() || equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    // A value that is not valid UTF-8 (one damaged byte) makes the journal
    // as unusable as any other damage: refused, never raised past recovery.
    try {
      if (!ParseLine(journal, key, value, state_seen, why)) return std::nullopt;
    } catch (const std::system_error&) {
      return Refused(why, "its " + std::string(key) + " line is not valid UTF-8");
    }
  }
  return journal;
}

bool ParseLine(UpdateJournal& journal, std::string_view key, std::string_view value, bool& state_seen,
               std::string* why) {
  {
    if (key == "state") {
      std::optional<std::int32_t> state = StateFromWord(value);
      if (!state) {
        Refused(why, "its state \"" + std::string(value) + "\" is none of an update's");
        return false;
      }
      journal.state = *state;
      state_seen = true;
    } else if (key == "install") {
      journal.install = PathFromUtf8(value);
    } else if (key == "staging") {
      journal.staging = PathFromUtf8(value);
    } else if (key == "backup") {
      journal.backup = PathFromUtf8(value);
    } else if (key == "download") {
      journal.download = PathFromUtf8(value);
    } else if (key == "old_version") {
      journal.old_version = value;
    } else if (key == "new_version") {
      journal.new_version = value;
    } else if (key == "pid") {
      journal.pid = ReadUnsignedDecimal(value);
    } else if (key == "step") {
      auto step = ParseStep(value, why);
      if (!step) return false;
      journal.steps.push_back(std::move(*step));
    }
  }
  return true;
}

// The weakly canonical form of a non-empty path in place; false when it
// cannot be computed.
bool MakeWeaklyCanonical(fs::path& path) {
  if (path.empty()) return true;
  std::error_code error;
  fs::path canonical = WeaklyCanonicalPath(path, error);
  if (error || canonical.empty()) return false;
  path = std::move(canonical);
  return true;
}

// Errors that say nothing about the journal itself: the item is there but
// cannot be reached for now (held open, access refused, a drive not ready).
bool IsPassingError(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NETPATH:
    case ERROR_NETWORK_BUSY:
    case ERROR_SEM_TIMEOUT:
    case ERROR_IO_DEVICE:
      return true;
    default:
      return false;
  }
}

// The passing error met when the journal's text is opened, or when `path` or
// a folder above it is looked up; empty when there is none.
std::error_code PassingOpenError(const fs::path& journal_path) {
  const HANDLE file = ::CreateFileW(ApiPath(journal_path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
    return {};
  }
  const DWORD code = ::GetLastError();
  return IsPassingError(code) ? std::error_code(static_cast<int>(code), std::system_category()) : std::error_code();
}

std::error_code PassingLookupError(const fs::path& path) {
  for (fs::path at = path; !at.empty(); at = ParentFolder(at)) {
    if (::GetFileAttributesW(ApiPath(at).c_str()) == INVALID_FILE_ATTRIBUTES) {
      const DWORD code = ::GetLastError();
      if (IsPassingError(code)) return {static_cast<int>(code), std::system_category()};
    }
    if (ParentFolder(at) == at) break;
  }
  return {};
}

// The journal read as ParseJournal gives it, checked against the
// installation that holds it (see ReadUpdateJournal).
std::optional<UpdateJournal> ValidateJournal(const fs::path& journal_path, UpdateJournal read, bool state_seen,
                                             std::string* why);

}  // namespace

fs::path UpdateJournalPath(const fs::path& installation) { return installation / L"data" / L"update-journal.txt"; }

namespace {
constexpr std::wstring_view kSetAsidePrefix = L"update-journal.kept-";
constexpr std::wstring_view kSetAsideSuffix = L".txt";
}  // namespace

fs::path SetAsideJournalPath(const fs::path& installation, std::string_view run) {
  return installation / L"data" /
         (std::wstring(kSetAsidePrefix) + Utf8ToWide(std::string(run)) + std::wstring(kSetAsideSuffix));
}

std::vector<fs::path> SetAsideJournalPaths(const fs::path& installation, const FileSystemView& view) {
  std::vector<fs::path> paths;
  const fs::path data = installation / L"data";
  for (const FolderEntry& entry : ListEntries(data, view)) {
    const std::wstring& name = entry.name;
    if (entry.info.IsFolder() || name.size() <= kSetAsidePrefix.size() + kSetAsideSuffix.size()) continue;
    if (name.starts_with(kSetAsidePrefix) && name.ends_with(kSetAsideSuffix)) paths.push_back(data / name);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool WriteUpdateJournal(const fs::path& journal_path, const UpdateJournal& journal) {
  std::optional<std::string> text = RenderJournal(journal);
  if (!text) return false;
  try {
    CreateFolders(ParentFolder(journal_path));
  } catch (const fs::filesystem_error&) {
    // The write below fails and says so.
  }
  fs::path staged = journal_path;
  staged += L".new";
  if (!WriteWholeFile(staged, *text)) return false;
  // Retried: a reader (the game confirming its start, the updater watching
  // for it) may hold the journal open for a moment, and a failed rewrite
  // would leave the journal in its former state.
  try {
    RenameWithRetry(staged, journal_path, ExistingTarget::kReplace);
  } catch (const fs::filesystem_error&) {
    return false;
  }
  return true;
}

std::optional<UpdateJournal> ReadUpdateJournal(const fs::path& journal_path, std::string* why,
                                               std::error_code* passing_error) {
  if (passing_error) passing_error->clear();
  // A refusal proves damage only when nothing stood between the reader and
  // what it looked up.
  auto passing = [&](std::error_code error) {
    if (error && passing_error) *passing_error = error;
    if (error && why) *why = error.message();
  };
  const std::string text = ReadSmallFile(journal_path, kMaxJournalBytes);
  if (text.empty()) {
    if (std::error_code error = PassingOpenError(journal_path)) {
      passing(error);
      return std::nullopt;
    }
  }
  bool state_seen = false;
  std::optional<UpdateJournal> journal = ParseJournal(text, state_seen, why);
  if (!journal) return std::nullopt;
  const fs::path named[] = {journal->install, journal->staging, journal->backup, NormalAbsolutePath(journal_path)};
  std::optional<UpdateJournal> read = ValidateJournal(journal_path, std::move(*journal), state_seen, why);
  if (!read && passing_error) {
    for (const fs::path& folder : named) {
      if (std::error_code error = PassingLookupError(folder)) {
        passing(error);
        break;
      }
    }
  }
  return read;
}

namespace {

std::optional<UpdateJournal> ValidateJournal(const fs::path& journal_path, UpdateJournal read, bool state_seen,
                                             std::string* why) {
  std::optional<UpdateJournal> journal = std::move(read);

  // The journal may only speak for the installation that holds it. Both sides
  // are compared in the weakly canonical form, so two spellings of one folder
  // (letter case, short names, a link on the way) are the same installation.
  const fs::path absolute = NormalAbsolutePath(journal_path);
  std::error_code error;
  const fs::path expected = WeaklyCanonicalPath(ParentFolder(ParentFolder(absolute)), error);
  if (!state_seen) return Refused(why, "it has no state");
  constexpr std::string_view kOther = "it names another installation than the one that holds it";
  if (error || expected.empty() || journal->install.empty()) return Refused(why, std::string(kOther));
  fs::path install = journal->install;
  if (!MakeWeaklyCanonical(install) || install != expected) return Refused(why, std::string(kOther));
  journal->install = expected;
  constexpr std::string_view kElsewhere = "its staging, backup or download folder is not the update's own beside the installation";
  if (!MakeWeaklyCanonical(journal->staging) || !MakeWeaklyCanonical(journal->backup) ||
      !MakeWeaklyCanonical(journal->download)) {
    return Refused(why, std::string(kElsewhere));
  }

  if (!IsUpdateTempFolder(journal->install, journal->staging, kUpdateStagingPrefix) ||
      !IsUpdateTempFolder(journal->install, journal->backup, kUpdateBackupPrefix)) {
    return Refused(why, std::string(kElsewhere));
  }
  if (!journal->download.empty() && !IsUpdateTempFolder(journal->install, journal->download, kUpdateDownloadPrefix)) {
    return Refused(why, std::string(kElsewhere));
  }
  // The names alone were judged as the journal was read; what lies in a
  // folder of this installation that holds the game's archives is the
  // game's whatever its name, and no commit writes it.
  const std::vector<std::string> roots = FindGameDataRootsOfNames(journal->install);
  for (const JournalStep& step : journal->steps) {
    if (std::string reason = WhyNoJournalStep(step.kind, step.path, roots); !reason.empty()) {
      return Refused(why, step.path + " " + reason);
    }
  }
  return journal;
}

}  // namespace

std::string WhyNoJournalStep(char kind, std::string_view path, const std::vector<std::string>& game_data_roots) {
  constexpr std::string_view kUnsafe = "is not a safe name for a file of the installation";
  if (kind != 'a' && kind != 'd' && kind != 'r') return "is a step of unknown kind";
  try {
    // A name the system would store under another one ("new.spv." as
    // "new.spv", "a\\b" as a folder and a file) reaches an item its own
    // tests never saw.
    if (!IsSafeRelativePath(path) || NamesDevice(path) || !IsStorableName(path)) return std::string(kUnsafe);
  } catch (const std::system_error&) {
    return std::string(kUnsafe);
  }
  const std::string text(path);
  if (IsUnderDataFolder(text)) return "lies under data/";
  // Of the player's and the game's files, a commit writes only the few an
  // update brings itself, under the very names it writes them (never
  // "cusa09901/CHUNK1.PSARC", never another title folder's archive).
  if (!IsWrittenByUpdates(text)) {
    switch (OwnerOfName(text, game_data_roots)) {
      case NameOwner::kGame:
        return "lies in the game's data, which no update writes under that name";
      case NameOwner::kPlayer:
        return "is one of the player's files, which no update writes";
      case NameOwner::kPort:
        break;
    }
  }
  if (kind == 'd' && IsPreservedUserPath(text)) return "is kept for the player and never removed";
  return {};
}

bool IsJournalStep(char kind, std::string_view path, const std::vector<std::string>& game_data_roots) {
  return WhyNoJournalStep(kind, path, game_data_roots).empty();
}

bool IsUpdateTempFolder(const fs::path& installation, const fs::path& candidate, std::string_view prefix) {
  if (installation.empty() || candidate.empty()) return false;
  // Deleting "a temporary folder" that is the installation itself would take
  // the whole game with it.
  if (candidate == installation) return false;
  if (ParentFolder(candidate) != ParentFolder(installation)) return false;
  std::string name;
  try {
    name = ToGenericUtf8(candidate.filename());
  } catch (const std::system_error&) {
    return false;
  }
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         name.find_first_of("/\\") == std::string::npos;
}

}  // namespace qv::setup
