#include "foundation/payload/payload-archive.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/tree-walk.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "foundation/win/elevation.h"
#include "selftest/fixtures/test-payload.h"
#include "support/payload-layout.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::EntryLayout;
using qv::test::LayoutOf;
using qv::test::PutLittleEndian;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
namespace fs = std::filesystem;

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Content that does not compress: a little generator, so runs are reproducible.
std::string Noise(size_t length, unsigned seed) {
  std::string out(length, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& c : out) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state);
  }
  return out;
}

class PayloadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LogLineHook = nullptr;
    CancelHook = nullptr;
    ProgressHook = nullptr;
    ResetProgress(0);
  }

  std::string Build(const FixtureFiles& files) { return BuildTestPayload(temp / L"scratch", files, HashFile); }

  // A fresh, existing target folder.
  fs::path Target(const wchar_t* name = L"target") {
    fs::path target = temp / name;
    ::CreateDirectoryW(target.c_str(), nullptr);
    return target;
  }

  std::vector<InstalledFile> Extract(const std::string& archive, const fs::path& target,
                                     const PayloadFilter& filter = {}) {
    return ExtractPayload(archive.data(), archive.size(), target, HashFile, filter);
  }

  std::string IndexError(const std::string& archive) {
    return ThrownMessage([&] { ReadPayloadIndex(archive.data(), archive.size()); });
  }

  std::string ExtractError(const std::string& archive, const wchar_t* target_name = L"target") {
    fs::path target = Target(target_name);
    return ThrownMessage([&] { Extract(archive, target); });
  }

  TempFolder temp;
};

TEST_F(PayloadTest, IndexListsEntriesInArchiveOrder) {
  std::string archive = Build({{"b/second.txt", "two"}, {"a.txt", "one!"}, {"empty", ""}});
  std::vector<PayloadEntry> entries = ReadPayloadIndex(archive.data(), archive.size());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "b/second.txt");
  EXPECT_EQ(entries[0].size, 3u);
  EXPECT_EQ(entries[1].name, "a.txt");
  EXPECT_EQ(entries[1].size, 4u);
  EXPECT_EQ(entries[2].sha256, kEmptyDigest);
  // The first entry's stream begins at 94 + n.
  EXPECT_EQ(LayoutOf(archive)[0].stream, 94u + 12u);
}

TEST_F(PayloadTest, FormatFailures) {
  std::string one = Build({{"a.txt", "alpha"}});
  EntryLayout entry = LayoutOf(one)[0];
  auto with = [&](auto change) {
    std::string copy = one;
    change(copy);
    return copy;
  };
  struct Case {
    const char* what;
    std::string archive;
    const char* message;
  } cases[] = {
      {"nothing", "", "Truncated installer payload."},
      {"7 bytes", "QVSETUP", "Truncated installer payload."},
      {"7 bytes of another magic", "QVSETUX", "Truncated installer payload."},
      {"wrong magic", std::string("QVSETUP2\0\0\0\0", 12), "Invalid installer payload."},
      {"lower-case magic", std::string("qvsetup1\0\0\0\0", 12), "Invalid installer payload."},
      {"count cut", std::string("QVSETUP1\0\0\0", 11), "Truncated installer payload."},
      {"count 10001", std::string("QVSETUP1\x11\x27\0\0", 12), "Invalid payload count."},
      {"count 2^32-1", std::string("QVSETUP1\xFF\xFF\xFF\xFF", 12), "Invalid payload count."},
      {"count 10000, no entries", std::string("QVSETUP1\x10\x27\0\0", 12), "Truncated installer payload."},
      {"count 2, one entry", with([](std::string& a) { PutLittleEndian(a, 8, 2, 4); }),
       "Truncated installer payload."},
      {"name length cut", one.substr(0, 13), "Truncated installer payload."},
      {"name cut", one.substr(0, entry.name + 3), "Truncated installer payload."},
      {"name length past the end", with([&](std::string& a) { PutLittleEndian(a, entry.start, 0xFFFF, 2); }),
       "Truncated installer payload."},
      {"fixed part cut", one.substr(0, entry.digest + 63), "Truncated installer payload."},
      {"packed one past the end", with([&](std::string& a) { PutLittleEndian(a, entry.packed_at, entry.packed + 1, 8); }),
       "Invalid payload size."},
      {"packed 2^63", with([&](std::string& a) { PutLittleEndian(a, entry.packed_at, 1ull << 63, 8); }),
       "Invalid payload size."},
      {"stream cut", one.substr(0, one.size() - 1), "Invalid payload size."},
      {"one byte after the last entry", one + "x", "Unexpected payload data."},
  };
  int index = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(IndexError(c.archive), c.message) << c.what;
    // The size walk reads the same headers, but ignores what follows them.
    const std::string total_error = ThrownMessage([&] { PayloadTotalSize(c.archive.data(), c.archive.size()); });
    EXPECT_EQ(total_error, std::string(c.message) == "Unexpected payload data." ? "(no exception)" : c.message)
        << c.what;
    std::wstring target = L"target" + std::to_wstring(index++);
    EXPECT_EQ(ExtractError(c.archive, target.c_str()), c.message) << c.what;
  }
}

