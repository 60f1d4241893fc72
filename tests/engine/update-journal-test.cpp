#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cwctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/journal-fixtures.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::IsUpdateTempFolder;
using qv::setup::JournalStep;
using qv::setup::JournalTextAccepted;
using qv::setup::ReadFileText;
using qv::setup::ReadUpdateJournal;
using qv::setup::ToGenericUtf8;
using qv::setup::UpdateJournal;
using qv::setup::UpdateJournalPath;
using qv::setup::WeaklyCanonicalPath;
using qv::setup::WriteFixtureFile;
using qv::setup::WriteUpdateJournal;
using qv::test::TempFolder;

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
  return text;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// An installation "Game" with its data folder in a fresh temporary folder,
// and the journal lines that name it correctly.
struct JournalSite {
  TempFolder temp;
  fs::path parent = WeaklyCanonicalPath(temp.path());
  fs::path install = parent / L"Game";
  fs::path journal = UpdateJournalPath(install);
  std::string parent_text = ToGenericUtf8(parent);

  JournalSite() { fs::create_directories(install / L"data"); }

  std::vector<std::string> GoodLines() const {
    return {"qv-update-journal 1",
            "state=swapping",
            "install=" + ToGenericUtf8(install),
            "staging=" + parent_text + "/.qv-update-x",
            "backup=" + parent_text + "/.qv-update-old-x",
            "step=r qv.exe"};
  }

  bool Accepts(const std::vector<std::string>& lines) const { return JournalTextAccepted(install, Lines(lines)); }
};

// The lines with the one starting with `key` replaced by `line` (or dropped
// when `line` is empty).
std::vector<std::string> With(std::vector<std::string> lines, const std::string& key, const std::string& line) {
  auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(key, 0) == 0; });
  if (it == lines.end()) {
    ADD_FAILURE() << "no line " << key;
    return lines;
  }
  if (line.empty())
    lines.erase(it);
  else
    *it = line;
  return lines;
}

TEST(UpdateJournal, LocationInTheDataFolder) {
  EXPECT_EQ(UpdateJournalPath(fs::path(L"C:\\Games\\QV")), fs::path(L"C:\\Games\\QV\\data\\update-journal.txt"));
}

TEST(UpdateJournal, SmallestGoodJournalIsAccepted) {
  JournalSite site;
  WriteFixtureFile(site.journal, Lines(site.GoodLines()));
  auto journal = ReadUpdateJournal(site.journal);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalSwapping);
  EXPECT_EQ(journal->install, site.install);
  EXPECT_EQ(journal->staging, site.parent / L".qv-update-x");
  EXPECT_EQ(journal->backup, site.parent / L".qv-update-old-x");
  EXPECT_TRUE(journal->download.empty());
  EXPECT_EQ(journal->old_version, "");
  EXPECT_EQ(journal->new_version, "");
  EXPECT_EQ(journal->pid, 0u);
  ASSERT_EQ(journal->steps.size(), 1u);
  EXPECT_EQ(journal->steps[0].kind, 'r');
  EXPECT_EQ(journal->steps[0].path, "qv.exe");
}

