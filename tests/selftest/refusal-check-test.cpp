#include "selftest/refusal-check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

using qv::setup::RefusalFailure;
using qv::setup::RefusalText;

struct NotAStdException {};

// Only the expected refusal passes; a call that returns gives the bare token,
// any other exception the token with its text.
TEST(RefusalCheck, PassesOnlyForTheExpectedRefusal) {
  const struct {
    const char* what;
    std::function<void()> call;
    RefusalText match;
    std::string failure;
  } cases[] = {
      {"whole text", [] { throw std::runtime_error("Unsafe payload path."); }, RefusalText::kWhole, ""},
      {"whole text, more after it", [] { throw std::runtime_error("Unsafe payload path. Really."); },
       RefusalText::kWhole, " tok: Unsafe payload path. Really."},
      {"start of the text", [] { throw std::runtime_error("Unsafe payload path. Really."); }, RefusalText::kStart, ""},
      {"start, other text", [] { throw std::runtime_error("Access is denied."); }, RefusalText::kStart,
       " tok: Access is denied."},
      {"start, text too short", [] { throw std::runtime_error("Unsafe"); }, RefusalText::kStart, " tok: Unsafe"},
      {"file-system error",
       [] { throw std::filesystem::filesystem_error("open", std::make_error_code(std::errc::permission_denied)); },
       RefusalText::kStart, " tok: filesystem error: open: Permission denied"},
      {"returned", [] {}, RefusalText::kWhole, " tok"},
      {"no std::exception", [] { throw NotAStdException{}; }, RefusalText::kWhole,
       " tok: an error of an unknown kind"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RefusalFailure(c.call, "Unsafe payload path.", c.match, " tok"), c.failure) << c.what;
  }
}

// A test hook's simulated crash is not a refusal at all: with kPass it goes
// on to whoever is meant to catch it, while std exceptions are judged as ever.
TEST(RefusalCheck, OtherExceptionsCanPassThrough) {
  using qv::setup::OtherExceptions;
  EXPECT_THROW(RefusalFailure([] { throw NotAStdException{}; }, "Unsafe payload path.", RefusalText::kWhole, " tok",
                              OtherExceptions::kPass),
               NotAStdException);
  EXPECT_EQ(RefusalFailure([] { throw std::runtime_error("Access is denied."); }, "Unsafe payload path.",
                           RefusalText::kWhole, " tok", OtherExceptions::kPass),
            " tok: Access is denied.");
  EXPECT_EQ(RefusalFailure([] { throw std::runtime_error("Unsafe payload path."); }, "Unsafe payload path.",
                           RefusalText::kWhole, " tok", OtherExceptions::kPass),
            "");
  EXPECT_EQ(RefusalFailure([] {}, "Unsafe payload path.", RefusalText::kWhole, " tok", OtherExceptions::kPass), " tok");
}

}  // namespace