TEST_F(PayloadTest, EmptyArchive) {
  std::string empty = Build({});
  ASSERT_EQ(empty, std::string("QVSETUP1\0\0\0\0", 12));
  EXPECT_TRUE(ReadPayloadIndex(empty.data(), empty.size()).empty());
  fs::path target = Target();
  EXPECT_TRUE(Extract(empty, target).empty());
  EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(PayloadTest, TotalSizeSumsTheHeaders) {
  std::string empty = Build({});
  EXPECT_EQ(PayloadTotalSize(empty.data(), empty.size()), 0u);
  std::string archive = Build({{"a", "x"}, {"big", Repeat("b", 300000)}, {"c/empty", ""}});
  EXPECT_EQ(PayloadTotalSize(archive.data(), archive.size()), 300001u);
  // Sizes are taken as stored, streams are not inflated; bytes after the last entry are ignored.
  PutLittleEndian(archive, LayoutOf(archive)[0].size_at, 0xFFFFFFFFFFull, 8);
  archive += "trailing";
  EXPECT_EQ(PayloadTotalSize(archive.data(), archive.size()), 0xFFFFFFFFFFull + 300000u);
}

TEST_F(PayloadTest, TenThousandEntriesAreAccepted) {
  std::string one = Build({{"a", "x"}});
  std::string entry = one.substr(12);
  std::string archive = std::string("QVSETUP1\x10\x27\0\0", 12) + Repeat(entry, 10000);
  EXPECT_EQ(ReadPayloadIndex(archive.data(), archive.size()).size(), 10000u);
  EXPECT_EQ(PayloadTotalSize(archive.data(), archive.size()), 10000u);
  PutLittleEndian(archive, 8, 10001, 4);
  archive += entry;
  EXPECT_EQ(IndexError(archive), "Invalid payload count.");
}

TEST_F(PayloadTest, ExtractsFilesWithTheirDigests) {
  const std::string big = Noise(3 << 20, 1) + Repeat("shader ", 100000);
  const std::string accented = "fonts/caf\xC3\xA9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.ttf";
  FixtureFiles files = {{"qv.exe", "MZ program"},
                        {"shaders/deep/er/a.spv", big},
                        {"empty.txt", ""},
                        {accented, "font"},
                        {"sub\\back.txt", "backslash"}};
  std::string archive = Build(files);
  fs::path target = Target();
  std::vector<InstalledFile> installed = Extract(archive, target);
  ASSERT_EQ(installed.size(), files.size());
  std::vector<PayloadEntry> listed = ReadPayloadIndex(archive.data(), archive.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(ReadTestFile(target / PathFromUtf8(files[i].first)), files[i].second) << files[i].first;
    EXPECT_EQ(installed[i].sha256, listed[i].sha256);
    EXPECT_EQ(installed[i].sha256, HashFile(target / PathFromUtf8(files[i].first)));
  }
  EXPECT_EQ(installed[4].path, "sub/back.txt");
  EXPECT_EQ(installed[3].path, accented);
  EXPECT_EQ(installed[2].sha256, kEmptyDigest);

  // Extracting again into the same folder stops at the first entry.
  EXPECT_EQ(ThrownMessage([&] { Extract(archive, target); }), "Duplicate payload path.");
}

TEST_F(PayloadTest, StatusLinesFollowTheLabel) {
  std::vector<std::string> lines;
  LogLineHook = [&](const std::string& line) { lines.push_back(line); };
  std::string archive =
      Build({{"D3D12/a", "1"}, {"README.md", "2"}, {"extractor/a", "3"}, {"extractor/b", "4"}, {"fonts/a", "5"}});
  Extract(archive, Target());
  EXPECT_EQ(lines, (std::vector<std::string>{"Extracting D3D12...", "Extracting program files...",
                                             "Extracting extractor...", "Extracting fonts..."}));
}

TEST_F(PayloadTest, ProgressRisesWithEveryMebibyte) {
  std::string archive = Build({{"big.bin", Noise(3 << 20, 2)}, {"small.txt", "abc"}});
  std::vector<std::uint64_t> seen;
  ProgressHook = [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, 10u << 20);
    seen.push_back(done);
  };
  ResetProgress(10 << 20);
  Extract(archive, Target());
  ASSERT_GE(seen.size(), 4u);  // the reset, then at least one per MiB
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(seen.back(), (3u << 20) + 3);
}

