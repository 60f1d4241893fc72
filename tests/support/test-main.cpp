// Shared main of the test programs. A test that needs a second process starts
// its own test program again with "--child <name> ..."; the named child mode
// then runs instead of the tests.

#include <gtest/gtest.h>

#include <cstring>

#include "support/child-mode.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    return qv::test::RunChildMode(argv[2], argc - 3, argv + 3);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
