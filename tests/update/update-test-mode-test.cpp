#include "update/update-test-mode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "foundation/win/elevation.h"

namespace {

using qv::update::IsUpdateTestMode;

// Sets QV_UPDATE_TEST in the C runtime's environment (the copy getenv reads)
// for one test and restores what was there.
class TestVariable {
 public:
  TestVariable() {
    if (const char* value = std::getenv("QV_UPDATE_TEST")) saved_ = value;
  }
  ~TestVariable() { Set(saved_); }
  void Set(const std::optional<std::string>& value) { _putenv_s("QV_UPDATE_TEST", value ? value->c_str() : ""); }

 private:
  std::optional<std::string> saved_;
};

TEST(UpdateTestMode, OnlyExactlyOneInAProcessKnownNotToBeElevated) {
  TestVariable variable;
  auto not_elevated = [] { return std::optional<bool>(false); };
  auto elevated = [] { return std::optional<bool>(true); };
  auto unknown = [] { return std::optional<bool>(); };

  const struct {
    std::optional<std::string> value;
    bool on;
  } values[] = {
      {"1", true}, {std::nullopt, false}, {"11", false}, {"true", false}, {"1 ", false},
      {" 1", false}, {"0", false}, {"yes", false},
  };
  for (const auto& v : values) {
    variable.Set(v.value);
    EXPECT_EQ(IsUpdateTestMode(not_elevated), v.on) << v.value.value_or("(unset)");
    EXPECT_FALSE(IsUpdateTestMode(elevated)) << v.value.value_or("(unset)");
    EXPECT_FALSE(IsUpdateTestMode(unknown)) << v.value.value_or("(unset)");
    EXPECT_FALSE(IsUpdateTestMode(qv::update::ElevationQuery())) << v.value.value_or("(unset)");
  }

  // Asked afresh at every call, through the foundation's elevation test
  // (which answers "not elevated" under Wine, where every process looks elevated).
  variable.Set("1");
  EXPECT_EQ(IsUpdateTestMode(), !qv::setup::IsProcessElevated());
  variable.Set(std::nullopt);
  EXPECT_FALSE(IsUpdateTestMode());
}

}  // namespace