TEST_F(PayloadTest, CancelStopsBetweenAndInsideEntries) {
  std::string archive = Build({{"big.bin", Noise(3 << 20, 3)}, {"later.txt", "x"}});
  CancelHook = [] { return true; };
  fs::path first = Target(L"first");
  EXPECT_EQ(ThrownMessage([&] { Extract(archive, first); }), "Installation cancelled.");
  EXPECT_TRUE(fs::is_empty(first));

  int asked = 0;
  CancelHook = [&] { return ++asked == 3; };  // before the entry, then after the first MiB
  fs::path second = Target(L"second");
  EXPECT_EQ(ThrownMessage([&] { Extract(archive, second); }), "Installation cancelled.");
  EXPECT_EQ(fs::file_size(second / L"big.bin"), 2u << 20);  // the partial file stays
  EXPECT_FALSE(fs::exists(second / L"later.txt"));
}

TEST_F(PayloadTest, FilterChoosesEntriesByGenericName) {
  std::string archive = Build({{"keep\\a.txt", "a"}, {"skip/b.txt", "b"}, {"keep/c.txt", "c"}});
  std::vector<std::string> offered;
  fs::path target = Target();
  std::vector<InstalledFile> installed = Extract(archive, target, [&](const std::string& name) {
    offered.push_back(name);
    return name.rfind("keep/", 0) == 0;
  });
  EXPECT_EQ(offered, (std::vector<std::string>{"keep/a.txt", "skip/b.txt", "keep/c.txt"}));
  ASSERT_EQ(installed.size(), 2u);
  EXPECT_EQ(installed[1].path, "keep/c.txt");
  EXPECT_FALSE(fs::exists(target / L"skip"));

  // Refusing everything writes nothing and says nothing, but the end is still checked.
  std::vector<std::string> lines;
  LogLineHook = [&](const std::string& line) { lines.push_back(line); };
  fs::path none = Target(L"none");
  EXPECT_TRUE(Extract(archive, none, [](const std::string&) { return false; }).empty());
  EXPECT_EQ(ThrownMessage([&] { Extract(archive + "x", none, [](const std::string&) { return false; }); }),
            "Unexpected payload data.");
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(fs::is_empty(none));
}

TEST_F(PayloadTest, TrailingBytesAreFoundAfterExtraction) {
  std::string archive = Build({{"a.txt", "a"}}) + "x";
  fs::path target = Target();
  EXPECT_EQ(ThrownMessage([&] { Extract(archive, target); }), "Unexpected payload data.");
  EXPECT_EQ(ReadTestFile(target / L"a.txt"), "a");
}

TEST_F(PayloadTest, SizeLimitAppliesToExtractionOnly) {
  std::string archive = Build({{"a.txt", "alpha"}});
  EntryLayout entry = LayoutOf(archive)[0];
  PutLittleEndian(archive, entry.size_at, (512ull << 20) + 1, 8);
  EXPECT_EQ(ReadPayloadIndex(archive.data(), archive.size())[0].size, (512ull << 20) + 1);
  EXPECT_EQ(ExtractError(archive, L"over"), "Invalid payload size.");
  PutLittleEndian(archive, entry.size_at, 512ull << 20, 8);
  EXPECT_EQ(ExtractError(archive, L"at"), "Installer payload decompression failed.");
}

