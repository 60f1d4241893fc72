// "--range-test <url> <index> <folder> <result>" through the built program
// under Wine, with the setup file's stand-in on the HTTPS test server; and
// seeded damage to indexes and served streams, in process and through the
// program.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "selftest/range-test.h"
#include "support/child-process.h"
#include "support/range-image.h"
#include "support/scoped-environment.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-server.h"
#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::ImageFile;
using qv::test::RangeImage;
namespace fs = std::filesystem;

// One index line per entry, as the range test reads them.
std::string IndexOf(const std::vector<qv::update::FileEntry>& entries, const char* line_end = "\r\n") {
  std::string text;
  for (const auto& entry : entries) {
    text += std::to_string(entry.offset) + " " + std::to_string(entry.packed) + " " + std::to_string(entry.size) +
            " " + entry.sha256 + " " + entry.path + line_end;
  }
  return text;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) names.push_back(ToGenericUtf8(item.path()));
  std::sort(names.begin(), names.end());
  return names;
}

class RangeTestProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());
    files = {{"qv.exe", qv::test::MixedContent(200000, 30, 1), 4096},
             {"shaders/with blank.spv", qv::test::MixedContent(50000, 90, 2), 0},
             {"voice/modèle.bin", qv::test::MixedContent(70000, 60, 3), 0}};
    files[1].offset = files[0].offset + qv::test::ZlibStream(files[0].content).size() + 1000;
    files[2].offset = files[1].offset + qv::test::ZlibStream(files[1].content).size();
    image = BuildRangeImage(files, files[2].offset + 100000);
  }

  // Runs the program; its exit code, the result file's text ("(none)" when
  // it wrote none).
  std::pair<std::uint32_t, std::string> Run(const std::string& url, const std::string& index_text,
                                            bool test_mode = true) {
    qv::test::WriteTestFile(temp / L"index.txt", index_text);
    std::error_code ignored;
    fs::remove(temp / L"result.txt", ignored);
    const qv::test::ChildRun run = qv::test::RunProgram(
        qv::test::SetupProgramPath(),
        {L"--range-test", std::wstring(url.begin(), url.end()), (temp / L"index.txt").native(),
         (temp / L"out").native(), (temp / L"result.txt").native()},
        {test_mode ? "QV_UPDATE_TEST=1" : "QV_UPDATE_TEST"});
    const bool written = fs::exists(temp / L"result.txt");
    return {run.exit_code, written ? qv::test::ReadTestFile(temp / L"result.txt") : "(none)"};
  }

  std::string Serve(const std::string& name, const std::string& query = "") {
    qv::test::PutTestServerFile(name, image.bytes);
    return qv::test::TestHttpsUrl("/files/" + name + (query.empty() ? "" : "?" + query));
  }

  qv::test::TempFolder temp{L"qv-range-test"};
  std::vector<ImageFile> files;
  RangeImage image;
};

TEST_F(RangeTestProgram, FetchesAndChecksTheIndexedFiles) {
  const std::string url = Serve("program-range.bin");
  std::vector<qv::update::FileEntry> entries = image.entries;
  entries.push_back({"ignored.bin", 5, std::string(64, '0'), 10, 0});  // packed 0: skipped
  const auto [code, text] = Run(url, IndexOf(entries));
  EXPECT_EQ(code, 0u) << text;
  std::uint64_t packed = 0;
  for (const auto& entry : image.entries) packed += entry.packed;
  const std::uint64_t sent = image.entries[2].offset + image.entries[2].packed - image.entries[0].offset;
  EXPECT_EQ(text, "PASS 3 files checked against their SHA-256; 1 request, " + std::to_string(sent) + " bytes for " +
                      std::to_string(packed) + " packed bytes\r\n");
  for (const ImageFile& file : files) {
    EXPECT_EQ(qv::test::ReadTestFile(temp / L"out" / PathFromUtf8(file.path)), file.content);
  }
  EXPECT_FALSE(fs::exists(temp / L"out" / L"ignored.bin"));

  // One file is one.
  const auto [one_code, one_text] = Run(url, IndexOf({image.entries[1]}));
  EXPECT_EQ(one_code, 0u) << one_text;
  EXPECT_TRUE(one_text.starts_with("PASS 1 file checked against its SHA-256; 1 request, ")) << one_text;
  EXPECT_TRUE(one_text.ends_with(" bytes for " + std::to_string(image.entries[1].packed) + " packed bytes\r\n"))
      << one_text;
}

