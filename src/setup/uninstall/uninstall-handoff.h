#pragma once
// How an uninstaller that runs from inside the installation gets out of the
// way: a running program cannot delete its own file, and a process whose file
// or current folder lies in the installation keeps it from being removed. So
// it copies itself into the user's temporary folder, starts the copy there to
// do the work, and ends; the copy finally has the command interpreter delete
// its file once it has ended.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

inline constexpr std::wstring_view kTemporaryCopyPrefix = L"qv-uninstall-";

// "qv-uninstall-" + the process id in decimal + ".exe".
std::wstring TemporaryCopyName(std::uint32_t process_id);

// True for exactly the names TemporaryCopyName makes: the prefix, 1 to 10
// decimal digits, ".exe", nothing else (letter case as made).
bool IsTemporaryCopyName(std::wstring_view name);

// The copy's command line: QuoteArg(copy) + " --uninstall" + (" --silent"
// when the user's own uninstall is silent) + " --self-delete" +
// (" --remove-data" when asked) + " " + QuoteArg(folder). The user has
// answered the question already; a copy that is not silent tells them at the
// end how many files it removed, as the uninstaller they started promised.
std::wstring TemporaryCopyCommandLine(const std::filesystem::path& copy, const std::filesystem::path& folder,
                                      bool remove_data, bool silent);

// Copies `own` into the user's temporary folder as TemporaryCopyName(this
// process) (replacing a file of that name) and starts the copy there, with
// TemporaryCopyCommandLine, the temporary folder as its current folder and no
// inherited handles. True when the copy runs; then this process must do
// nothing more. False when it could not be written or started (a copy that
// did not start is deleted again).
bool HandOffToTemporaryCopy(const std::filesystem::path& own, const std::filesystem::path& folder, bool remove_data,
                            bool silent);

// What the command interpreter runs to delete the copy once it has ended:
// wait about one second (two echo requests to the local host), then delete
// `copy_name`, a bare file name in its current folder.
std::wstring SelfDeleteCommandLine(std::wstring_view copy_name);

// Starts the system's own "cmd.exe" (from the system folder, never searched
// for) without a window and with AutoRun commands off, in `own`'s folder, to
// delete `own` by its bare name: no text the user could choose reaches the
// interpreter, whose quoting rules no path could survive (it expands %NAME%
// even inside quotation marks, and &, ^ and parentheses are its syntax). The
// interpreter does not look for programs in that folder either. Does nothing
// unless `own`'s name IsTemporaryCopyName. Failures are ignored.
void StartSelfDeletion(const std::filesystem::path& own);

}  // namespace qv::setup