TEST_F(PayloadTest, DecompressionFailures) {
  const std::string content = Repeat("payload ", 500);
  std::string good = Build({{"a.txt", content}});
  EntryLayout entry = LayoutOf(good)[0];
  auto with = [&](auto change) {
    std::string copy = good;
    change(copy);
    return copy;
  };
  // Rebuilds the entry around another stream.
  auto with_stream = [&](const std::string& stream) {
    std::string copy = good.substr(0, entry.stream) + stream;
    PutLittleEndian(copy, entry.packed_at, stream.size(), 8);
    return copy;
  };
  const std::string stream = good.substr(entry.stream);
  struct Case {
    const char* what;
    std::string archive;
  } cases[] = {
      {"damaged stream", with([&](std::string& a) { a[entry.stream + stream.size() / 2] ^= 0x55; })},
      {"damaged check value", with([&](std::string& a) { a.back() ^= 1; })},
      {"one byte more than size", with([&](std::string& a) { PutLittleEndian(a, entry.size_at, content.size() - 1, 8); })},
      {"one byte less than size", with([&](std::string& a) { PutLittleEndian(a, entry.size_at, content.size() + 1, 8); })},
      {"extra bytes after the stream", with_stream(stream + "tail")},
      {"stream stops early", with_stream(stream.substr(0, stream.size() - 6))},
      {"no stream at all", with_stream("")},
      {"not a zlib stream", with_stream(content)},
      {"preset dictionary", with_stream(std::string("\x78\xBB\0\0\0\1", 6) + stream.substr(2))},
  };
  int index = 0;
  for (const auto& c : cases) {
    std::wstring target = L"t" + std::to_wstring(index++);
    EXPECT_EQ(ExtractError(c.archive, target.c_str()), "Installer payload decompression failed.") << c.what;
  }
}

TEST_F(PayloadTest, DigestMustMatchExactly) {
  std::string archive = Build({{"a.txt", "alpha"}});
  EntryLayout entry = LayoutOf(archive)[0];
  std::string upper = archive;
  for (size_t i = entry.digest; i < entry.digest + 64; ++i) upper[i] = static_cast<char>(toupper(upper[i]));
  EXPECT_EQ(ExtractError(upper, L"upper"), "Installer payload integrity check failed.");
  std::string other = archive;
  other[entry.digest] = other[entry.digest] == '0' ? '1' : '0';
  EXPECT_EQ(ExtractError(other, L"other"), "Installer payload integrity check failed.");
}

// The check of a written file may run while the next entry inflates; what
// the caller sees stays what checking in place gives: a failing check is
// reported before anything of the next entry (its failure, its status line),
// and the hasher sees each file complete, in entry order.
TEST_F(PayloadTest, CheckOfAFileComesBeforeAnythingOfTheNext) {
  const std::string alpha = Repeat("alpha ", 300000);  // long enough to still be hashed when the next entry starts
  std::string archive = Build({{"a/first.bin", alpha}, {"a/second.bin", "beta"}, {"b/third.bin", "gamma"}});
  const std::vector<EntryLayout> entries = LayoutOf(archive);

  // A wrong digest on the first file, a broken stream in the second.
  std::string both = archive;
  both[entries[0].digest] = both[entries[0].digest] == '0' ? '1' : '0';
  both[entries[1].stream + 2] ^= 0x55;
  EXPECT_EQ(ExtractError(both, L"both"), "Installer payload integrity check failed.");

  // A wrong digest on the second file, and the third in another folder: its
  // status line never comes.
  std::string second = archive;
  second[entries[1].digest] = second[entries[1].digest] == '0' ? '1' : '0';
  std::vector<std::string> lines;
  LogLineHook = [&](const std::string& line) { lines.push_back(line); };
  EXPECT_EQ(ExtractError(second, L"second"), "Installer payload integrity check failed.");
  EXPECT_EQ(lines, std::vector<std::string>{"Extracting a..."});

  // The hasher's own failure likewise, and a cancel that the next entry sees.
  lines.clear();
  const fs::path target = Target(L"refused");
  std::vector<std::string> hashed;
  std::atomic<bool> hashing{false};
  CancelHook = [&] { return hashing.load(); };
  const FileHasher hasher = [&](const fs::path& path) -> std::string {
    hashing = true;
    hashed.push_back(ToGenericUtf8(path.lexically_relative(target)) + " " + ReadTestFile(path).substr(0, 6));
    throw std::runtime_error("the hasher refused " + hashed.back());
  };
  EXPECT_EQ(ThrownMessage([&] { ExtractPayload(archive.data(), archive.size(), target, hasher); }),
            "the hasher refused a/first.bin alpha ");
  EXPECT_EQ(hashed, std::vector<std::string>{"a/first.bin alpha "});
  EXPECT_EQ(lines, std::vector<std::string>{"Extracting a..."});

  // Without failures: every file checked once, complete, in entry order.
  CancelHook = nullptr;
  hashed.clear();
  lines.clear();
  const fs::path whole = Target(L"whole");
  std::vector<std::string> contents;
  const FileHasher recording = [&](const fs::path& path) {
    contents.push_back(ReadTestFile(path));
    return HashFile(path);
  };
  const std::vector<InstalledFile> installed = ExtractPayload(archive.data(), archive.size(), whole, recording);
  EXPECT_EQ(contents, (std::vector<std::string>{alpha, "beta", "gamma"}));
  ASSERT_EQ(installed.size(), 3u);
  EXPECT_EQ(installed[2].path, "b/third.bin");
  EXPECT_EQ(lines, (std::vector<std::string>{"Extracting a...", "Extracting b..."}));
}

