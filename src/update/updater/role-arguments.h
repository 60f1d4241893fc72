#pragma once
// Values of the options that the updater and the route roles share on their
// command lines: the running game's process id and the window language.

#include <cstdint>
#include <string_view>

namespace qv::setup {

// Highest language index of the updater text table.
inline constexpr int kLastLanguage = 13;

// "--pid": the leading decimal digits as an unsigned number; no digits give 0.
// Windows process ids are 32 bits wide, so a number beyond that (however many
// digits) names no process and gives 0 as well.
std::uint64_t ProcessIdArgument(std::wstring_view text);

// "--lang": a decimal integer with an optional sign; below 1 gives 0, above 13
// gives 13, no digits give 0. Out-of-range numbers saturate before clamping.
int LanguageArgument(std::wstring_view text);

}  // namespace qv::setup
