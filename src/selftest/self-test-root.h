#pragma once
// The self test's one temporary folder: a name no other run can share, made
// only where nothing stands, and removed with everything the tests left in it
// (links inside removed as links, never what lies behind them).

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string_view>

namespace qv::setup {

// Makes a new GUID into its argument; S_OK on success (CoCreateGuid).
using GuidSource = std::function<HRESULT(GUID& guid)>;

inline constexpr std::wstring_view kSelfTestRootPrefix = L"qv-setup-selftest-";

// parent / ("qv-setup-selftest-" + the GUID in braces, as StringFromGUID2
// writes it). Raises std::runtime_error with a sentence when no GUID or no
// text of it can be made; nothing is created either way.
std::filesystem::path SelfTestRootPath(const std::filesystem::path& parent, const GuidSource& new_guid);

// Creates the root folder itself, and only when nothing stands under its name
// yet, so the run never fills or later deletes a folder it did not make.
// Raises std::runtime_error with a sentence otherwise.
void CreateSelfTestRoot(const std::filesystem::path& root);

// Removes the root and everything in it; a missing root counts as removed.
// Raises std::filesystem::filesystem_error "remove_all" with the first error.
void RemoveSelfTestRoot(const std::filesystem::path& root);

}  // namespace qv::setup
