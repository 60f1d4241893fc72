// Damaged archives never crash the reader or the extractor: every mutant of a
// valid archive either lists and extracts, or fails with one of the archive's
// own sentences, and nothing is ever written outside the target folder.

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-system-view.h"
#include "foundation/files/tree-walk.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/test-payload.h"
#include "support/guarded-bytes.h"
#include "support/payload-layout.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::EntryLayout;
using qv::test::LayoutOf;
using qv::test::PutLittleEndian;
using qv::test::TempFolder;
namespace fs = std::filesystem;

const std::set<std::string> kIndexMessages = {
    "Truncated installer payload.", "Invalid installer payload.", "Invalid payload count.",
    "Invalid payload size.",        "Unexpected payload data.",
};

const std::set<std::string> kExtractMessages = {
    "Truncated installer payload.",
    "Invalid installer payload.",
    "Invalid payload count.",
    "Invalid payload size.",
    "Unexpected payload data.",
    "Unsafe payload path.",
    "The installer payload cannot contain files under data/.",
    "Duplicate payload path.",
    "Installer payload decompression failed.",
    "Could not write installation files.",
    "Installer payload integrity check failed.",
};

std::vector<std::wstring> Names(const fs::path& folder) {
  std::vector<FolderEntry> entries;
  SystemView().list_folder(folder, entries);
  std::vector<std::wstring> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

std::string MakeValidArchive(const fs::path& scratch) {
  std::mt19937 random(7);
  std::string noise(12000, '\0');
  for (auto& c : noise) c = static_cast<char>(random());
  std::string text;
  for (int i = 0; i < 600; ++i) text += "line " + std::to_string(i % 97) + " of a shader\n";
  return BuildTestPayload(scratch,
                          {{"README.md", "Q.V. DU Vora\n" + text.substr(0, 3000)},
                           {"bin/qv.exe", noise},
                           {"shaders/spirv/a.spv", text},
                           {"empty.txt", ""},
                           {"fonts/caf\xC3\xA9.ttf", noise.substr(0, 5000) + text.substr(0, 5000)}},
                          HashFile);
}

// One damaged copy of `valid`, chosen by `random`.
std::string Mutate(const std::string& valid, const std::vector<EntryLayout>& layout, std::mt19937& random) {
  std::string archive = valid;
  auto pick = [&](size_t bound) { return static_cast<size_t>(random() % bound); };
  const EntryLayout& entry = layout[pick(layout.size())];
  switch (pick(8)) {
    case 0: {  // flipped bytes anywhere
      for (size_t n = 1 + pick(4); n > 0; --n) archive[pick(archive.size())] ^= static_cast<char>(1 + pick(255));
      break;
    }
    case 1:  // cut length
      archive.resize(pick(archive.size()));
      break;
    case 2: {  // entry counts
      const std::uint64_t counts[] = {0, 1, 4, 6, 9999, 10000, 10001, 0xFFFFFFFFu};
      PutLittleEndian(archive, 8, counts[pick(8)], 4);
      break;
    }
    case 3: {  // unpacked sizes
      const std::uint64_t sizes[] = {0,        entry.size - 1, entry.size + 1, 1ull << 32, 512ull << 20,
                                     (512ull << 20) + 1, ~0ull, entry.size * 2};
      PutLittleEndian(archive, entry.size_at, sizes[pick(8)], 8);
      break;
    }
    case 4: {  // packed lengths
      const std::uint64_t lengths[] = {0, entry.packed - 1, entry.packed + 1, 1ull << 40, ~0ull,
                                       archive.size() - entry.stream, entry.packed / 2, 1ull << 63};
      PutLittleEndian(archive, entry.packed_at, lengths[pick(8)], 8);
      break;
    }
    case 5:  // name lengths
      PutLittleEndian(archive, entry.start, pick(0x10000), 2);
      break;
    case 6: {  // path characters in names
      const char bytes[] = {'/', '\\', '.', ':', '\0', '\xFF', '\xC3', '*', ' ', 'D'};
      size_t length = entry.size_at - entry.name;
      if (length > 0) archive[entry.name + pick(length)] = bytes[pick(sizeof(bytes))];
      break;
    }
    default: {  // inserted bytes
      std::string inserted(1 + pick(16), '\0');
      for (auto& c : inserted) c = static_cast<char>(random());
      archive.insert(pick(archive.size() + 1), inserted);
      break;
    }
  }
  return archive;
}

TEST(PayloadMutation, DamagedArchivesFailWithTheirOwnMessages) {
  TempFolder temp;
  const std::string valid = MakeValidArchive(temp / L"scratch");
  const std::vector<EntryLayout> layout = LayoutOf(valid);
  ASSERT_EQ(layout.size(), 5u);
  std::mt19937 random(20261210);
  int extracted = 0, refused = 0;
  for (int i = 0; i < 300; ++i) {
    const qv::test::GuardedBytes archive(Mutate(valid, layout, random));
    SCOPED_TRACE("mutant " + std::to_string(i));

    std::string index_error;
    size_t listed = 0;
    try {
      listed = ReadPayloadIndex(archive.data(), archive.size()).size();
    } catch (const std::runtime_error& e) {
      index_error = e.what();
      EXPECT_EQ(kIndexMessages.count(index_error), 1u) << index_error;
    } catch (...) {
      ADD_FAILURE() << "ReadPayloadIndex raised something else";
    }

    // Each mutant extracts into box/target; the box must hold nothing else afterwards.
    const fs::path box = temp / (L"m" + std::to_wstring(i));
    ASSERT_TRUE(::CreateDirectoryW(box.c_str(), nullptr));
    std::string extract_error;
    try {
      size_t files = ExtractPayload(archive.data(), archive.size(), box / L"target", HashFile).size();
      EXPECT_EQ(files, listed);
      ++extracted;
    } catch (const fs::filesystem_error& e) {
      // A name the file system itself refuses.
      extract_error = e.what();
      std::string operation = e.what();
      EXPECT_TRUE(operation.find("create_directories") != std::string::npos ||
                  operation.find("exists") != std::string::npos)
          << operation;
      EXPECT_EQ(NativePathToUtf8(e.path1()).rfind(NativePathToUtf8(box / L"target"), 0), 0u);
      ++refused;
    } catch (const std::runtime_error& e) {
      extract_error = e.what();
      EXPECT_EQ(kExtractMessages.count(extract_error), 1u) << extract_error;
      ++refused;
    } catch (...) {
      ADD_FAILURE() << "ExtractPayload raised something else";
    }
    // What the index refuses, extraction refuses too.
    if (!index_error.empty()) {
      EXPECT_FALSE(extract_error.empty()) << index_error;
    }

    std::vector<std::wstring> left = Names(box);
    EXPECT_TRUE(left.empty() || (left.size() == 1 && left[0] == L"target"));
    EXPECT_FALSE(RemoveTree(box));
    EXPECT_EQ(Names(temp.path()), std::vector<std::wstring>{L"scratch"});
  }
  // The mutants cover both outcomes.
  EXPECT_GT(extracted, 10);
  EXPECT_GT(refused, 150);
}

}  // namespace
