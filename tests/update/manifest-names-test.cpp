// The names a signed manifest may give an update's files: what the system
// would store under another name, what reaches the player's files and two
// names for one file are refused before anything is downloaded.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/name-table.h"
#include "support/thrown.h"
#include "update/manifest-names.h"

namespace {

using qv::test::NameRow;
using qv::test::ReadNameTable;
using qv::test::ThrownMessage;
using qv::update::CheckManifestFileNames;
using qv::update::FileEntry;

const std::string kDigest(64, 'a');

std::vector<FileEntry> Files(const std::vector<std::string>& paths) {
  std::vector<FileEntry> files;
  for (const std::string& path : paths) files.push_back(FileEntry{path, 1, kDigest, 0, 0});
  return files;
}

constexpr const char* kUnsafe = "Unsafe payload path.";
constexpr const char* kAccepted = "(no exception)";

std::string Trimmed(const std::string& name, const std::string& stored) {
  return "The update lists " + name + ", which Windows would take for " + stored +
         ": it drops the dots and blanks at the end of a name.";
}

TEST(ManifestNames, RefusedNames) {
  const struct {
    std::vector<std::string> paths;
    std::string message;
  } cases[] = {
      {{"qv.exe", "shaders/new.spv", "voice/mod\xC3\xA8le.bin", "qv-files.json", "data.txt", "mods.txt"}, kAccepted},
      {{"CUSA09901.txt", "cusa0990/x.txt", "CUSA099011/x.txt"}, kAccepted},  // no title folders
      // Names the system would store as another name.
      {{"shaders/new.spv."}, Trimmed("shaders/new.spv.", "shaders/new.spv")},
      {{"shaders/new.spv "}, Trimmed("shaders/new.spv ", "shaders/new.spv")},
      {{"shaders./new.spv"}, Trimmed("shaders./new.spv", "shaders/new.spv")},
      {{"...", "a/ ."}, kUnsafe},  // nothing left of the name
      {{"shaders//x.txt"}, kUnsafe},
      {{"shaders/"}, kUnsafe},
      {{"/qv.exe"}, kUnsafe},
      {{"../qv.exe"}, kUnsafe},
      {{"shaders/./x.txt"}, kUnsafe},
      {{"shaders\\x.txt"},
       "The update lists shaders\\x.txt, which Windows would take for shaders/x.txt: it takes a back slash for a "
       "folder separator."},
      {{"mods\\pack.pak."},
       "The update lists mods\\pack.pak., which Windows would take for mods/pack.pak: it takes a back slash for a "
       "folder separator and drops the dots and blanks at the end of a name."},
      {{"a\\b:c"}, kUnsafe},
      {{"nul ./x"}, kUnsafe},
      {{"C:qv.exe"}, kUnsafe},
      {{"a?.txt"}, kUnsafe},
      {{"a*.txt"}, kUnsafe},
      {{"a<b.txt"}, kUnsafe},
      {{"a|b.txt"}, kUnsafe},
      {{"a\"b.txt"}, kUnsafe},
      {{"a\tb.txt"}, kUnsafe},
      {{"shaders/nul.spv"}, kUnsafe},
      {{"COM1"}, kUnsafe},
      {{"bad\xFF.txt"}, kUnsafe},
      {{std::string("a\0b", 3)}, kUnsafe},
      // The player's own files.
      {{"data/qv.ini"}, "The installer payload cannot contain files under data/."},
      {{"Data/x"}, "The installer payload cannot contain files under data/."},
      {{"CUSA09901/chunk1.psarc"}, "The update may not change the game's own files: CUSA09901/chunk1.psarc lies in a title folder."},
      {{"cusa09903/x.txt"}, "The update may not change the game's own files: cusa09903/x.txt lies in a title folder."},
      {{"CUSA09902-old/sce_sys/icon0.png"},
       "The update may not change the game's own files: CUSA09902-old/sce_sys/icon0.png lies in a title folder."},
      // Two names for one file.
      {{"qv.exe", "shaders/a.spv", "qv.exe"}, "The update lists qv.exe, which is the same file as qv.exe."},
      {{"Shaders/A.spv", "shaders/a.SPV"}, "The update lists shaders/a.SPV, which is the same file as Shaders/A.spv."},
      {{"voice/\xC3\xA9.bin", "voice/\xC3\x89.bin"},
       "The update lists voice/\xC3\x89.bin, which is the same file as voice/\xC3\xA9.bin."},
      {{"QV-Install-Manifest.txt"},
       "The update lists QV-Install-Manifest.txt, which is the same file as the installation's record "
       "qv-install-manifest.txt."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.paths));
    EXPECT_EQ(ThrownMessage([&] { CheckManifestFileNames(Files(c.paths)); }), c.message);
  }
}

