#pragma once
// What the groups of the title-picture self test share: the test payload
// every run installs, the title picture every check compares with, the
// dumps they write, and one update run of the install engine.

#include <filesystem>
#include <string>

#include "engine/install-outcome.h"
#include "foundation/crypto/file-hash.h"

namespace qv::setup {

struct TitleTest {
  std::filesystem::path folder;  // the test folder; every group works below it
  FileHasher hash;
  std::string payload;  // "qv.exe" "new exe" and "shaders/new.spv" "new shader"
};

// Builds the test payload in folder/"payload-scratch".
TitleTest PrepareTitleTest(const std::filesystem::path& folder, const FileHasher& hash);

// The game's title picture as the dumps carry it: a 69-byte PNG.
const std::string& TitlePictureBytes();

// Writes a dump's "sce_sys/pic1.png" (`picture`) and "sce_sys/param.sfo"
// (the identifiers; an empty content identifier is left out).
void WriteDumpTitleFiles(const std::filesystem::path& dump, const std::string& picture, const std::string& title_id,
                         const std::string& content_id);

// `installation`/`title_folder`/"sce_sys"/"pic1.png".
std::filesystem::path InstalledTitlePicture(const std::filesystem::path& installation,
                                            const std::wstring& title_folder = L"CUSA09901");

// One update of `destination` by the install engine with the title test's
// hooks for `run_id`, no shortcut; `source` may be empty.
InstallOutcome RunTitleUpdate(const TitleTest& test, const std::filesystem::path& source,
                              const std::filesystem::path& destination, const std::string& run_id);

}  // namespace qv::setup
