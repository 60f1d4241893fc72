#include "support/name-table.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace qv::test {
namespace {

// "\xHH" is one byte and "\\" a backslash; the rest stands as it is.
std::string Unescaped(const std::string& field) {
  std::string name;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '\\') {
      name += '\\';
      ++i;
    } else if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x') {
      name += static_cast<char>(std::strtoul(field.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      name += field[i];
    }
  }
  return name;
}

}  // namespace

std::vector<NameRow> ReadNameTable() {
  std::istringstream table(ReadTestFile(TestBinaryFolder() / L"payload-names.txt"));
  std::vector<NameRow> rows;
  std::string line;
  for (int number = 1; std::getline(table, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t start = 0; start <= line.size();) {
      const std::size_t end = std::min(line.find('\t', start), line.size());
      if (end > start) fields.push_back(line.substr(start, end - start));
      start = end + 1;
    }
    NameRow row;
    row.line = number;
    if (fields.size() >= 4) {
      row.tool_verdict = fields[0];
      row.reader_verdict = fields[1];
      row.commit_verdict = fields[2];
      for (std::size_t i = 3; i < fields.size(); ++i) row.names.push_back(Unescaped(fields[i]));
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace qv::test