TEST_F(RangeTestProgram, RefusesWhatItCannotTest) {
  {
    const auto [code, text] = Run(Serve("program-ignored.bin", "ranges=ignore"), IndexOf(image.entries));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(text, "the server ignored Range");
  }
  {
    const auto [code, text] = Run(Serve("program-empty.bin"), "1 0 1 " + std::string(64, 'a') + " a\r\n");
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(text, "no files in the index");
    EXPECT_TRUE(qv::test::TestServerLogFor("/files/program-empty.bin").empty());
  }
  {
    // Without the test hooks the line is nobody's: exit code 2, nothing written.
    const auto [code, text] = Run(Serve("program-off.bin"), IndexOf(image.entries), false);
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(text, "(none)");
    EXPECT_FALSE(fs::exists(temp / L"out"));
    EXPECT_TRUE(qv::test::TestServerLogFor("/files/program-off.bin").empty());
  }
}

// One seeded change of the index text or of the served stream.
struct Mutation {
  std::string index;
  std::string query;
  std::string label;
};

Mutation Mutate(const std::string& index, std::uint64_t image_size, std::mt19937& random) {
  Mutation mutation{index, "", ""};
  switch (random() % 5) {
    case 0: {  // a byte of the index changed
      const std::size_t at = random() % index.size();
      mutation.index[at] = static_cast<char>(random());
      mutation.label = "index byte " + std::to_string(at);
      break;
    }
    case 1: {  // the index cut short
      mutation.index.resize(random() % index.size());
      mutation.label = "index cut at " + std::to_string(mutation.index.size());
      break;
    }
    case 2: {  // a digit of a number changed
      std::size_t at = random() % index.size();
      while (at < index.size() && !std::isdigit(static_cast<unsigned char>(index[at]))) ++at;
      if (at < index.size()) mutation.index[at] = static_cast<char>('0' + random() % 10);
      mutation.label = "index digit " + std::to_string(at);
      break;
    }
    case 3: {  // a line the index never had
      const char* lines[] = {"0 1 1 x ../escape.bin", "0 18446744073709551615 1 x a", "1 1 1 x C:/abs.bin",
                             "5 5 5", "0 100 100 x dir/", "0 5000 1 x aux.txt"};
      mutation.index += std::string(lines[random() % std::size(lines)]) + "\r\n";
      mutation.label = "added line";
      break;
    }
    default: {  // a byte of the served file inverted
      const std::uint64_t at = random() % image_size;
      mutation.query = "flip=" + std::to_string(at);
      mutation.label = "served byte " + std::to_string(at);
      break;
    }
  }
  return mutation;
}

// Damage never crashes, never writes outside the folder, and every failure
// says something.
TEST_F(RangeTestProgram, SeededDamageInProcess) {
  const std::string index = IndexOf(image.entries);
  qv::test::PutTestServerFile("seeded.bin", image.bytes);
  qv::test::UpdateTestMode test_mode;
  std::mt19937 random(20261210);
  for (int round = 0; round < 150; ++round) {
    const Mutation mutation = Mutate(index, image.bytes.size(), random);
    qv::test::WriteTestFile(temp / L"index.txt", mutation.index);
    const std::string url =
        qv::test::TestHttpsUrl("/files/seeded.bin" + (mutation.query.empty() ? "" : "?" + mutation.query));
    std::string outcome;
    try {
      outcome = RunRangeTest(url, temp / L"index.txt", temp / L"out", HashFile);
    } catch (const std::exception& failure) {
      outcome = failure.what();
      EXPECT_FALSE(outcome.empty()) << mutation.label;
      EXPECT_FALSE(outcome.starts_with("PASS")) << mutation.label;
    }
    EXPECT_NE(outcome, "The download of the changed files failed: .") << mutation.label;
    // Only the folder, the index and what the folder holds.
    for (const std::string& name : Listing(temp.path())) {
      const std::string root = ToGenericUtf8(temp.path());
      EXPECT_TRUE(name == root + "/index.txt" || name.starts_with(root + "/out")) << name << " after " << mutation.label;
    }
  }
  EXPECT_FALSE(fs::exists(L"C:/abs.bin"));
}

TEST_F(RangeTestProgram, SeededDamageThroughTheProgram) {
  const std::string index = IndexOf(image.entries);
  const std::string url = Serve("program-seeded.bin");
  std::mt19937 random(1210);
  for (int round = 0; round < 8; ++round) {
    const Mutation mutation = Mutate(index, image.bytes.size(), random);
    const auto [code, text] = Run(url + (mutation.query.empty() ? "" : "?" + mutation.query), mutation.index);
    EXPECT_TRUE(code == 0 || code == 1) << mutation.label << ": exit " << code;
    EXPECT_FALSE(text.empty()) << mutation.label;
    EXPECT_EQ(code == 0, text.starts_with("PASS ")) << mutation.label << ": " << text;
    for (const std::string& name : Listing(temp.path())) {
      const std::string root = ToGenericUtf8(temp.path());
      EXPECT_TRUE(name == root + "/index.txt" || name == root + "/result.txt" || name.starts_with(root + "/out"))
          << name << " after " << mutation.label;
    }
  }
}

}  // namespace
