#pragma once
// Text conversions. Inside the program text is UTF-8 in byte strings; every
// system call takes UTF-16. Paths are built from wide text only (libstdc++ on
// mingw would convert narrow text through the ANSI code page).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv::setup {

// Lenient: invalid UTF-8 becomes U+FFFD; for display text and messages.
std::wstring Utf8ToWide(std::string_view utf8);

// Lenient: an unpaired surrogate becomes U+FFFD; for display text and messages.
std::string WideToUtf8(std::wstring_view wide);

// Strict: invalid UTF-8 raises std::system_error (ERROR_NO_UNICODE_TRANSLATION).
// Separators stay as written.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// Strict: an unpaired surrogate raises std::system_error. Separators unchanged.
std::string NativePathToUtf8(const std::filesystem::path& path);

// As NativePathToUtf8 with every '\' turned into '/', the form records store.
std::string ToGenericUtf8(const std::filesystem::path& path);

// As ToGenericUtf8, but lenient (an unpaired surrogate becomes U+FFFD): for
// messages, and for records that must not fail an operation over a name.
std::string ToGenericUtf8Lenient(const std::filesystem::path& path);

// The text up to the next line feed (without it), with `rest` moved past
// that line feed; the last line may lack one. Records are read line by line
// with it while `rest` is not empty.
std::string_view TakeLine(std::string_view& rest);

// "1 request", "0 requests", "2 requests": a count with its noun in the
// number that goes with it, for logs and results that people read.
std::string CountOf(std::uint64_t count, std::string_view one, std::string_view many);

}  // namespace qv::setup
