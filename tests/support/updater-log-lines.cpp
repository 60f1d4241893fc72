#include "support/updater-log-lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace qv::test {

std::vector<std::string> UpdaterLogMessages(const std::filesystem::path& game_folder) {
  static const std::regex kStamp(
      R"(^\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d )");
  std::ifstream in(game_folder / L"data" / L"qv-updater.log", std::ios::binary);
  std::vector<std::string> messages;
  std::string line;
  while (std::getline(in, line)) {
    std::smatch stamp;
    if (std::regex_search(line, stamp, kStamp)) {
      messages.push_back(line.substr(stamp.length(0)));
    } else {
      ADD_FAILURE() << "log line without its time stamp: " << line;
      messages.push_back(line);
    }
  }
  return messages;
}

std::vector<std::string> UpdateLogLines(const std::filesystem::path& game_folder) {
  std::ifstream in(game_folder / L"data" / L"qv-update.log", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace qv::test
