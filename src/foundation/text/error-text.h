#pragma once
// The text a failure shows the user. Our own failures already carry a
// complete sentence; the file-system library's errors read
// "filesystem error: create_directories: Path not found [Q:\Games]", which
// tells a player nothing. Those become a sentence that names the item and
// says what went wrong.

#include <exception>
#include <string>
#include <system_error>

namespace qv::setup {

// what() of `error`, except for a std::filesystem::filesystem_error, which
// becomes "Could not <action> <path>: <reason>." (UTF-8).
std::string UserErrorText(const std::exception& error);

// The system's own text for `code`, to follow a colon: without its trailing
// full stop and line end, its first letter in lower case; "error <number>"
// when the system has no text for it.
std::string SystemErrorText(const std::error_code& code);

}  // namespace qv::setup
