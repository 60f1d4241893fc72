#pragma once
// The options that every route command line shares.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

// Reads the options from argv[first] on: "--pid" and "--lang" with their
// values, and "--" after which every argument is a relaunch argument, unchanged.
// Any other option that has a value after it is offered to `take`, which
// answers whether it used that value; what it does not use is skipped like
// any unknown argument. An option standing last has no value and is ignored.
void ReadRouteOptions(int argc, const wchar_t* const* argv, int first, std::uint64_t& game_process_id, int& language,
                      std::vector<std::wstring>& relaunch_arguments,
                      const std::function<bool(std::wstring_view option, std::wstring_view value)>& take);

}  // namespace qv::setup
