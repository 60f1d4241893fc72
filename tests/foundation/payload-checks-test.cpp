#include "foundation/payload/payload-checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/thrown.h"

namespace {

using namespace qv::setup;
using qv::test::ThrownMessage;

TEST(PayloadChecks, IsUnderDataFolder) {
  struct Case {
    std::string path;
    bool under;
  } cases[] = {
      {"data/x", true},       {"DATA\\x", true},   {"Data./x", true},    {"data /x", true},
      {"data", true},         {"data.", true},     {"data. .. /x", true}, {"database/x", false},
      {"xdata/y", false},     {"a/data/x", false}, {".data/x", false},   {"", false},
      {"/data/x", false},     {"dat\xC3\xA1/x", false}, {"d\xC3\xA4ta", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUnderDataFolder(c.path), c.under) << "'" << c.path << "'";
}

TEST(PayloadChecks, IsUnderTopFolderTakesTheFolderAsked) {
  struct Case {
    std::string path;
    bool under;
  } cases[] = {
      {"mods/a.pak", true}, {"MODS\\a", true},   {"Mods./a", true},   {"mods ", true},
      {"mods", true},       {"modsx/a", false},  {"x/mods/a", false}, {"data/a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUnderTopFolder(c.path, "mods"), c.under) << "'" << c.path << "'";
}

TEST(PayloadChecks, IsAsciiNameEqual) {
  EXPECT_TRUE(IsAsciiNameEqual("LIBXESS.DLL", "libxess.dll"));
  EXPECT_TRUE(IsAsciiNameEqual("", ""));
  EXPECT_FALSE(IsAsciiNameEqual("libxess.dll", "libxess.dll."));
  EXPECT_FALSE(IsAsciiNameEqual("caf\xC3\xA9", "caf\xC3\x89"));  // é and É differ outside ASCII
  EXPECT_FALSE(IsAsciiNameEqual("a[", "A{"));                     // only letters fold
}

std::vector<InstalledFile> Files(std::initializer_list<const char*> paths) {
  std::vector<InstalledFile> files;
  for (const char* path : paths) files.push_back(InstalledFile{path, std::string(64, '0')});
  return files;
}

std::string ShortForm(const std::string& name, const std::string& element) {
  return "The installer payload lists " + name + ", whose " + element +
         " has the form of a short (8.3) name, which may stand for another folder or file.";
}

TEST(PayloadChecks, ValidatePayloadFiles) {
  const std::string data = "The installer payload cannot contain files under data/.";
  const std::string missing = "The installer payload is missing required runtime file ";
  struct Case {
    std::vector<InstalledFile> files;
    std::string message;
  } cases[] = {
      {Files({"qv.exe", "amd_fidelityfx_vk.dll", "NVNGX_DLSS.DLL", "LibXeSS.dll"}), "(no exception)"},
      {Files({}), missing + "amd_fidelityfx_vk.dll."},
      {Files({"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "sub/libxess.dll"}), missing + "libxess.dll."},
      {Files({"libxess.dll", "amd_fidelityfx_vk.dll"}), missing + "nvngx_dlss.dll."},
      {Files({"Data/settings.ini"}), data},
      {Files({"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll", "data\\x"}), data},
      // Short (8.3) name forms, which on the player's computer may stand for
      // another folder, or for one that the same install creates.
      {Files({"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll", "a~/x", "longname~1/x", "x~1.json", "~"}),
       "(no exception)"},
      {Files({"amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll", "newlongfolder/x.bin", "newl~1oa/y.bin"}),
       ShortForm("newl~1oa/y.bin", "newl~1oa")},
      {Files({"CUSA~PNS/chunk1.psarc"}), ShortForm("CUSA~PNS/chunk1.psarc", "CUSA~PNS")},
      {Files({"voice/PROGRA~1.TXT"}), ShortForm("voice/PROGRA~1.TXT", "PROGRA~1.TXT")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ThrownMessage([&] { ValidatePayloadFiles(c.files); }), c.message)
        << (c.files.empty() ? "(empty)" : c.files.back().path);
  }
  EXPECT_EQ(ThrownMessage([] { CheckPayloadRuntimeFiles(Files({"a"}), {"a", "b"}); }), missing + "b.");
}

}  // namespace
