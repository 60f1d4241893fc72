#pragma once
// The texts of the updater window, its result dialog and the route windows, in
// the fourteen languages the game offers. The game passes its own language as
// an index ("--lang"), so the windows speak the language the player chose in
// the game rather than the one Windows runs in. Log lines, result files and
// the outcome's detail stay English and never come from here.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::setup {

// The keys of the table. The numbers are part of the interface: the route
// workers post a key as the wParam of their status message.
enum class UpdaterText : int {
  kTitle = 0,             // updater window title
  kWaitingForGame = 1,    // phase 0
  kCheckingVersion = 2,   // phase 1
  kDownloading = 3,       // phase 2, "{1}" = the new version
  kVerifying = 4,         // phase 3
  kInstalling = 5,        // phase 4, "{1}" = the new version
  kStartingGame = 6,      // phase 5
  kUpdateFailed = 7,      // result dialog, update failed
  kRolledBack = 8,        // result dialog, new version rolled back
  kReleasePageHint = 9,   // result dialog, first content line
  kOpenReleasePage = 10,  // result dialog button
  kClose = 11,            // result dialog button
  kCancel = 12,           // updater window button
  kDetails = 13,          // result dialog, prefix of the English detail
  kElevationNotice = 14,  // updater window while Windows asks for rights
  kUpdateBroken = 15,     // result dialog, neither finished nor undone
  kDlss5Title = 16,       // DLSS 5 route window title
  kInstallingDlss5 = 17,
  kRemovingDlss5 = 18,
  kFrameGenerationTitle = 19,  // frame-generation route window title
  kInstallingFrameGeneration = 20,
  kRemovingFrameGeneration = 21,
  kReinstallingFrameGeneration = 22,
  kReinstallingDlss5 = 23,
  kCheckingInstalledFiles = 24,  // route status
  kDlss5Failed = 25,             // route failure notice
  kFrameGenerationFailed = 26,   // route failure notice
  kRouteGameStillRunning = 27,   // route notice: the game did not close, nothing was changed
  kRouteLeftToAnotherRun = 28,   // route notice: another run holds the installation and the game
};

inline constexpr int kUpdaterLanguageCount = 14;
inline constexpr int kUpdaterTextCount = 29;
inline constexpr int kEnglishLanguage = 0;
inline constexpr int kArabicLanguage = 9;

// The stored entry, "{1}" still in place; empty for a key outside the table.
// A language outside 0..13 gives English.
std::string_view UpdaterTextTemplate(int language, UpdaterText key);

// The entry with its first "{1}" replaced by the argument (later occurrences
// stay); texts without a placeholder come back unchanged whatever the argument.
// A language outside 0..13 gives English; a key outside the table gives "".
std::string UpdaterTextFor(int language, UpdaterText key, std::string_view argument = {});

// Replaces the first "{1}" of the text by the argument.
std::string FillPlaceholder(std::string_view text, std::string_view argument);

// True only for Arabic: its windows and dialogs take the right-to-left layout.
bool IsRightToLeftLanguage(int language);

// The language's English name ("German"), for messages about the table; "" outside it.
std::string_view UpdaterLanguageName(int language);

// The key of an update phase's status line: phase + 1 for phases 0 to 4, the
// "Starting" line for phase 5 and any other value.
UpdaterText PhaseTextKey(int phase);

// The updater window's status line (UTF-8): the phase's text with the version
// in place of "{1}", and " N%" appended while downloading (phase 2) or
// installing (phase 4) once a percentage is known (percent >= 0).
std::string PhaseLine(int language, int phase, std::string_view version, int percent);

}  // namespace qv::setup
