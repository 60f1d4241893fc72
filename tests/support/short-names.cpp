#include "support/short-names.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "foundation/text/text.h"

namespace qv::test {

std::string ShortNameOf(const std::filesystem::path& item) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameW(item.c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    ADD_FAILURE() << "no short name for " << item.string() << ": " << ::GetLastError();
    return {};
  }
  const std::wstring short_name = std::filesystem::path(buffer).filename().native();
  EXPECT_NE(short_name, item.filename().native()) << "the short name is the long one";
  return qv::setup::WideToUtf8(short_name);
}

}  // namespace qv::test
