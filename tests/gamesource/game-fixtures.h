#pragma once
// Small synthetic game material for the game-source tests: archive stand-ins,
// path-ID lists, PNG pictures, console packages and param.sfo images.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "selftest/fixtures/test-game-files.h"

namespace qv::test {

// Overwrites `width` bytes at `at` with `value` (big- or little-endian);
// bytes past the end of `bytes` are left out.
void PutBigEndian(std::string& bytes, size_t at, std::uint32_t value, int width = 4);
void PutLittleEndian(std::string& bytes, size_t at, std::uint32_t value, int width = 4);

// The shared stand-ins of the player's game files.
using qv::setup::PathIdListBytes;
using qv::setup::PngBytes;
using qv::setup::PsarcBytes;
using qv::setup::QarBytes;
using qv::setup::WriteGameArchives;

// One entry of a synthetic console package.
struct PkgPart {
  std::uint32_t id = 0x1000;
  std::uint32_t flags = 0;
  std::string name;  // in the names table
  std::string data;
};

// A package with the names table entry (id 0x200) first, then `parts` in order;
// `title_id` (9 bytes) at 0x47 when non-empty.
std::string BuildPkgImage(const std::vector<PkgPart>& parts, const std::string& title_id = "");

// A param.sfo with any number of key/value pairs (16-byte value slots), for the
// layouts the self test's builder cannot make: many or repeated keys.
std::string MultiEntryParamSfo(const std::vector<std::pair<std::string, std::string>>& pairs);

// The names of `folder`'s entries in the order the file system lists them.
std::vector<std::wstring> ListedNames(const std::filesystem::path& folder);

// Makes `path` a file of `size` bytes without writing them (the file is
// extended by setting its end).
void WriteSizedFile(const std::filesystem::path& path, std::uint64_t size);

}  // namespace qv::test
