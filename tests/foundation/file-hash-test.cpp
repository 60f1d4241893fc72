#include "foundation/crypto/file-hash.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::WriteTestFile;
namespace fs = std::filesystem;

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string BufferDigest(const std::string& bytes) {
  unsigned char digest[32];
  EXPECT_TRUE(Sha256OfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()), digest));
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : digest) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// Opens a file the way a scanner would: no sharing at all.
UniqueFile HoldExclusively(const fs::path& path) {
  UniqueFile held(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(held.valid()) << ::GetLastError();
  return held;
}

class FileHashTest : public ::testing::Test {
 protected:
  void TearDown() override { CancelHook = nullptr; }
  TempFolder temp;
};

TEST(Sha256OfBuffer, KnownDigests) {
  EXPECT_EQ(BufferDigest("abc"), kAbcDigest);
  EXPECT_EQ(BufferDigest(""), kEmptyDigest);
  EXPECT_EQ(BufferDigest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST_F(FileHashTest, WholeFileAndLimits) {
  fs::path file = temp / L"abc.bin";
  WriteTestFile(file, "abcdef");
  EXPECT_EQ(HashFile(file), BufferDigest("abcdef"));
  EXPECT_EQ(HashFileSha256(file, 3), kAbcDigest);
  EXPECT_EQ(HashFileSha256(file, 0), kEmptyDigest);
  EXPECT_EQ(HashFileSha256(file, 1000), BufferDigest("abcdef"));

  fs::path empty = temp / L"empty.bin";
  WriteTestFile(empty, "");
  EXPECT_EQ(HashFile(empty), kEmptyDigest);
}

TEST_F(FileHashTest, FilesAcrossReadBlocksAndNonAsciiNames) {
  // 2.5 MiB: two full 1 MiB reads and a partial one; the limit cuts inside the second block.
  std::string content(5 << 19, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
  fs::path file = temp / PathFromUtf8("caf\xC3\xA9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.bin");
  WriteTestFile(file, content);
  EXPECT_EQ(HashFile(file), BufferDigest(content));
  EXPECT_EQ(HashFileSha256(file, (1 << 20) + 12345), BufferDigest(content.substr(0, (1 << 20) + 12345)));
}

TEST_F(FileHashTest, MissingFileFailsAtOnceWithError2) {
  fs::path missing = temp / L"missing.bin";
  auto start = std::chrono::steady_clock::now();
  std::string message = ThrownMessage([&] { HashFile(missing); });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(message, "Could not read or hash this file to verify its integrity: " + ToGenericUtf8(missing) +
                         " (Windows error 2)");
}

TEST_F(FileHashTest, OrEmptyGivesTheDigestOrNothing) {
  WriteTestFile(temp / L"abc.bin", "abc");
  EXPECT_EQ(HashFileOrEmpty(temp / L"abc.bin"), kAbcDigest);
  EXPECT_EQ(HashFileOrEmpty(temp / L"missing.bin"), "");
  EXPECT_EQ(HashFileOrEmpty(temp.path()), "");  // a folder
}

TEST_F(FileHashTest, FileHeldOpenForAMomentIsHashedAfterRetries) {
  fs::path file = temp / L"scanned.bin";
  WriteTestFile(file, "abc");
  UniqueFile held = HoldExclusively(file);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  auto start = std::chrono::steady_clock::now();
  std::string digest;
  EXPECT_NO_THROW(digest = HashFile(file));
  auto waited = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_EQ(digest, kAbcDigest);
  EXPECT_GE(waited, std::chrono::milliseconds(250));
}

TEST_F(FileHashTest, FileHeldOpenTooLongReportsTheSharingHint) {
  fs::path file = temp / L"locked.bin";
  WriteTestFile(file, "abc");
  UniqueFile held = HoldExclusively(file);
  std::string message = ThrownMessage([&] { HashFileSha256(file, kWholeFile, {3, 5}); });
  EXPECT_EQ(message, "Could not read or hash this file to verify its integrity: " + ToGenericUtf8(file) +
                         " (Windows error 32) (another program, often an antivirus, kept it open)");
}

TEST_F(FileHashTest, AccessDeniedReportsItsHint) {
  // Opening a folder as a file is refused with access denied.
  std::string message = ThrownMessage([&] { HashFileSha256(temp.path(), kWholeFile, {2, 1}); });
  EXPECT_EQ(message, "Could not read or hash this file to verify its integrity: " + ToGenericUtf8(temp.path()) +
                         " (Windows error 5) (access denied: an antivirus or the folder's permissions)");
}

TEST_F(FileHashTest, CancelStopsTheRetriesBeforeTheNextAttempt) {
  fs::path file = temp / L"locked.bin";
  WriteTestFile(file, "abc");
  UniqueFile held = HoldExclusively(file);
  int asked = 0;
  CancelHook = [&] { return ++asked == 3; };
  EXPECT_EQ(ThrownMessage([&] { HashFileSha256(file, kWholeFile, {100, 1}); }), "Installation cancelled.");
  EXPECT_EQ(asked, 3);
}

TEST_F(FileHashTest, CancelDuringReadingStops) {
  fs::path file = temp / L"big.bin";
  WriteTestFile(file, std::string(3 << 20, 'x'));
  int asked = 0;
  CancelHook = [&] { return ++asked == 3; };  // open, first read, second read
  EXPECT_EQ(ThrownMessage([&] { HashFile(file); }), "Installation cancelled.");
}

}  // namespace
