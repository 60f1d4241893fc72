// What both routes' records share beyond the DLSS 5 record's own tests: the
// names a record may list, the runtime folder named with its separator, and
// the entry line.

#include <gtest/gtest.h>

#include <string>

#include "routes/route-record-values.h"
#include "support/temp-folder.h"

namespace {

using qv::setup::ProbeToolFile;
using qv::setup::RecordedToolFile;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

// SHA-256 of "abc".
constexpr const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(RouteRecordValues, NamesInsideTheGameFolder) {
  struct Case {
    std::string name;
    bool inside;
  };
  for (const Case& c : {Case{"version.dll", true}, Case{"dlssg_sm86/x.dll", true}, Case{"dlssg_sm86/", true},
                        Case{"dlssg_sm86\\runtime\\x.dll", true}, Case{"dlssg_sm86//x", true}, Case{"", false},
                        Case{"/", false}, Case{"dlssg_sm86/../x", false}, Case{"..\\x.dll", false},
                        Case{"./x", false}, Case{"C:\\x.dll", false}, Case{"C:x", false}, Case{"\\x.dll", false},
                        Case{"\\\\.\\pipe\\x", false}, Case{"COM1", false}, Case{"dlssg_sm86/nul.txt", false},
                        Case{"x.dll:stream", false}, Case{"bad \xFF utf-8", false}}) {
    EXPECT_EQ(qv::setup::IsRouteFileNameInside(c.name), c.inside) << c.name;
  }
}

TEST(RouteRecordValues, AFolderNamedWithItsSeparatorIsNoFile) {
  TempFolder game;
  WriteTestFile(game / L"dlssg_sm86" / L"x.dll", "abc");
  struct Case {
    std::string name;
    std::uint64_t size;
    std::string digest;
  };
  for (const Case& c : {Case{"dlssg_sm86/x.dll", 3, kAbcDigest}, Case{"dlssg_sm86\\x.dll", 3, kAbcDigest},
                        Case{"dlssg_sm86/", 0, ""}, Case{"dlssg_sm86", 0, ""}}) {
    const RecordedToolFile file = ProbeToolFile(game.path(), c.name);
    EXPECT_EQ(file.size, c.size) << c.name;
    EXPECT_EQ(file.sha256, c.digest) << c.name;
  }
}

TEST(RouteRecordValues, EntryLineLayout) {
  EXPECT_EQ(qv::setup::RouteFileEntryLine("dlssg_sm86/a \"b\".dll", RecordedToolFile{12, "ab"}),
            R"(    {"name": "dlssg_sm86/a \"b\".dll", "size": 12, "sha256": "ab"})");
  EXPECT_EQ(qv::setup::RouteFileEntryLine("x", RecordedToolFile{qv::setup::kUnknownFileSize, ""}),
            R"(    {"name": "x", "size": 18446744073709551615, "sha256": ""})");
}

}  // namespace
