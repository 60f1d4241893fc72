// Stand-in for the package extraction helper, which cannot exist here. Test
// releases carry it as "extractor/QV.PkgExtract.exe"; it is never shipped.
//
//   pkg-extract-standin PACKAGE OUTPUT
//
// PACKAGE must be an absolute path to a file that starts with the console
// package magic; OUTPUT is the title folder to fill. It writes the game's
// archives, "sce_sys/param.sfo" of CUSA09901, "sce_sys/pic1.png" and, when
// the package has one, its icon entry as "sce_sys/icon0.png", and reports on
// standard output (its arguments and current folder first). Tests steer it
// through its environment:
//   QV_TEST_PKG_EXTRACT_WARNINGS  "|"-separated texts, each printed as a
//                                 "warning: " line
//   QV_TEST_PKG_EXTRACT_DELAY_MS  milliseconds to wait after writing the files
//   QV_TEST_PKG_EXTRACT_TEXT      printed before it exits
//   QV_TEST_PKG_EXTRACT_EXIT      its exit code (default 0)

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "foundation/text/text.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"
#include "gamesource/archive-tests.h"
#include "gamesource/pkg-reader.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/test-param-sfo.h"

namespace {

constexpr int kUsage = 3;
constexpr int kNotAPackage = 4;
constexpr int kNotAbsolute = 5;

void Print(const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int main() {
  int argc = 0;
  qv::setup::UniqueLocal<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (!argv || argc != 3) {
    Print("usage: QV.PkgExtract PACKAGE OUTPUT\n");
    return kUsage;
  }
  const std::filesystem::path package = argv.get()[1];
  const std::filesystem::path output = argv.get()[2];
  wchar_t folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryW(MAX_PATH + 1, folder);
  Print("QV.PkgExtract (test stand-in)\npackage: " + qv::setup::WideToUtf8(package.native()) +
        "\noutput: " + qv::setup::WideToUtf8(output.native()) + "\ncwd: " + qv::setup::WideToUtf8(folder) + "\n");
  if (!package.is_absolute()) {
    Print("error: the package path is not absolute\n");
    return kNotAbsolute;
  }
  if (!qv::setup::HasPackageMagic(package)) {
    Print("error: not a PS4 package\n");
    return kNotAPackage;
  }

  qv::setup::WriteGameArchives(output);
  const std::filesystem::path system = output / L"sce_sys";
  qv::setup::WriteFixtureFile(system / L"param.sfo",
                              qv::setup::BuildTestParamSfo("CUSA09901", "UP4511-CUSA09901_00-QVDUVORA00000000"));
  qv::setup::WriteFixtureFile(system / L"pic1.png", qv::setup::PngBytes("pic1 CUSA09901"));
  if (std::optional<std::string> icon = qv::setup::ReadPkgPicture(package, "icon0.png")) {
    qv::setup::WriteFixtureFile(system / L"icon0.png", *icon);
  }
  Print("extracted the game's files\n");

  std::string warnings = qv::setup::GetEnvUtf8("QV_TEST_PKG_EXTRACT_WARNINGS");
  for (std::size_t start = 0; !warnings.empty() && start <= warnings.size();) {
    std::size_t end = warnings.find('|', start);
    if (end == std::string::npos) end = warnings.size();
    Print("warning: " + warnings.substr(start, end - start) + "\n");
    start = end + 1;
  }
  if (std::string delay = qv::setup::GetEnvUtf8("QV_TEST_PKG_EXTRACT_DELAY_MS"); !delay.empty()) {
    ::Sleep(static_cast<DWORD>(std::strtoul(delay.c_str(), nullptr, 10)));
  }
  Print(qv::setup::GetEnvUtf8("QV_TEST_PKG_EXTRACT_TEXT"));
  return std::atoi(qv::setup::GetEnvUtf8("QV_TEST_PKG_EXTRACT_EXIT").c_str());
}