TEST(UpdateJournal, UnsafeOrMalformedJournalsAreRefused) {
  JournalSite site;
  const std::vector<std::string> good = site.GoodLines();
  fs::create_directories(site.parent / L"Other" / L"data");
  const std::string other_install = ToGenericUtf8(site.parent / L"Other");
  struct Case {
    const char* what;
    std::vector<std::string> lines;
  } cases[] = {
      {"step leaving the folders", With(good, "step=", "step=r ../outside.txt")},
      {"absolute step", With(good, "step=", "step=a C:/Windows/x.dll")},
      {"rooted step", With(good, "step=", "step=a /x.dll")},
      {"step with a stream", With(good, "step=", "step=a qv.exe:evil")},
      {"step ending in a separator", With(good, "step=", "step=a shaders/")},
      {"step with a NUL", With(good, "step=", std::string("step=a qv") + '\0' + ".exe")},
      {"step too short", With(good, "step=", "step=r ")},
      {"step of two bytes", With(good, "step=", "step=rq")},
      {"step of unknown kind", With(good, "step=", "step=x qv.exe")},
      {"step kind in capitals", With(good, "step=", "step=R qv.exe")},
      {"step without the blank", With(good, "step=", "step=r_qv.exe")},
      {"staging elsewhere", With(good, "staging=", "staging=/elsewhere/.qv-update-x")},
      {"staging inside the installation",
       With(good, "staging=", "staging=" + ToGenericUtf8(site.install) + "/.qv-update-x")},
      {"staging named the prefix alone", With(good, "staging=", "staging=" + site.parent_text + "/.qv-update-")},
      {"staging of another name", With(good, "staging=", "staging=" + site.parent_text + "/qv-update-x")},
      {"staging prefix in capitals", With(good, "staging=", "staging=" + site.parent_text + "/.QV-UPDATE-x")},
      {"staging missing", With(good, "staging=", "")},
      {"staging empty", With(good, "staging=", "staging=")},
      {"backup missing", With(good, "backup=", "")},
      {"backup named the prefix alone", With(good, "backup=", "backup=" + site.parent_text + "/.qv-update-old-")},
      {"backup with the staging prefix only", With(good, "backup=", "backup=" + site.parent_text + "/.qv-update-y")},
      {"backup elsewhere",
       With(good, "backup=", "backup=" + ToGenericUtf8(site.temp.path().root_path()) + ".qv-update-old-x")},
      {"another installation", With(good, "install=", "install=" + other_install)},
      {"the installation's parent", With(good, "install=", "install=" + site.parent_text)},
      {"install missing", With(good, "install=", "")},
      {"install empty", With(good, "install=", "install=")},
      {"state in capitals", With(good, "state=", "state=Swapping")},
      {"unknown state", With(good, "state=", "state=finished")},
      {"no state", With(good, "state=", "")},
      {"header with CR LF", With(good, "qv-update-journal", "qv-update-journal 1\r")},
      {"other header", With(good, "qv-update-journal", "qv-update-journal 2")},
      {"header with a blank after it", With(good, "qv-update-journal", "qv-update-journal 1 ")},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(site.Accepts(c.lines)) << c.what;
  }
  // The same journal as it should be passes, so each refusal above is its own line's doing.
  EXPECT_TRUE(site.Accepts(good));

  auto with_download = [&](const std::string& folder) {
    auto lines = good;
    lines.insert(lines.begin() + 5, "download=" + folder);
    return lines;
  };
  EXPECT_TRUE(site.Accepts(with_download(site.parent_text + "/.qv-update-dl-x")));
  EXPECT_TRUE(site.Accepts(with_download("")));
  EXPECT_FALSE(site.Accepts(with_download(site.parent_text + "/.qv-update-dl-")));
  EXPECT_FALSE(site.Accepts(with_download(site.parent_text + "/downloads")));
  EXPECT_FALSE(site.Accepts(with_download(ToGenericUtf8(site.install) + "/.qv-update-dl-x")));

  EXPECT_FALSE(ReadUpdateJournal(site.install / L"data" / L"missing.txt"));
  WriteFixtureFile(site.journal, "");
  EXPECT_FALSE(ReadUpdateJournal(site.journal));
}

