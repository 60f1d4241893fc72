// A stand-in for the installed game "qv.exe", which cannot exist here: the
// tests place a copy in a game folder and see how the updater or a route
// window started it. Each start appends one record to
// "<its own folder>\data\qv-stand-in-runs.txt" ("data" is created when
// missing), written in one piece so that a reader never sees half a record:
//   run
//   arg <hexadecimal UTF-8 of one argument>     one line per argument, in order
//   folder <the current folder, UTF-8>
//   build <SHA-256 of its own file>             tells two copies apart
//   pid <its process id>                         lets a test end it
//   end
// Then it does what "<its own folder>\data\qv-stand-in-control.txt" says, one
// command a line, in order (without that file it exits with 0 at once):
//   confirm     confirms the start as the real game must: an update
//               journal "data\update-journal.txt" in state "swapped" is
//               rewritten as "started" (through "update-journal.txt.new" and
//               a rename, by the engine's own writer); a journal in any other
//               state stays as it is
//   sleep <ms>  waits
//   exit <code> exits with that code (the lines after it are not read)

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "engine/journal/update-journal.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/files/paths.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"

namespace {

std::string CurrentFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  buffer.resize(length);
  return qv::setup::WideToUtf8(buffer);
}

std::string Record(int argc, wchar_t** argv, const std::filesystem::path& own_path) {
  std::string record = "run\n";
  for (int i = 1; i < argc; ++i) {
    const std::string utf8 = qv::setup::WideToUtf8(argv[i]);
    record += "arg " + qv::setup::HexEncode(utf8.data(), utf8.size()) + "\n";
  }
  record += "folder " + CurrentFolder() + "\n";
  std::string build;
  try {
    build = qv::setup::HashFile(own_path);
  } catch (const std::exception&) {
    build = "unreadable";
  }
  record += "build " + build + "\npid " + std::to_string(::GetCurrentProcessId()) + "\nend\n";
  return record;
}

bool AppendRecord(const std::filesystem::path& data, const std::string& record) {
  ::CreateDirectoryW(qv::setup::ToLongPath(data.native()).c_str(), nullptr);
  const std::filesystem::path runs = data / L"qv-stand-in-runs.txt";
  qv::setup::UniqueFile file(::CreateFileW(qv::setup::ToLongPath(runs.native()).c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
         written == record.size();
}

// The new version's confirmation of its start. Only "swapped" names an update
// whose files are all in place and wait for this start. "swapping" is a
// commit cut off part-way: the game started from a mix of versions, and the
// next recovery must still roll the update back, which a "started" would
// turn into keeping the mix and deleting the backup. "started" needs nothing.
void ConfirmStart(const std::filesystem::path& game_folder) {
  const std::filesystem::path journal_path = qv::setup::UpdateJournalPath(game_folder);
  std::optional<qv::setup::UpdateJournal> journal = qv::setup::ReadUpdateJournal(journal_path);
  if (!journal || journal->state != qv::setup::kJournalSwapped) return;
  journal->state = qv::setup::kJournalStarted;
  qv::setup::WriteUpdateJournal(journal_path, *journal);
}

int FollowControlFile(const std::filesystem::path& game_folder) {
  std::ifstream control(game_folder / L"data" / L"qv-stand-in-control.txt", std::ios::binary);
  std::string line;
  while (std::getline(control, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "confirm") {
      ConfirmStart(game_folder);
    } else if (line.rfind("sleep ", 0) == 0) {
      ::Sleep(static_cast<DWORD>(std::strtoul(line.c_str() + 6, nullptr, 10)));
    } else if (line.rfind("exit ", 0) == 0) {
      return std::atoi(line.c_str() + 5);
    }
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv) return 99;
  const std::filesystem::path own_path = qv::setup::OwnExecutablePath();
  if (own_path.empty()) return 98;
  if (!AppendRecord(own_path.parent_path() / L"data", Record(argc, argv.get(), own_path))) return 97;
  return FollowControlFile(own_path.parent_path());
}
