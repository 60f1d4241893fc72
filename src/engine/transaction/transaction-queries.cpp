#include "engine/transaction/transaction-queries.h"

#include <windows.h>

#include <system_error>

#include "foundation/files/folder-tests.h"
#include "foundation/files/paths.h"

namespace qv::setup {

std::uint64_t AvailableSpace(const std::filesystem::path& folder) {
  ULARGE_INTEGER available{};
  // With a trailing separator, as the call wants for a share.
  if (!::GetDiskFreeSpaceExW(ApiPath(folder / L"").c_str(), &available, nullptr, nullptr)) {
    const std::error_code error(static_cast<int>(::GetLastError()), std::system_category());
    throw std::filesystem::filesystem_error("space", folder, error);
  }
  return available.QuadPart;
}

const TransactionQueries& SystemTransactionQueries() {
  static const TransactionQueries queries{
      AvailableSpace,
      [](const std::filesystem::path& folder, std::string_view suffix, const std::string& label) {
        ProbeWritableFolder(folder, suffix, label);
      },
  };
  return queries;
}

}  // namespace qv::setup
