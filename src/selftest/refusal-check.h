#pragma once
// A check that an operation refuses its input. Refusing is not enough: the
// refusal must be the one expected, since an operation that fails for some
// other reason (a missing folder, a read error) says nothing about whether it
// would have accepted the bad input.

#include <functional>
#include <string>
#include <string_view>

namespace qv::setup {

enum class RefusalText {
  kWhole,  // the exception's text is exactly the expected one
  kStart,  // the exception's text begins with the expected one
};

// What a refusal check does with an exception outside std::exception.
enum class OtherExceptions {
  kFail,  // it fails the check like any other wrong refusal
  kPass,  // it leaves the check unchanged (a test hook's simulated crash
          // must reach whoever is meant to catch it)
};

// Runs `call`. Empty when it raised a std::exception whose text matches
// `expected`; otherwise `failure` itself when it returned normally, or
// `failure` + ": " + the exception's text when it raised anything else.
std::string RefusalFailure(const std::function<void()>& call, std::string_view expected, RefusalText match,
                           std::string_view failure, OtherExceptions others = OtherExceptions::kFail);

// What a refusal check reports for an exception that carries no text.
inline constexpr const char* kUnknownExceptionText = "an error of an unknown kind";

}  // namespace qv::setup