// Several written files may wait for their check while later entries
// inflate. The checks still run one at a time in entry order, each on its
// complete file; a failing check ends the checking (no later file is ever
// hashed) and is reported before any later entry's own failure.
TEST_F(PayloadTest, QueuedChecksRunInOrderAndStopAtTheFirstFailure) {
  FixtureFiles files;
  for (int i = 0; i < 40; ++i) {
    files.emplace_back("bin/file-" + std::to_string(100 + i) + ".bin", Noise(2000 + 997 * i, i + 1));
  }
  std::string archive = Build(files);
  const std::vector<EntryLayout> entries = LayoutOf(archive);
  std::vector<std::string> hashed;
  const fs::path* target = nullptr;
  // Slow enough that extraction runs several entries ahead of the checks.
  const FileHasher slow = [&](const fs::path& path) {
    ::Sleep(20);
    hashed.push_back(ToGenericUtf8(path.lexically_relative(*target)) + " " +
                     std::to_string(ReadTestFile(path).size()));
    return HashFile(path);
  };
  auto expected_hashed = [&](size_t count) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back(files[i].first + " " + std::to_string(files[i].second.size()));
    return names;
  };

  const fs::path whole = Target(L"queued-whole");
  target = &whole;
  const std::vector<InstalledFile> installed = ExtractPayload(archive.data(), archive.size(), whole, slow);
  EXPECT_EQ(hashed, expected_hashed(files.size()));
  ASSERT_EQ(installed.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(installed[i].path, files[i].first);

  // The sixth file's digest is wrong and the twelfth's stream broken.
  std::string damaged = archive;
  damaged[entries[5].digest] = damaged[entries[5].digest] == '0' ? '1' : '0';
  damaged[entries[11].stream + 2] ^= 0x55;
  hashed.clear();
  const fs::path failing = Target(L"queued-failing");
  target = &failing;
  EXPECT_EQ(ThrownMessage([&] { ExtractPayload(damaged.data(), damaged.size(), failing, slow); }),
            "Installer payload integrity check failed.");
  EXPECT_EQ(hashed, expected_hashed(6));
}

