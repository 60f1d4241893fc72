#pragma once

#include <filesystem>

namespace qv::test {

// The folder holding the running test program; the setup program and the test
// helper programs are built into the same folder.
std::filesystem::path TestBinaryFolder();

// The built setup program, "Q.V.PC.Rure.Setup.exe" in that folder.
std::filesystem::path SetupProgramPath();

}  // namespace qv::test
