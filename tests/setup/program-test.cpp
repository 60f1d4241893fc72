// The built setup program as a file and as a process.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/unique-handle.h"
#include "support/test-paths.h"

namespace {

using qv::setup::UniqueHandle;
using qv::setup::UniqueModule;

std::filesystem::path ProgramPath() { return qv::test::TestBinaryFolder() / L"Q.V.PC.Rure.Setup.exe"; }

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the program with the given command-line tail; returns its exit code.
DWORD RunProgram(const std::wstring& arguments) {
  std::wstring command = L"\"" + ProgramPath().wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
    return 0xFFFFFFFF;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  EXPECT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

TEST(Program, IsAStaticPe32PlusGuiExecutable) {
  std::string image = ReadWholeFile(ProgramPath());
  ASSERT_GT(image.size(), 4096u);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  // Linked statically: no mingw runtime or zlib DLL is imported.
  std::string lower = image;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "zlib1.dll"}) {
    EXPECT_EQ(lower.find(dll), std::string::npos) << dll;
  }
}

TEST(Program, CarriesItsApplicationManifest) {
  UniqueModule module(::LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(module.valid()) << ::GetLastError();
  HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_NE(resource, nullptr);
  HGLOBAL loaded = ::LoadResource(module.get(), resource);
  ASSERT_NE(loaded, nullptr);
  std::string manifest(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module.get(), resource));

  for (const char* required : {
           "level=\"asInvoker\"",
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
           ">true</longPathAware>",
           ">PerMonitorV2, PerMonitor</dpiAwareness>",
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
       }) {
    EXPECT_NE(manifest.find(required), std::string::npos) << required;
  }
}

TEST(Program, UnknownCommandLinesExitWithTwo) {
  for (const wchar_t* arguments : {L"--nonsense", L"--NONSENSE", L"--preview", L"\"\" x y z"}) {
    EXPECT_EQ(RunProgram(arguments), 2u) << std::filesystem::path(arguments).string();
  }
}

}  // namespace