TEST_F(PayloadTest, HasherIsRequired) {
  std::string archive = Build({{"a.txt", "alpha"}});
  fs::path target = Target();
  EXPECT_THROW(ExtractPayload(archive.data(), archive.size(), target, FileHasher{}), std::invalid_argument);
  EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(PayloadTest, UnsafeAndDataNamesAreRefused) {
  struct Case {
    std::string name;
    const char* message;
  } cases[] = {
      {"../x", "Unsafe payload path."},
      {"a/../b", "Unsafe payload path."},
      {"./a", "Unsafe payload path."},
      {"C:x", "Unsafe payload path."},
      {"/x", "Unsafe payload path."},
      {"\\x", "Unsafe payload path."},
      {"a:b/c", "Unsafe payload path."},
      {"x/y:z", "Unsafe payload path."},
      {std::string("..\0/x", 5), "Unsafe payload path."},
      {"a/\xFF", "Unsafe payload path."},
      {"data/x", "The installer payload cannot contain files under data/."},
      {"Data/x", "The installer payload cannot contain files under data/."},
      {"DATA. /x", "The installer payload cannot contain files under data/."},
      {"data", "The installer payload cannot contain files under data/."},
      {"", "Duplicate payload path."},
  };
  int index = 0;
  for (const auto& c : cases) {
    std::wstring target = L"t" + std::to_wstring(index++);
    EXPECT_EQ(ExtractError(Build({{"ok.txt", "ok"}, {c.name, "x"}}), target.c_str()), c.message) << c.name;
    // Nothing was written beside the target folder.
    EXPECT_FALSE(fs::exists(temp / L"x"));
    EXPECT_FALSE(fs::exists(temp / L"b"));
  }
  fs::path target = Target(L"database");
  EXPECT_EQ(Extract(Build({{"database/x", "x"}}), target).size(), 1u);
}

TEST_F(PayloadTest, SameNameTwiceIsADuplicate) {
  EXPECT_EQ(ExtractError(Build({{"a/b.txt", "1"}, {"a\\b.txt", "2"}}), L"one"), "Duplicate payload path.");
  // File names are matched as the system matches them, letter case ignored.
  EXPECT_EQ(ExtractError(Build({{"Read.me", "1"}, {"READ.ME", "2"}}), L"two"), "Duplicate payload path.");
}

TEST_F(PayloadTest, NamesTheFileSystemRefuses) {
  // A file where a folder must be: the folder cannot be created.
  fs::path target = Target(L"file-as-folder");
  try {
    Extract(Build({{"bin", "a file"}, {"bin/qv.exe", "x"}}), target);
    ADD_FAILURE() << "no exception";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string(e.what()).find("create_directories"), std::string::npos) << e.what();
    EXPECT_EQ(e.path1(), target / L"bin");
  }
  // A name with a character no file name may hold: its existence cannot be queried.
  target = Target(L"bad-character");
  try {
    Extract(Build({{"a|b", "x"}}), target);
    ADD_FAILURE() << "no exception";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string(e.what()).find("exists"), std::string::npos) << e.what();
  }
}

TEST_F(PayloadTest, AFileThatCannotBeCreatedIsReportedAfterItsStream) {
  // Wine reports an over-long name as absent and then fails to create it;
  // Windows already refuses the existence query.
  if (!IsRunningUnderWine()) GTEST_SKIP() << "needs a name that is absent but cannot be created";
  const std::string name(300, 'n');
  std::string archive = Build({{"ok.txt", "ok"}, {name, "content"}});
  EXPECT_EQ(ExtractError(archive, L"long"), "Could not write installation files.");
  // The stream is checked first: a damaged one is reported as such.
  archive.back() ^= 1;
  EXPECT_EQ(ExtractError(archive, L"long-damaged"), "Installer payload decompression failed.");
}

TEST(SafePayloadPath, JoinsOnlyNamesThatStayUnderTheRoot) {
  const fs::path root = L"C:\\Games\\QV";
  EXPECT_EQ(SafePayloadPath(root, "a/b.c").native(), L"C:\\Games\\QV\\a/b.c");
  EXPECT_EQ(SafePayloadPath(root, "a//b").native(), L"C:\\Games\\QV\\a//b");
  EXPECT_EQ(SafePayloadPath(root, "a./.b/c d").native(), L"C:\\Games\\QV\\a./.b/c d");
  EXPECT_EQ(SafePayloadPath(root, "").native(), L"C:\\Games\\QV\\");
  EXPECT_EQ(SafePayloadPath(L"C:\\Games\\QV\\", "x").native(), L"C:\\Games\\QV\\x");
  const char* unsafe[] = {"../x",  "a/../b", "./a",          "a/.",     "..",        "C:x",
                          "C:/x",  "/x",     "\\x",          "a:b/c",   "x/y:z",     "f.txt:stream",
                          "//server/share/x", "\\\\?\\C:\\x", "\\\\.\\PhysicalDrive0", "\\??\\C:\\x",
                          "a\\..\\..\\b", "\xC3", "...", "a/.../b", "a/.. /b", ". ./x", " "};
  for (const char* name : unsafe) {
    EXPECT_EQ(ThrownMessage([&] { SafePayloadPath(root, name); }), "Unsafe payload path.") << name;
  }
  EXPECT_EQ(ThrownMessage([&] { SafePayloadPath(root, std::string("a\0b", 3)); }), "Unsafe payload path.");
}

}  // namespace
