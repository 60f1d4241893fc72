#include "selftest/refusal-check.h"

#include <exception>

namespace qv::setup {

std::string RefusalFailure(const std::function<void()>& call, std::string_view expected, RefusalText match,
                           std::string_view failure, OtherExceptions others) {
  try {
    call();
  } catch (const std::exception& error) {
    const std::string_view text = error.what();
    const bool matches = match == RefusalText::kWhole ? text == expected : text.starts_with(expected);
    if (matches) return {};
    return std::string(failure) + ": " + std::string(text);
  } catch (...) {
    if (others == OtherExceptions::kPass) throw;
    return std::string(failure) + ": " + kUnknownExceptionText;
  }
  return std::string(failure);
}

}  // namespace qv::setup
