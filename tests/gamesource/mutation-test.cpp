// Bad content never crashes the readers of the user's files: seeded mutations of
// a synthetic console package and of a param.sfo (cut, flipped bytes, huge
// offsets and counts) each end in a result or one of the sentences for the
// user. Every value handed out must be bytes of the mutated input itself.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "game-fixtures.h"
#include "gamesource/game-source.h"
#include "gamesource/param-sfo.h"
#include "gamesource/pkg-reader.h"
#include "gamesource/title-picture.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "support/guarded-bytes.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::BuildPkgImage;
using qv::test::PngBytes;
using qv::test::PutBigEndian;
using qv::test::PutLittleEndian;
using qv::test::TempFolder;
using qv::test::WriteGameArchives;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

constexpr std::uint32_t kSeed = 0x51564D55;

// Values that stress offset and size arithmetic.
std::uint32_t NastyValue(std::mt19937& rng, size_t size) {
  const std::uint32_t values[] = {0,           1,           7,           8,          31,
                                  32,          255,         256,         257,        0x7FFFFFFFu,
                                  0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF0u, 0x00800001u, 0x00100001u,
                                  static_cast<std::uint32_t>(size - 1), static_cast<std::uint32_t>(size),
                                  static_cast<std::uint32_t>(size + 1)};
  if (rng() % 5 == 0) return static_cast<std::uint32_t>(rng());
  return values[rng() % std::size(values)];
}

// One mutation: a cut, a few flipped bytes, or one field set to a nasty value.
std::string Mutate(const std::string& original, const std::vector<size_t>& fields, bool big_endian,
                   std::mt19937& rng) {
  std::string bytes = original;
  switch (rng() % 4) {
    case 0:
      bytes.resize(rng() % original.size());
      break;
    case 1:
      for (int n = 1 + rng() % 8; n > 0; --n) bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
      break;
    default: {
      for (int n = 1 + rng() % 2; n > 0; --n) {
        size_t field = fields[rng() % fields.size()];
        std::uint32_t value = NastyValue(rng, bytes.size());
        if (big_endian) {
          PutBigEndian(bytes, field, value);
        } else {
          // An odd position marks the 16-bit field that starts one byte before it.
          PutLittleEndian(bytes, field & ~size_t{1}, value, field & 1 ? 2 : 4);
        }
      }
      break;
    }
  }
  return bytes;
}

void ExpectBytesOf(const std::string& input, const std::optional<std::string>& picture, int round) {
  if (!picture) return;
  EXPECT_TRUE(HasPngSignature(*picture)) << round;
  EXPECT_LE(picture->size(), kPkgMaxPicture) << round;
  EXPECT_NE(input.find(*picture), std::string::npos) << round;
}

TEST(Mutation, ConsolePackage) {
  const std::string original = BuildPkgImage({{0x1000, 0, "icon0.png", PngBytes("icon")},
                                              {0x1006, 0x80000000u, "pic1.png", PngBytes("secret")},
                                              {0x1007, 0, "pic1.png", PngBytes("title picture")},
                                              {0x1008, 0, "param.sfo", BuildTestParamSfo("CUSA09901", "")}},
                                             "CUSA09901");
  std::vector<size_t> fields{0x10, 0x18};
  for (size_t entry = 0; entry < 5; ++entry) {
    for (size_t field : {0, 4, 8, 16, 20}) fields.push_back(0x80 + 32 * entry + field);
  }
  const std::vector<std::string> allowed{
      "This file is not a PS4 package or a Q.V. archive. Select a Q.V. fake PKG, or the game folder from your dump.",
      "No Q.V. game data was found here. Select the folder that holds chunk1.psarc and texture.qar (decrypted, from "
      "your own console's dump), or your Q.V. fake PKG."};

  TempFolder temp;
  const fs::path folder = temp / L"\u30b2\u30fc\u30e0";
  const fs::path file = folder / L"game.pkg";
  std::mt19937 rng(kSeed);
  for (int round = 0; round < 200; ++round) {
    std::string mutant = Mutate(original, fields, true, rng);
    WriteTestFile(file, mutant);
    ExpectBytesOf(mutant, ReadPkgPicture(file, "pic1.png"), round);
    ExpectBytesOf(mutant, ReadPkgPicture(file, "icon0.png"), round);
    ExpectBytesOf(mutant, ReadSourcePicture(file, "pic1.png"), round);
    std::vector<fs::path> candidates;
    CheckGameSourceCandidate(candidates, file);
    EXPECT_LE(candidates.size(), 1u);
    for (const fs::path& path : {file, folder}) {
      try {
        GameSource source = ResolveGameSource(path);
        EXPECT_EQ(source.kind, GameSourceKind::Pkg) << round;
        EXPECT_EQ(source.path, file) << round;
      } catch (const std::runtime_error& error) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), error.what()), allowed.end()) << round << error.what();
      }
    }
  }
}

TEST(Mutation, ParamSfoInMemory) {
  const std::string original = BuildTestParamSfo("CUSA09903", "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT");
  // Header offsets and count; per entry: key offset (16-bit, marked odd), data length, data offset.
  std::vector<size_t> fields{0x08, 0x0C, 0x10};
  for (size_t entry = 0; entry < 2; ++entry) {
    fields.push_back(0x14 + 16 * entry + 1);  // the 16-bit key offset, marked odd
    fields.push_back(0x14 + 16 * entry + 4);
    fields.push_back(0x14 + 16 * entry + 12);
  }
  std::mt19937 rng(kSeed);
  for (int round = 0; round < 3000; ++round) {
    std::string mutant = Mutate(original, fields, false, rng);
    const qv::test::GuardedBytes guarded(mutant);
    for (const char* key : {"TITLE_ID", "CONTENT_ID", ""}) {
      std::string value = ParseParamSfoValue(std::string_view(guarded.data(), guarded.size()), key);
      EXPECT_EQ(value.find('\0'), std::string::npos) << round;
      EXPECT_NE(mutant.find(value), std::string::npos) << round;
    }
  }
}

TEST(Mutation, ParamSfoOfADumpedFolder) {
  const std::string original = BuildTestParamSfo("CUSA09903", "EP4511-CUSA09903_00-PPPPPPPPTTTTTTTT");
  std::vector<size_t> fields{0x08, 0x0C, 0x10, 0x15, 0x18, 0x20, 0x25, 0x28, 0x30};
  TempFolder temp;
  const fs::path dump = temp / L"dump \u00e9t\u00e9";
  WriteGameArchives(dump, false);  // no path-ID list: an unlisted title is refused
  std::mt19937 rng(kSeed + 1);
  for (int round = 0; round < 100; ++round) {
    std::string mutant = Mutate(original, fields, false, rng);
    WriteTestFile(dump / L"sce_sys" / L"param.sfo", mutant);
    try {
      GameSource source = ResolveGameSource(dump);
      EXPECT_EQ(source.kind, GameSourceKind::Folder);
      EXPECT_NE(mutant.find(source.files.content_id), std::string::npos) << round;
    } catch (const std::runtime_error& error) {
      std::string message = error.what();
      EXPECT_EQ(message.rfind("This folder holds another game (", 0), 0u) << round << message;
      EXPECT_TRUE(message.ends_with("), not Q.V.")) << round << message;
    }
  }
}

}  // namespace
