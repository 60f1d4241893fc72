#include "foundation/text/error-text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using qv::setup::UserErrorText;

std::error_code Windows(DWORD code) { return std::error_code(static_cast<int>(code), std::system_category()); }

TEST(ErrorText, FileSystemErrorsBecomeASentenceNamingTheItemAndTheReason) {
  const struct {
    fs::filesystem_error error;
    std::string text;
  } cases[] = {
      {fs::filesystem_error("create_directories", fs::path(L"Q:\\Games"), Windows(ERROR_PATH_NOT_FOUND)),
       "Could not create the folder Q:\\Games: the path does not exist (is its drive or network share connected?)."},
      {fs::filesystem_error("create_directory", fs::path(L"C:\\Program Files\\.qv-install-1"),
                            Windows(ERROR_ACCESS_DENIED)),
       "Could not create the folder C:\\Program Files\\.qv-install-1: access was denied (choose a folder you may "
       "write to)."},
      {fs::filesystem_error("space", fs::path(L"E:\\"), Windows(ERROR_NOT_READY)),
       "Could not read the free space of the drive of E:\\: the drive is not ready (is a disc or card in it?)."},
      {fs::filesystem_error("rename", fs::path(L"C:\\a"), fs::path(L"C:\\b"), Windows(ERROR_SHARING_VIOLATION)),
       "Could not move C:\\a to C:\\b: another program is using it."},
      {fs::filesystem_error("cannot create directories", fs::path(L"C:\\x"),
                            std::make_error_code(std::errc::no_such_file_or_directory)),
       "Could not create the folder C:\\x: the path does not exist (is its drive or network share connected?)."},
      {fs::filesystem_error("absolute", fs::path(L"C:\\Spi\u00e9l"), Windows(ERROR_INVALID_NAME)),
       "Could not find the full path of C:\\Spi\xC3\xA9l: the name is not valid on Windows."},
  };
  for (const auto& c : cases) {
    const std::string text = UserErrorText(c.error);
    EXPECT_EQ(text, c.text) << c.error.what();
    EXPECT_EQ(text.find("filesystem error"), std::string::npos);
  }
}

// An error the table does not know keeps the system's own words, as a clause.
TEST(ErrorText, OtherReasonsUseTheSystemsMessage) {
  const fs::filesystem_error error("remove", fs::path(L"C:\\x"), Windows(ERROR_CRC));
  const std::string text = UserErrorText(error);
  EXPECT_TRUE(text.starts_with("Could not delete C:\\x: ")) << text;
  EXPECT_TRUE(text.ends_with(".")) << text;
  EXPECT_FALSE(text.ends_with("..")) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos) << text;
}

TEST(ErrorText, OurOwnSentencesStayAsTheyAre) {
  EXPECT_EQ(UserErrorText(std::runtime_error("Installation cancelled.")), "Installation cancelled.");
}

}  // namespace
