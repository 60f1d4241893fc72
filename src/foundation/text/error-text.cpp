#include "foundation/text/error-text.h"

#include <windows.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "foundation/text/text.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;

struct Action {
  std::string_view operation;  // as the error's text names it
  std::string_view words;      // what we were doing, for the sentence
};

// Our own code names the library's operations ("create_directories"); the
// library itself writes short phrases ("cannot create directories").
constexpr std::array<Action, 12> kActions{{
    {"create_director", "create the folder"},
    {"create director", "create the folder"},
    {"absolute", "find the full path of"},
    {"space", "read the free space of the drive of"},
    {"free space", "read the free space of the drive of"},
    {"rename", "move"},
    {"remove", "delete"},
    {"weakly_canonical", "resolve"},
    {"canonical", "resolve"},
    {"exists", "read"},
    {"status", "read"},
    {"copy", "copy"},
}};

std::string_view ActionWords(std::string_view what) {
  constexpr std::string_view kPrefix = "filesystem error: ";
  if (what.starts_with(kPrefix)) what.remove_prefix(kPrefix.size());
  what = what.substr(0, what.find(':'));
  for (const Action& action : kActions) {
    if (what.find(action.operation) != std::string_view::npos) return action.words;
  }
  return "use";
}

struct Reason {
  int windows_code;
  int errno_code;
  std::string_view text;
};

constexpr std::array<Reason, 12> kReasons{{
    {ERROR_PATH_NOT_FOUND, ENOENT, "the path does not exist (is its drive or network share connected?)"},
    {ERROR_FILE_NOT_FOUND, 0, "it does not exist"},
    {ERROR_INVALID_DRIVE, 0, "there is no such drive"},
    {ERROR_NOT_READY, 0, "the drive is not ready (is a disc or card in it?)"},
    {ERROR_BAD_NETPATH, 0, "the network path was not found"},
    {ERROR_BAD_NET_NAME, 0, "the network share was not found"},
    {ERROR_ACCESS_DENIED, EACCES, "access was denied (choose a folder you may write to)"},
    {ERROR_WRITE_PROTECT, EROFS, "the drive is write-protected"},
    {ERROR_DISK_FULL, ENOSPC, "the drive is full"},
    {ERROR_SHARING_VIOLATION, EBUSY, "another program is using it"},
    {ERROR_INVALID_NAME, EINVAL, "the name is not valid on Windows"},
    {ERROR_DIRECTORY, ENOTDIR, "a file stands where a folder should be"},
}};

std::string ReasonText(const std::error_code& code) {
  const bool windows = code.category() == std::system_category();
  for (const Reason& reason : kReasons) {
    if (windows ? code.value() == reason.windows_code : reason.errno_code != 0 && code.value() == reason.errno_code) {
      return std::string(reason.text);
    }
  }
  return SystemErrorText(code);
}

std::string Shown(const fs::path& path) { return WideToUtf8(path.native()); }

}  // namespace

std::string SystemErrorText(const std::error_code& code) {
  std::string text = code.message();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(code.value());
  text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

std::string UserErrorText(const std::exception& error) {
  const auto* file_error = dynamic_cast<const fs::filesystem_error*>(&error);
  if (file_error == nullptr) return error.what();
  std::string text = "Could not " + std::string(ActionWords(file_error->what()));
  if (!file_error->path1().empty()) text += " " + Shown(file_error->path1());
  if (!file_error->path2().empty()) text += " to " + Shown(file_error->path2());
  return text + ": " + ReasonText(file_error->code()) + ".";
}

}  // namespace qv::setup
