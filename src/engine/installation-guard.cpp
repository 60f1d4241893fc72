#include "engine/installation-guard.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>
#include <utility>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/paths.h"
#include "foundation/text/error-text.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

// Object names allow no backslash and at most MAX_PATH characters, so both
// kinds of name carry a digest of what they stand for. They live in the
// global namespace: an installation such as C:\Games\Q.V. is shared by every
// user of the computer, and a run in another logon session (another user's,
// or one started through a service) must meet the same objects. Creating a
// mutex there needs no privilege.
std::wstring DigestName(std::wstring_view kind, std::string_view text) {
  unsigned char digest[32] = {};
  Sha256OfBuffer(text.data(), static_cast<std::uint32_t>(text.size()), digest);
  return L"Global\\" + std::wstring(kind) + Utf8ToWide(HexEncode(digest, sizeof digest));
}

// Whether a mutex of `name` exists that this process may not open. A run of
// another user, or an elevated one, makes its guard so: only such a mutex is
// a run's, while a name this process may merely not create is not.
bool ClosedMutexExists(const std::wstring& name) {
  UniqueHandle object(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  return object || ::GetLastError() == ERROR_ACCESS_DENIED;
}

// The object of `name`, when this call created it; nothing when another run's
// guard, a mutex of that name, exists already, whether or not this process
// may open it. Any other failure is no run and raises a sentence that says
// what failed: taken for another run, it would refuse every later run too
// with a sentence that sends the user looking for a run that does not exist.
UniqueHandle CreateOwnObject(const std::wstring& name) {
  UniqueHandle object(::CreateMutexW(nullptr, FALSE, name.c_str()));
  const DWORD code = ::GetLastError();
  if (object) return code == ERROR_ALREADY_EXISTS ? UniqueHandle() : std::move(object);
  if (code == ERROR_ACCESS_DENIED && ClosedMutexExists(name)) return {};
  const std::string guard = "Could not take this install's guard against other runs";
  const std::string shown = WideToUtf8(name);
  if (code == ERROR_INVALID_HANDLE) {
    throw std::runtime_error(guard + ": another program holds its name " + shown + " with an object of another kind.");
  }
  const std::error_code error(static_cast<int>(code), std::system_category());
  throw std::runtime_error(guard + " (" + shown + "): " + SystemErrorText(error) + ".");
}

}  // namespace

// One name for every spelling of the folder: absolute, links resolved, and
// upper case as the file system compares names.
std::wstring InstallationGuardName(const std::filesystem::path& installation) {
  std::error_code error;
  std::filesystem::path canonical = WeaklyCanonicalPath(NormalAbsolutePath(installation), error);
  if (error) canonical = NormalAbsolutePath(installation);
  std::wstring text = canonical.native();
  if (!text.empty()) {
    const int length =
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()),
                        text.data(), static_cast<int>(text.size()), nullptr, nullptr, 0);
    if (length <= 0) text = canonical.native();
  }
  return DigestName(L"qv-install-", WideToUtf8(text));
}

std::wstring RunMarkName(std::string_view run_id) { return DigestName(L"qv-run-", run_id); }

std::optional<InstallationGuard> TryGuardInstallation(const std::filesystem::path& installation,
                                                      std::string_view run_id) {
  InstallationGuard guard;
  guard.installation = CreateOwnObject(InstallationGuardName(installation));
  if (!guard.installation) return std::nullopt;
  // The mark only tells live runs from killed ones, so a run whose mark
  // cannot be made still goes on: its own sweep spares its folders by name,
  // and only a run of another installation beside it could take them for
  // abandoned.
  guard.run = UniqueHandle(::CreateMutexW(nullptr, FALSE, RunMarkName(run_id).c_str()));
  return guard;
}

InstallationGuard GuardInstallation(const std::filesystem::path& installation, std::string_view run_id) {
  std::optional<InstallationGuard> guard = TryGuardInstallation(installation, run_id);
  if (!guard) throw std::runtime_error(kAnotherRunMessage);
  return std::move(*guard);
}

bool IsRunMarked(std::string_view run_id) {
  UniqueHandle object(::OpenMutexW(SYNCHRONIZE, FALSE, RunMarkName(run_id).c_str()));
  return object || ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

}  // namespace qv::setup
