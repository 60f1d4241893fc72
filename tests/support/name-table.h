#pragma once
// The table of port file names that every reader of names judges
// (tests/fixtures/payload-names.txt, copied beside the test programs): each
// row carries the release tool's, the manifest reader's and the commit's
// verdicts.

#include <string>
#include <vector>

namespace qv::test {

struct NameRow {
  int line = 0;  // in the table file, for messages
  std::string tool_verdict;
  std::string reader_verdict;
  std::string commit_verdict;
  std::vector<std::string> names;  // unescaped bytes, in the row's order
};

// Every row of the table; comments and empty lines left out.
std::vector<NameRow> ReadNameTable();

}  // namespace qv::test
