#pragma once
// The text a failure shows the user. Our own failures already carry a
// complete sentence; the file-system library's errors read
// "filesystem error: create_directories: Path not found [Q:\Games]", which
// tells a player nothing. Those become a sentence that names the item and
// says what went wrong.

#include <exception>
#include <string>

namespace qv::setup {

// what() of `error`, except for a std::filesystem::filesystem_error, which
// becomes "Could not <action> <path>: <reason>." (UTF-8).
std::string UserErrorText(const std::exception& error);

}  // namespace qv::setup
