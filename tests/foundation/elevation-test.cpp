#include "foundation/win/elevation.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "foundation/win/unique-handle.h"

namespace {

// The token's own answer, asked independently of the code under test.
std::optional<bool> TokenSaysElevated() {
  qv::setup::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::nullopt;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return std::nullopt;
  return elevation.TokenIsElevated != 0;
}

TEST(Elevation, AnswersAsTheTokenDoesExceptUnderWine) {
  const std::optional<bool> token = TokenSaysElevated();
  ASSERT_TRUE(token.has_value()) << "the own process token must be readable";
  const std::optional<bool> elevation = qv::setup::QueryProcessElevation();
  ASSERT_TRUE(elevation.has_value());
  if (qv::setup::IsRunningUnderWine()) {
    // Wine marks every token fully elevated although it has no account
    // separation: the program must not take that for a real elevation.
    EXPECT_TRUE(*token);
    EXPECT_FALSE(*elevation);
  } else {
    EXPECT_EQ(*elevation, *token);
  }
  EXPECT_EQ(qv::setup::IsProcessElevated(), *elevation);
}

TEST(Elevation, WineIsRecognisedByItsOwnExport) {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  EXPECT_EQ(qv::setup::IsRunningUnderWine(), ::GetProcAddress(ntdll, "wine_get_version") != nullptr);
}

}  // namespace