// No commit ever plans a step on the player's files, under data/ (in any
// spelling the file system folds together) or on a device, so a journal that
// names one is damaged or planted: the reader refuses it, and the writer and
// the rollback never act on such a step.
TEST(UpdateJournal, StepsOnThePlayersFilesOrDevicesAreRefused) {
  JournalSite site;
  const std::vector<std::string> good = site.GoodLines();
  const char* const refused[] = {
      "a data/qv.ini",           "r data/saves/slot1.sav", "d DATA/SAVES/SLOT1.SAV", "a data\\qv.ini",
      "r data./qv.ini",          "r data /qv.ini",         "a Data.. ./x",           "r qv.ini",
      "a QV.INI",                "r mods/pack.pak",        "d saves/slot1.sav",      "a screenshots/a.png",
      "r photos/a.jpg",          "a enhanced-textures/t",  "r qv-dlssg-route.json",  "a dlssg_sm86/x.dll",
      "r shaders/debug.log",     "d icon0.png",            "d install-notes.txt",    "d CUSA09901/chunk1.psarc",
      "a nul",                   "a NUL.txt",              "r shaders/con.spv",      "a aux .dll",
      "r com1",                  "a LPT9.log.txt",         "r conin$",               "a sub/prn",
  };
  for (const char* step : refused) {
    EXPECT_FALSE(site.Accepts(With(good, "step=", std::string("step=") + step))) << step;
    EXPECT_FALSE(qv::setup::IsJournalStep(step[0], step + 2)) << step;
  }
  // What an update does write beside the program files: the game's files in
  // a title folder, the install notes, the extraction log and the title icon;
  // and names that merely resemble the refused ones.
  const char* const accepted[] = {
      "r icon0.png",           "a CUSA09901/sce_sys/pic1.png", "r install-notes.txt", "a install-extraction.log",
      "r CUSA09901/texture.qar", "a cusa09902/sce_sys/pic1.png", "a database/x",       "r qv.ini.bak",
      "a shaders/console.spv", "r nulls.dll",                   "a com10",             "d extractor/old.dll",
  };
  for (const char* step : accepted) {
    EXPECT_TRUE(site.Accepts(With(good, "step=", std::string("step=") + step))) << step;
    EXPECT_TRUE(qv::setup::IsJournalStep(step[0], step + 2)) << step;
  }
  EXPECT_FALSE(qv::setup::IsJournalStep('a', "\xff"));
}

TEST(UpdateJournal, ReaderIsLenientWhereItMayBe) {
  JournalSite site;
  auto lines = site.GoodLines();
  // CR LF after the header, unknown keys, lines without '=', blank lines.
  std::string text = lines[0] + "\n";
  for (size_t i = 1; i < lines.size(); ++i) text += lines[i] + "\r\n";
  text += "comment without equals\r\n\r\n\nfuture=thing\n\r\nstep=a shaders/new.spv\r\nstep=d shaders/gone.spv";
  WriteFixtureFile(site.journal, text);
  auto journal = ReadUpdateJournal(site.journal);
  ASSERT_TRUE(journal);
  ASSERT_EQ(journal->steps.size(), 3u);
  EXPECT_EQ(journal->steps[0].path, "qv.exe");  // the CR is not part of the path
  EXPECT_EQ(journal->steps[1].kind, 'a');
  EXPECT_EQ(journal->steps[1].path, "shaders/new.spv");
  EXPECT_EQ(journal->steps[2].kind, 'd');
  EXPECT_EQ(journal->steps[2].path, "shaders/gone.spv");  // the last line may lack its line feed

  // A key given twice takes the later value; values may hold '='.
  lines.push_back("new_version=1.0=beta");
  lines.push_back("state=started");
  lines.push_back("old_version=0.9");
  lines.push_back("old_version=1.0.3");
  WriteFixtureFile(site.journal, Lines(lines));
  journal = ReadUpdateJournal(site.journal);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalStarted);
  EXPECT_EQ(journal->new_version, "1.0=beta");
  EXPECT_EQ(journal->old_version, "1.0.3");
}

TEST(UpdateJournal, ProcessIdIsReadLikeAnUnsignedDecimal) {
  JournalSite site;
  struct Case {
    const char* value;
    std::uint64_t expected;
  } cases[] = {
      {"1234", 1234},
      {"  42", 42},
      {"\t7", 7},
      {"+5", 5},
      {"-1", UINT64_MAX},
      {"-2", UINT64_MAX - 1},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"0x10", 0},
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", UINT64_MAX},
      {"99999999999999999999999", UINT64_MAX},
      {"-99999999999999999999999", UINT64_MAX},
  };
  for (const Case& c : cases) {
    auto lines = site.GoodLines();
    lines.push_back(std::string("pid=") + c.value);
    WriteFixtureFile(site.journal, Lines(lines));
    auto journal = ReadUpdateJournal(site.journal);
    ASSERT_TRUE(journal) << c.value;
    EXPECT_EQ(journal->pid, c.expected) << c.value;
  }
}

// One damaged byte refuses the journal like any other damage, never raises.
TEST(UpdateJournal, InvalidUtf8InAPathRefusesTheJournal) {
  JournalSite site;
  std::string why;
  WriteFixtureFile(site.journal, Lines(With(site.GoodLines(), "staging=", "staging=C:/\xff\xfe/.qv-update-x")));
  EXPECT_FALSE(ReadUpdateJournal(site.journal, &why));
  EXPECT_EQ(why, "its staging line is not valid UTF-8");
  WriteFixtureFile(site.journal, Lines(With(site.GoodLines(), "step=", "step=a \xc3(")));
  EXPECT_FALSE(ReadUpdateJournal(site.journal, &why));
  EXPECT_EQ(why, "its step line is not valid UTF-8");
}

