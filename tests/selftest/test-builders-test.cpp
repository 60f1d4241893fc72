#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/crypto/file-hash.h"
#include "foundation/payload/payload-archive.h"
#include "selftest/fixtures/test-param-sfo.h"
#include "selftest/fixtures/test-payload.h"
#include "selftest/test-file-list.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::TempFolder;
namespace fs = std::filesystem;

std::uint32_t U32(const std::string& data, size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[at + i]);
  return value;
}

std::uint16_t U16(const std::string& data, size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8);
}

TEST(TestPayload, EmptyFilesGiveTheBareHeader) {
  TempFolder temp;
  EXPECT_EQ(BuildTestPayload(temp / L"scratch", {}, HashFile), std::string("QVSETUP1\0\0\0\0", 12));
  EXPECT_EQ(RenderFilesJson({}), "{\"format\": 1, \"files\": []}\n");
}

TEST(TestPayload, OnePairReadsBackAndExtracts) {
  TempFolder temp;
  fs::path scratch = temp / L"new" / L"scratch";  // created with its parents
  int hashed = 0;
  FileHasher counting = [&](const fs::path& path) {
    ++hashed;
    return HashFile(path);
  };
  std::string archive = BuildTestPayload(scratch, {{"bin/qv.exe", std::string("MZ\x90\0 program", 11)}}, counting);
  EXPECT_EQ(hashed, 1);
  EXPECT_TRUE(fs::exists(scratch / L"hash.bin"));

  std::vector<PayloadEntry> entries = ReadPayloadIndex(archive.data(), archive.size());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "bin/qv.exe");
  EXPECT_EQ(entries[0].size, 11u);
  std::vector<InstalledFile> installed = ExtractPayload(archive.data(), archive.size(), temp / L"out", HashFile);
  ASSERT_EQ(installed.size(), 1u);
  EXPECT_EQ(installed[0].sha256, HashFile(scratch / L"hash.bin"));
  EXPECT_EQ(installed[0].sha256, HashFile(temp / L"out" / L"bin" / L"qv.exe"));
}

TEST(TestPayload, FailuresPropagate) {
  TempFolder temp;
  qv::test::WriteTestFile(temp / L"file", "");
  EXPECT_THROW(BuildTestPayload(temp / L"file" / L"scratch", {}, HashFile), fs::filesystem_error);
  EXPECT_THROW(BuildTestPayload(temp / L"s", {{"a", "b"}}, FileHasher{}), std::bad_function_call);
  EXPECT_THROW(BuildTestPayload(temp / L"s", {{std::string(65536, 'n'), "b"}}, HashFile), std::invalid_argument);
}

TEST(TestParamSfo, TitleAndContentIdentifiers) {
  const std::string content_id = "EP0000-CUSA09901_00-QVDUVORA00000000";
  ASSERT_EQ(content_id.size(), 36u);
  std::string sfo = BuildTestParamSfo("CUSA09901", content_id);
  ASSERT_EQ(sfo.size(), 200u);
  EXPECT_EQ(sfo.substr(0, 4), std::string("\0PSF", 4));
  EXPECT_EQ(U32(sfo, 4), 0x101u);
  EXPECT_EQ(U32(sfo, 8), 52u);
  EXPECT_EQ(U32(sfo, 12), 72u);
  EXPECT_EQ(U32(sfo, 16), 2u);
  // Index entries: key offset, format, length, maximum, data offset.
  EXPECT_EQ(U16(sfo, 20), 0u);
  EXPECT_EQ(U16(sfo, 22), 0x0204u);
  EXPECT_EQ(U32(sfo, 24), 37u);
  EXPECT_EQ(U32(sfo, 28), 64u);
  EXPECT_EQ(U32(sfo, 32), 0u);
  EXPECT_EQ(U16(sfo, 36), 11u);
  EXPECT_EQ(U32(sfo, 40), 10u);
  EXPECT_EQ(U32(sfo, 48), 64u);
  EXPECT_EQ(sfo.substr(52, 20), std::string("CONTENT_ID\0TITLE_ID\0\0", 20));
  EXPECT_EQ(sfo.substr(72, 37), content_id + std::string(1, '\0'));
  EXPECT_EQ(sfo.substr(136, 64), "CUSA09901" + std::string(55, '\0'));
}

TEST(TestParamSfo, TitleIdentifierAlone) {
  std::string sfo = BuildTestParamSfo("CUSA12345", "");
  ASSERT_EQ(sfo.size(), 112u);
  EXPECT_EQ(U32(sfo, 8), 36u);
  EXPECT_EQ(U32(sfo, 12), 48u);
  EXPECT_EQ(U32(sfo, 16), 1u);
  EXPECT_EQ(U32(sfo, 32), 0u);  // TITLE_ID's data offset
  EXPECT_EQ(sfo.substr(36, 12), std::string("TITLE_ID\0\0\0\0", 12));
  EXPECT_EQ(sfo.substr(48, 10), std::string("CUSA12345\0", 10));
}

TEST(TestFileList, OneLineWithExactSpacing) {
  const std::string zeros(64, '0');
  EXPECT_EQ(RenderFilesJson({{"qv.exe", "abc"}, {"shaders/a.spv", ""}}),
            "{\"format\": 1, \"files\": [{\"path\": \"qv.exe\", \"size\": 3, \"sha256\": \"" + zeros +
                "\"}, {\"path\": \"shaders/a.spv\", \"size\": 0, \"sha256\": \"" + zeros + "\"}]}\n");
}

}  // namespace