// The first element of a name with the form of a short 8.3 name.
std::string ShortFormElement(const std::string& name) {
  for (std::size_t start = 0;;) {
    const std::size_t end = name.find('/', start);
    const std::string element = name.substr(start, end == std::string::npos ? end : end - start);
    if (element.find('~') != std::string::npos) return element;
    if (end == std::string::npos) return {};
    start = end + 1;
  }
}

// The name Windows stores for `name`: back slashes as separators, each
// element without the dots and blanks at its end; and why, as the reader says it.
std::pair<std::string, std::string> StoredNameAndWhy(const std::string& name) {
  std::string stored;
  bool trimmed = false;
  for (std::size_t start = 0;;) {
    const std::size_t end = name.find_first_of("/\\", start);
    std::string element = name.substr(start, end == std::string::npos ? end : end - start);
    const std::size_t kept = element.find_last_not_of(". ");
    trimmed = trimmed || kept + 1 != element.size();
    stored += element.substr(0, kept + 1);
    if (end == std::string::npos) break;
    stored += '/';
    start = end + 1;
  }
  std::string why;
  if (name.find('\\') != std::string::npos) why = "it takes a back slash for a folder separator";
  if (trimmed) why += std::string(why.empty() ? "it" : " and") + " drops the dots and blanks at the end of a name";
  return {stored, why};
}

// The reader's sentence for a verdict of the table.
std::string ExpectedMessage(const NameRow& row) {
  const std::string& first = row.names.front();
  const std::string& last = row.names.back();
  if (row.reader_verdict == "accepts") return kAccepted;
  if (row.reader_verdict == "unsafe") return kUnsafe;
  if (row.reader_verdict == "alias") {
    const auto [stored, why] = StoredNameAndWhy(first);
    return "The update lists " + first + ", which Windows would take for " + stored + ": " + why + ".";
  }
  if (row.reader_verdict == "short") {
    return "The update lists " + first + ", whose " + ShortFormElement(first) +
           " has the form of a short (8.3) name, which may stand for another folder or file.";
  }
  if (row.reader_verdict == "data") return "The installer payload cannot contain files under data/.";
  if (row.reader_verdict == "title") {
    return "The update may not change the game's own files: " + last + " lies in a title folder.";
  }
  if (row.reader_verdict == "game") return "The update may not change the game's own files: " + last + " is part of them.";
  if (row.reader_verdict == "player") {
    return "The update may not change the player's own files: " + last + " is one of them.";
  }
  if (row.reader_verdict == "same") {
    return "The update lists " + last + ", which is the same file as " + first + ".";
  }
  if (row.reader_verdict == "record") {
    return "The update lists " + last + ", which is the same file as the installation's record "
           "qv-install-manifest.txt.";
  }
  return "an unknown verdict " + row.reader_verdict;
}

TEST(ManifestNames, JudgesTheNameTableAsItsRowsSay) {
  const std::vector<NameRow> rows = ReadNameTable();
  ASSERT_GT(rows.size(), 50u);
  for (const NameRow& row : rows) {
    SCOPED_TRACE("payload-names.txt line " + std::to_string(row.line));
    ASSERT_FALSE(row.names.empty());
    EXPECT_EQ(ThrownMessage([&] { CheckManifestFileNames(Files(row.names)); }), ExpectedMessage(row));
  }
}

}  // namespace
