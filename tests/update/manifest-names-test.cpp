// The names a signed manifest may give an update's files: what the system
// would store under another name, what reaches the player's files and two
// names for one file are refused before anything is downloaded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/thrown.h"
#include "update/manifest-names.h"

namespace {

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

TEST(ManifestNames, RefusedNames) {
  const struct {
    std::vector<std::string> paths;
    std::string message;
  } cases[] = {
      {{"qv.exe", "shaders/new.spv", "voice/mod\xC3\xA8le.bin", "qv-files.json", "data.txt", "mods.txt"}, kAccepted},
      {{"CUSA09901.txt", "cusa0990/x.txt", "CUSA099011/x.txt"}, kAccepted},  // no title folders
      // Names the system would store as another name.
      {{"shaders/new.spv."}, kUnsafe},
      {{"shaders/new.spv "}, kUnsafe},
      {{"shaders./new.spv"}, kUnsafe},
      {{"shaders//x.txt"}, kUnsafe},
      {{"shaders/"}, kUnsafe},
      {{"/qv.exe"}, kUnsafe},
      {{"../qv.exe"}, kUnsafe},
      {{"shaders/./x.txt"}, kUnsafe},
      {{"shaders\\x.txt"}, kUnsafe},
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

// One row of the name table that the release tool's tests read too
// (tests/fixtures/payload-names.txt, copied beside the test programs).
struct NameRow {
  int line = 0;
  std::string reader_verdict;
  std::vector<std::string> names;
};

// "\xHH" is one byte and "\\" a backslash; the rest stands as it is.
std::string Unescaped(const std::string& field) {
  std::string name;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '\\') {
      name += '\\';
      ++i;
    } else if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x') {
      name += static_cast<char>(std::strtoul(field.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      name += field[i];
    }
  }
  return name;
}

std::vector<NameRow> ReadNameTable() {
  std::istringstream table(qv::test::ReadTestFile(qv::test::TestBinaryFolder() / L"payload-names.txt"));
  std::vector<NameRow> rows;
  std::string line;
  for (int number = 1; std::getline(table, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t start = 0; start <= line.size();) {
      const std::size_t end = std::min(line.find('\t', start), line.size());
      if (end > start) fields.push_back(line.substr(start, end - start));
      start = end + 1;
    }
    NameRow row;
    row.line = number;
    if (fields.size() >= 3) {
      row.reader_verdict = fields[1];
      for (std::size_t i = 2; i < fields.size(); ++i) row.names.push_back(Unescaped(fields[i]));
    }
    rows.push_back(row);
  }
  return rows;
}

// The reader's sentence for a verdict of the table.
std::string ExpectedMessage(const NameRow& row) {
  const std::string& last = row.names.back();
  if (row.reader_verdict == "accepts") return kAccepted;
  if (row.reader_verdict == "unsafe") return kUnsafe;
  if (row.reader_verdict == "data") return "The installer payload cannot contain files under data/.";
  if (row.reader_verdict == "title") {
    return "The update may not change the game's own files: " + last + " lies in a title folder.";
  }
  if (row.reader_verdict == "same") {
    return "The update lists " + last + ", which is the same file as " + row.names.front() + ".";
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
