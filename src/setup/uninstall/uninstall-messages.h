#pragma once
// The message boxes of uninstalling, and the one place that shows them, so
// that tests can answer them instead of a user (a real box would block).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace qv::setup {

// Shows `text` with MessageBoxW flags (MB_YESNO, MB_ICONQUESTION, ...) and
// returns the button pressed (IDYES, IDNO, IDOK, ...).
using MessageAsker = std::function<int(const std::wstring& text, unsigned flags)>;

inline constexpr std::wstring_view kUninstallCaption = L"Q.V. DU Vora Setup";

// MessageBoxW without owner, captioned kUninstallCaption.
int ShowUninstallMessage(const std::wstring& text, unsigned flags);

// The texts, with `folder` as the user gave it made absolute and normal.
std::wstring NoInstallationMessage(const std::filesystem::path& folder);                // MB_ICONERROR
std::wstring UninstallQuestion(const std::filesystem::path& folder, bool remove_data);  // MB_YESNO | MB_ICONQUESTION
std::wstring UninstalledMessage(std::uint32_t removed);                                 // MB_ICONINFORMATION

}  // namespace qv::setup
