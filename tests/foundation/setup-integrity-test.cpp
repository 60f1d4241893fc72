#include "foundation/crypto/setup-integrity.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>

#include "foundation/crypto/file-hash.h"
#include "foundation/text/text.h"
#include "foundation/win/run-process.h"
#include "support/signed-overlay.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::CheckSetupImageIntegrity;

// Built at run time from pieces: this test program must hold the marker only
// in its own integrity field, like the setup program.
std::string Marker() {
  volatile char separator = '-';
  return std::string("~QV") + separator + "INTEGRITY" + separator + "v1";
}

std::size_t CountMarkers(const std::string& bytes) {
  std::size_t count = 0;
  for (auto at = bytes.find(Marker()); at != std::string::npos; at = bytes.find(Marker(), at + 1)) ++count;
  return count;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A program image: filler, the marker with a zero digest field, filler.
std::string UnstampedImage(const std::string& tail = RandomBytes(3000, 2)) {
  return "MZ" + RandomBytes(5000, 1) + Marker() + std::string(32, '\0') + tail;
}

// What the build does: the SHA-256 of the image with the field zeroed, written
// into the field of the marker at `marker_at` (the first one by default).
std::string Stamp(std::string image, std::size_t marker_at = std::string::npos) {
  if (marker_at == std::string::npos) marker_at = image.find(Marker());
  std::memset(image.data() + marker_at + 16, 0, 32);
  unsigned char digest[32];
  EXPECT_TRUE(qv::setup::Sha256OfBuffer(image.data(), static_cast<std::uint32_t>(image.size()), digest));
  std::memcpy(image.data() + marker_at + 16, digest, 32);
  return image;
}

std::string WithOverlay(const std::string& image, const std::string& manifest) {
  return image + qv::test::SignedOverlay(image.size(), manifest);
}

TEST(SetupIntegrity, MarkerComesFromTheField) { EXPECT_EQ(qv::setup::IntegrityMarker(), Marker()); }

TEST(SetupIntegrity, ImageChecks) {
  const std::string stamped = Stamp(UnstampedImage());
  const std::size_t field = stamped.find(Marker()) + 16;
  auto changed = [&](std::size_t at) {
    std::string bytes = stamped;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
  };
  std::string broken_overlay = WithOverlay(stamped, R"({"a":1})");
  broken_overlay[broken_overlay.size() - 40] = 2;  // trailer version
  // The overlay's manifest would start inside the digest field.
  const std::string cut_into_field =
      stamped.substr(0, field + 16) + qv::test::SignedOverlay(field + 16, stamped.substr(field + 16));

  const std::string second_marker = Marker() + std::string(32, '\0');
  const std::string tail_47 = Marker() + std::string(31, 'x');
  const struct {
    const char* what;
    std::string image;
    bool passes;
  } cases[] = {
      {"stamped", stamped, true},
      {"unstamped", UnstampedImage(), false},
      {"first byte changed", changed(0), false},
      {"byte before the marker changed", changed(field - 17), false},
      {"marker changed", changed(field - 1), false},
      {"digest changed", changed(field + 31), false},
      {"byte after the field changed", changed(field + 32), false},
      {"last byte changed", changed(stamped.size() - 1), false},
      {"byte appended", stamped + 'x', false},
      {"overlay appended", WithOverlay(stamped, R"({"version":"1.2.0"})"), true},
      {"overlay replaced", WithOverlay(stamped, std::string(5000, ' ')), true},
      {"overlay holding a marker", WithOverlay(stamped, second_marker), true},
      {"overlay with a broken trailer", broken_overlay, false},
      {"overlay cutting into the field", cut_into_field, false},
      {"second marker after a correct first", Stamp(UnstampedImage(RandomBytes(900, 2) + second_marker)), false},
      {"second marker before a correct first",
       Stamp(second_marker + UnstampedImage(), second_marker.size() + 5002), false},
      {"second marker ending the image", Stamp(UnstampedImage(second_marker)), false},
      {"marker within the last 47 bytes", Stamp(UnstampedImage(tail_47)), true},
      {"only marker within the last 47 bytes", "MZ" + RandomBytes(100, 3) + tail_47, false},
      {"no marker", "MZ" + RandomBytes(100, 3), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckSetupImageIntegrity(c.image), c.passes) << c.what;
  }
}

// The built programs hold the marker once each: the setup program, the stamped
// probe and this test program (the tests build their marker at run time).
TEST(SetupIntegrity, BuiltProgramsHoldTheMarkerOnce) {
  for (const wchar_t* name : {L"Q.V.PC.Rure.Setup.exe", L"integrity-probe.exe", L"foundation_tests.exe"}) {
    EXPECT_EQ(CountMarkers(qv::test::ReadTestFile(qv::test::TestBinaryFolder() / name)), 1u) << fs::path(name).string();
  }
}

TEST(SetupIntegrity, BuiltSetupProgramIsStamped) {
  const std::string program = qv::test::ReadTestFile(qv::test::SetupProgramPath());
  EXPECT_TRUE(CheckSetupImageIntegrity(program));
  EXPECT_TRUE(CheckSetupImageIntegrity(WithOverlay(program, R"({"version":"1.2.0"})")));
  EXPECT_FALSE(CheckSetupImageIntegrity(program + '\0'));
}

// The probe runs CheckSetupIntegrity on its own file: exit code 0 when it passes.
TEST(SetupIntegrity, RunningProgramChecksItsOwnFile) {
  qv::test::TempFolder temp{L"qv-integrity"};
  const std::string probe = qv::test::ReadTestFile(qv::test::TestBinaryFolder() / L"integrity-probe.exe");
  ASSERT_FALSE(probe.empty());
  const std::size_t field = probe.find(Marker()) + 16;
  std::string zeroed = probe;
  std::memset(zeroed.data() + field, 0, 32);
  std::string stub_changed = probe;
  const std::size_t stub = probe.find("This program cannot be run");
  ASSERT_NE(stub, std::string::npos);
  stub_changed[stub] = 't';

  const struct {
    const char* what;
    std::string image;
    std::uint32_t exit_code;
  } cases[] = {
      {"as built", probe, 0},
      {"with a signed overlay", WithOverlay(probe, R"({"version":"1.2.0"})"), 0},
      {"unstamped", zeroed, 1},
      {"a byte of the DOS stub changed", stub_changed, 1},
      {"bytes appended", probe + "appended", 1},
  };
  std::atomic<bool> cancel{false};
  int run = 0;
  for (const auto& c : cases) {
    const fs::path copy = temp / (L"probe-" + std::to_wstring(++run) + L".exe");
    qv::test::WriteTestFile(copy, c.image);
    auto result = qv::setup::RunProcess(copy, {}, {}, temp / (L"probe-" + std::to_wstring(run) + L".log"), cancel, 30000);
    EXPECT_TRUE(result.started) << c.what;
    EXPECT_EQ(result.exit_code, c.exit_code) << c.what;
  }
}

// A setup file is hundreds of MiB: the check reads and hashes it a piece at a
// time, so what it holds does not grow with the file.
TEST(SetupIntegrity, ALargeFileIsCheckedInLittleMemory) {
  qv::test::TempFolder temp{L"qv-integrity-large"};
  const std::string probe = qv::test::ReadTestFile(qv::test::TestBinaryFolder() / L"integrity-probe.exe");
  ASSERT_FALSE(probe.empty());
  constexpr std::size_t kPadding = 96u << 20;
  const fs::path copy = temp / L"large-probe.exe";
  qv::test::WriteTestFile(copy, Stamp(probe + std::string(kPadding, '\x5A')));
  const fs::path peak_file = temp / L"peak.txt";
  std::atomic<bool> cancel{false};
  auto result = qv::setup::RunProcess(copy, {qv::setup::WideToUtf8(peak_file.native())}, {}, temp / L"probe.log", cancel, 60000);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exit_code, 0u);
  const std::uint64_t peak = std::stoull(qv::test::ReadTestFile(peak_file));
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, kPadding / 2) << peak;
}

}  // namespace