UpdateJournal SampleJournal(const JournalSite& site) {
  UpdateJournal journal;
  journal.state = qv::setup::kJournalSwapping;
  journal.install = site.install;
  journal.staging = site.parent / L".qv-update-run1";
  journal.backup = site.parent / L".qv-update-old-run1";
  journal.download = site.parent / L".qv-update-dl-run1";
  journal.old_version = "1.0.3";
  journal.new_version = "1.1.0";
  journal.pid = 4242;
  journal.steps = {{'r', "qv.exe"}, {'a', "shaders/new.spv"}, {'d', "shaders/gone.spv"}};
  return journal;
}

TEST(UpdateJournal, WrittenTextIsExact) {
  JournalSite site;
  UpdateJournal journal = SampleJournal(site);
  journal.state = 5;
  ASSERT_TRUE(WriteUpdateJournal(site.journal, journal));
  const std::string p = site.parent_text;
  EXPECT_EQ(ReadFileText(site.journal),
            "qv-update-journal 1\nstate=started\ninstall=" + ToGenericUtf8(site.install) + "\nstaging=" + p +
                "/.qv-update-run1\nbackup=" + p + "/.qv-update-old-run1\ndownload=" + p +
                "/.qv-update-dl-run1\nold_version=1.0.3\nnew_version=1.1.0\npid=4242\nstep=r qv.exe\n"
                "step=a shaders/new.spv\nstep=d shaders/gone.spv\n");
  EXPECT_FALSE(fs::exists(site.journal.native() + L".new"));

  journal.state = qv::setup::kJournalSwapped;
  journal.download.clear();
  journal.pid = 0;
  journal.steps.clear();
  ASSERT_TRUE(WriteUpdateJournal(site.journal, journal));
  EXPECT_EQ(ReadFileText(site.journal), "qv-update-journal 1\nstate=swapped\ninstall=" + ToGenericUtf8(site.install) +
                                            "\nstaging=" + p + "/.qv-update-run1\nbackup=" + p +
                                            "/.qv-update-old-run1\ndownload=\nold_version=1.0.3\n"
                                            "new_version=1.1.0\npid=0\n");
}

TEST(UpdateJournal, RoundTrip) {
  JournalSite site;
  UpdateJournal written = SampleJournal(site);
  // Written the way a caller may spell the folders: other letter case, a "..".
  written.install = fs::path(Upper(site.install.native()));
  written.backup = site.install / L".." / L".qv-update-old-run1";
  qv::setup::RemoveTree(site.install / L"data");  // the writer creates the data folder
  ASSERT_TRUE(WriteUpdateJournal(site.journal, written));
  auto read = ReadUpdateJournal(site.journal);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->state, written.state);
  EXPECT_EQ(read->old_version, written.old_version);
  EXPECT_EQ(read->new_version, written.new_version);
  EXPECT_EQ(read->pid, written.pid);
  ASSERT_EQ(read->steps.size(), written.steps.size());
  for (size_t i = 0; i < read->steps.size(); ++i) {
    EXPECT_EQ(read->steps[i].kind, written.steps[i].kind);
    EXPECT_EQ(read->steps[i].path, written.steps[i].path);
  }
  // Folders in their weakly canonical form, letter case as on disk.
  EXPECT_EQ(read->install.native(), site.install.native());
  EXPECT_EQ(read->staging.native(), (site.parent / L".qv-update-run1").native());
  EXPECT_EQ(read->backup.native(), (site.parent / L".qv-update-old-run1").native());
  EXPECT_EQ(read->download.native(), (site.parent / L".qv-update-dl-run1").native());
}

