#include "selftest/input-format-checks.h"

#include <exception>
#include <stdexcept>

#include "foundation/files/create-folders.h"
#include "foundation/files/rename-item.h"
#include "gamesource/game-source.h"
#include "gamesource/release-identification.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/icon-self-test.h"
#include "selftest/refusal-check.h"
#include "selftest/self-test-archives.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

// The usual names in a folder without "param.sfo", whose path list names the
// game's levels: found at the third search level, and without a single note.
std::string CheckFolderTwoLevelsDown(const fs::path& root, const fs::path& dump) {
  try {
    const GameSource source = ResolveGameSource(root);
    const bool found = source.kind == GameSourceKind::Folder && source.path == dump && source.files.notes.empty();
    return found ? "" : " folder-not-found";
  } catch (const std::exception& error) {
    return std::string(" folder:") + error.what();
  }
}

// A release that ships the chunk archive under another name: found, and told
// about in exactly one note.
std::string CheckRenamedChunkArchive(const fs::path& dump) {
  const std::error_code renamed =
      RenameItem(dump / L"chunk1.psarc", dump / L"data_ps4.psarc", ExistingTarget::kReplace);
  if (renamed) throw fs::filesystem_error("rename", dump / L"chunk1.psarc", dump / L"data_ps4.psarc", renamed);
  try {
    const GameSource source = ResolveGameSource(dump);
    const bool found = source.files.chunk.filename() == L"data_ps4.psarc" && source.files.notes.size() == 1;
    return found ? "" : " renamed-not-found";
  } catch (const std::exception& error) {
    return std::string(" renamed:") + error.what();
  }
}

// A "*.psarc" that does not begin with "PSAR" (as an encrypted one does not)
// is never the chunk archive, even as the only one: with nothing else there,
// the folder holds no game data.
std::string CheckArchiveWithoutMagic(const fs::path& dump) {
  WriteTextFile(dump / L"data_ps4.psarc", std::string(64, 'Z'));
  return RefusalFailure([&] { ResolveGameSource(dump); }, kNoGameDataRefusal, RefusalText::kStart,
                        " encrypted-accepted");
}

GameFiles FilesOfTitle(const std::string& title_id, const fs::path& path_id_list) {
  GameFiles files;
  files.title_id = title_id;
  files.path_id_list = path_id_list;
  return files;
}

// A known title of another region is accepted and the user told its region.
std::string CheckKnownRegion(const fs::path& dump) {
  GameFiles files = FilesOfTitle("CUSA09903", dump / L"pathid_list_ps4.bin");
  const bool accepted = IdentifyRelease(files);
  const bool told = !files.notes.empty() && files.notes.front().find("Europe") != std::string::npos;
  return accepted && told ? "" : " region-refused";
}

// An unknown title whose path list lacks the game's levels is another game.
std::string CheckOtherGame(const fs::path& dump) {
  WriteTextFile(dump / L"other_list.bin", "/Assets/other/level/" + std::string(40, 'x'));
  GameFiles files = FilesOfTitle("CUSA99999", dump / L"other_list.bin");
  return IdentifyRelease(files) ? " other-game-accepted" : "";
}

}  // namespace

std::string SelfTestInputFormats(const fs::path& root) {
  const fs::path dump = root / L"dump" / L"CUSA09901-app";
  CreateFolders(dump);
  WriteTextFile(dump / L"chunk1.psarc", SelfTestChunkArchive());
  WriteTextFile(dump / L"texture.qar", SelfTestTextureArchive());
  WriteTextFile(dump / L"pathid_list_ps4.bin", SelfTestPathIdList());

  std::string tokens;
  tokens += CheckFolderTwoLevelsDown(root, dump);
  tokens += CheckRenamedChunkArchive(dump);
  tokens += CheckArchiveWithoutMagic(dump);
  tokens += CheckKnownRegion(dump);
  tokens += SelfTestIcons(root / L"icon");
  tokens += CheckOtherGame(dump);
  return tokens;
}

}  // namespace qv::setup