// A journal is never refused, and so never deleted by a recovery, only because
// the writer and the reader spelled the installation differently.
TEST(UpdateJournal, LetterCaseOfTheCallersDoesNotMatter) {
  JournalSite site;
  fs::create_directories(site.parent / L".qv-update-old-x");  // an existing folder resolves to its case on disk
  auto lines = site.GoodLines();
  lines = With(lines, "install=", "install=" + ToGenericUtf8(fs::path(Upper(site.install.native()))));
  lines =
      With(lines, "backup=", "backup=" + ToGenericUtf8(fs::path(Upper(site.parent.native()))) + "/.qv-update-old-x");
  WriteFixtureFile(site.journal, Lines(lines));
  const fs::path lowered_journal = fs::path(Upper(site.install.native())) / L"DATA" / L"UPDATE-JOURNAL.TXT";
  for (const fs::path& journal_path : {site.journal, lowered_journal}) {
    auto journal = ReadUpdateJournal(journal_path);
    ASSERT_TRUE(journal) << journal_path.string();
    EXPECT_EQ(journal->install.native(), site.install.native());
    EXPECT_EQ(journal->backup.native(), (site.parent / L".qv-update-old-x").native());
  }
}

TEST(UpdateJournal, FailedWritesLeaveTheJournalAlone) {
  JournalSite site;
  UpdateJournal journal = SampleJournal(site);
  ASSERT_TRUE(WriteUpdateJournal(site.journal, journal));
  const std::string before = ReadFileText(site.journal);

  // The ".new" file cannot be created: a folder stands in its place.
  fs::create_directories(site.journal.native() + L".new");
  journal.state = qv::setup::kJournalStarted;
  EXPECT_FALSE(WriteUpdateJournal(site.journal, journal));
  EXPECT_EQ(ReadFileText(site.journal), before);
  fs::remove(site.journal.native() + L".new");

  // Texts the reader would not take back as meant are never written.
  struct Case {
    const char* what;
    void (*spoil)(UpdateJournal&);
  } cases[] = {
      {"line feed in a version", [](UpdateJournal& j) { j.new_version = "1.1\nstep=d qv.exe"; }},
      {"carriage return in a version", [](UpdateJournal& j) { j.old_version = "1.0\r"; }},
      {"unknown step kind",
       [](UpdateJournal& j) {
         j.steps.push_back({'x', "qv.exe"});
       }},
      {"step leaving the folders",
       [](UpdateJournal& j) {
         j.steps.push_back({'d', "../x"});
       }},
      {"step ending in a separator",
       [](UpdateJournal& j) {
         j.steps.push_back({'a', "shaders/"});
       }},
      {"step with invalid UTF-8",
       [](UpdateJournal& j) {
         j.steps.push_back({'a', "\xff"});
       }},
  };
  for (const Case& c : cases) {
    UpdateJournal spoiled = SampleJournal(site);
    c.spoil(spoiled);
    EXPECT_FALSE(WriteUpdateJournal(site.journal, spoiled)) << c.what;
    EXPECT_EQ(ReadFileText(site.journal), before) << c.what;
  }

  // No data folder can be made: a file stands where it should be.
  JournalSite blocked;
  qv::setup::RemoveTree(blocked.install / L"data");
  WriteFixtureFile(blocked.install / L"data", "a file");
  EXPECT_FALSE(WriteUpdateJournal(blocked.journal, SampleJournal(blocked)));
  EXPECT_EQ(ReadFileText(blocked.install / L"data"), "a file");
}

// A hard link planted under the ".new" name or the journal's own name, to a
// file outside the installation: neither writing the journal nor finishing an
// update ever changes that file.
TEST(UpdateJournal, WritingNeverFollowsAHardLink) {
  for (const wchar_t* linked_name : {L"update-journal.txt.new", L"update-journal.txt"}) {
    SCOPED_TRACE(fs::path(linked_name).string());
    JournalSite site;
    UpdateJournal journal = SampleJournal(site);
    ASSERT_TRUE(WriteUpdateJournal(site.journal, journal));
    const fs::path outside = site.parent / L"outside.txt";
    const fs::path link = site.install / L"data" / linked_name;
    auto plant = [&] {
      // The outside file holds a readable journal, so that a write through
      // the link could go unnoticed by anything but this test.
      WriteFixtureFile(outside, ReadFileText(site.journal));
      fs::remove(link);
      ASSERT_TRUE(::CreateHardLinkW(link.c_str(), outside.c_str(), nullptr)) << ::GetLastError();
    };

    plant();
    std::string outside_before = ReadFileText(outside);
    journal.state = qv::setup::kJournalSwapped;
    EXPECT_TRUE(WriteUpdateJournal(site.journal, journal));
    EXPECT_EQ(ReadFileText(outside), outside_before);
    EXPECT_EQ(ReadUpdateJournal(site.journal)->state, qv::setup::kJournalSwapped);

    // Finishing an update whose backup cannot be removed entirely rewrites
    // the journal as "started".
    WriteFixtureFile(journal.backup / L"held.bin", "held");
    qv::setup::UniqueFile held(::CreateFileW((journal.backup / L"held.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    plant();
    outside_before = ReadFileText(outside);
    EXPECT_FALSE(qv::setup::FinishStartedUpdate(site.journal, std::chrono::milliseconds(1)));
    EXPECT_EQ(ReadFileText(outside), outside_before);
    EXPECT_EQ(ReadUpdateJournal(site.journal)->state, qv::setup::kJournalStarted);
  }
}

TEST(UpdateJournal, RewriteWaitsForAReaderToLetGo) {
  JournalSite site;
  UpdateJournal journal = SampleJournal(site);
  ASSERT_TRUE(WriteUpdateJournal(site.journal, journal));
  qv::setup::UniqueFile reader(::CreateFileW(site.journal.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    reader.reset();
  });
  journal.state = qv::setup::kJournalStarted;
  EXPECT_TRUE(WriteUpdateJournal(site.journal, journal));
  release.join();
  auto read = ReadUpdateJournal(site.journal);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->state, qv::setup::kJournalStarted);
}

TEST(UpdateJournal, TemporaryFolderTest) {
  const fs::path install = L"C:\\Games\\QV";
  struct Case {
    fs::path candidate;
    const char* prefix;
    bool expected;
  } cases[] = {
      {L"C:\\Games\\.qv-update-run", ".qv-update-", true},
      {L"C:\\Games\\.qv-update-old-run", ".qv-update-", true},
      {L"C:\\Games\\.qv-update-old-run", ".qv-update-old-", true},
      {L"C:\\Games\\.qv-update-dl-run", ".qv-update-dl-", true},
      {L"C:\\Games\\.qv-update-", ".qv-update-", false},
      {L"C:\\Games\\.qv-update-run", ".qv-update-old-", false},
      {L"C:\\Games\\.QV-UPDATE-run", ".qv-update-", false},
      {L"C:\\Games\\QV\\.qv-update-run", ".qv-update-", false},
      {L"C:\\.qv-update-run", ".qv-update-", false},
      {L"D:\\Games\\.qv-update-run", ".qv-update-", false},
      {L"C:\\Games\\.qv-update-run\\", ".qv-update-", false},
      {L"C:\\Games\\.qv-update-run\\sub", ".qv-update-", false},
      {L"", ".qv-update-", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUpdateTempFolder(install, c.candidate, c.prefix), c.expected)
        << c.candidate.string() << " " << c.prefix;
  }
  EXPECT_FALSE(IsUpdateTempFolder(L"", L"C:\\Games\\.qv-update-run", ".qv-update-"));
  // An installation that carries an update prefix itself is never its own temporary folder.
  EXPECT_FALSE(IsUpdateTempFolder(L"C:\\Games\\.qv-update-x", L"C:\\Games\\.qv-update-x", ".qv-update-"));
}

TEST(UpdateJournal, JournalAsTheInstallationItselfIsRefused) {
  TempFolder temp;
  const fs::path parent = WeaklyCanonicalPath(temp.path());
  const fs::path install = parent / L".qv-update-game";
  fs::create_directories(install / L"data");
  const std::string p = ToGenericUtf8(parent);
  EXPECT_FALSE(
      JournalTextAccepted(install, Lines({"qv-update-journal 1", "state=swapping", "install=" + ToGenericUtf8(install),
                                          "staging=" + ToGenericUtf8(install), "backup=" + p + "/.qv-update-old-x"})));
  EXPECT_TRUE(
      JournalTextAccepted(install, Lines({"qv-update-journal 1", "state=swapping", "install=" + ToGenericUtf8(install),
                                          "staging=" + p + "/.qv-update-x", "backup=" + p + "/.qv-update-old-x"})));
}

}  // namespace
