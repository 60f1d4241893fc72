#include "foundation/crypto/file-hash.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "foundation/crypto/cng-handles.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"

namespace qv::setup {
namespace {

constexpr DWORD kReadBlock = 1 << 20;

bool IsRetriedOpenError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The message names the path leniently: an unconvertible name must not hide the
// read failure behind a conversion error.
[[noreturn]] void ThrowUnreadable(const std::filesystem::path& path, DWORD error) {
  std::string shown = WideToUtf8(path.native());
  std::replace(shown.begin(), shown.end(), '\\', '/');
  std::string hint;
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    hint = " (another program, often an antivirus, kept it open)";
  } else if (error == ERROR_ACCESS_DENIED) {
    hint = " (access denied: an antivirus or the folder's permissions)";
  }
  throw std::runtime_error("Could not read or hash this file to verify its integrity: " + shown +
                           " (Windows error " + std::to_string(error) + ")" + hint);
}

// The read buffer of the calling thread, made once and kept for the thread's
// life. A buffer allocated afresh for every file costs more than the reads
// themselves where the system maps its pages in only as a read fills them
// (about 5 ms for a file of 200 KB under Wine, against 0.2 ms in a buffer
// already used): hashing the hundreds of files of a payload would take
// several times as long as reading them.
unsigned char* ThreadReadBuffer() {
  thread_local const std::unique_ptr<unsigned char[]> buffer =
      std::make_unique_for_overwrite<unsigned char[]>(kReadBlock);
  return buffer.get();
}

// The SHA-256 provider, opened once for the process and shared by every
// thread (a provider handle may create hash objects from any thread): opening
// one for each file costs more than hashing a small file. Null when the
// system has none.
BCRYPT_ALG_HANDLE Sha256Provider() {
  static const UniqueAlgorithmProvider provider = [] {
    UniqueAlgorithmProvider opened;
    if (::BCryptOpenAlgorithmProvider(opened.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) opened.release();  // nothing was opened
    return opened;
  }();
  return provider.get();
}

UniqueFile OpenForHashing(const std::filesystem::path& path, const OpenRetryPolicy& retry, DWORD& error) {
  const std::wstring name = ToLongPath(path.native());
  const int attempts = std::max(retry.attempts, 1);
  for (int attempt = 1;; ++attempt) {
    ThrowIfCancelled();
    UniqueFile file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file) return file;
    error = ::GetLastError();
    if (!IsRetriedOpenError(error)) return {};
    // The wait also follows the last failure, so giving up takes the full time.
    ::Sleep(retry.delay_ms);
    if (attempt >= attempts) return {};
  }
}

}  // namespace

std::string HashFileSha256(const std::filesystem::path& path, std::uint64_t limit, const OpenRetryPolicy& retry) {
  const BCRYPT_ALG_HANDLE algorithm = Sha256Provider();
  if (algorithm == nullptr) throw std::runtime_error("SHA256 provider unavailable.");
  // The provider manages the hash object itself.
  UniqueHashObject hash;
  if (::BCryptCreateHash(algorithm, hash.put(), nullptr, 0, nullptr, 0, 0) != 0) {
    throw std::runtime_error("SHA256 initialization failed.");
  }

  DWORD error = 0;
  UniqueFile file = OpenForHashing(path, retry, error);
  bool ok = file.valid();
  if (ok) {
    // Sequential reads of 1 MiB into the thread's own buffer.
    unsigned char* const buffer = ThreadReadBuffer();
    std::uint64_t remaining = limit;
    while (remaining > 0) {
      ThrowIfCancelled();
      DWORD wanted = static_cast<DWORD>(std::min<std::uint64_t>(remaining, kReadBlock));
      DWORD read = 0;
      if (!::ReadFile(file.get(), buffer, wanted, &read, nullptr)) {
        error = ::GetLastError();
        ok = false;
        break;
      }
      if (read == 0) break;
      if (::BCryptHashData(hash.get(), buffer, read, 0) != 0) {
        error = 0;
        ok = false;
        break;
      }
      remaining -= read;
    }
  }
  file.reset();

  unsigned char digest[32];
  if (ok && ::BCryptFinishHash(hash.get(), digest, sizeof(digest), 0) != 0) {
    error = 0;
    ok = false;
  }
  if (!ok) ThrowUnreadable(path, error);
  return HexEncode(digest, sizeof(digest));
}

std::string HashFile(const std::filesystem::path& path) { return HashFileSha256(path, kWholeFile); }

std::string HashFileOrEmpty(const std::filesystem::path& path) {
  try {
    return HashFile(path);
  } catch (const std::exception&) {
    return {};
  }
}

bool Sha256OfBuffer(const void* bytes, std::uint32_t length, unsigned char* digest) {
  const BCRYPT_ALG_HANDLE algorithm = Sha256Provider();
  if (algorithm == nullptr) return false;
  UniqueHashObject hash;
  if (::BCryptCreateHash(algorithm, hash.put(), nullptr, 0, nullptr, 0, 0) != 0) return false;
  if (::BCryptHashData(hash.get(), static_cast<PUCHAR>(const_cast<void*>(bytes)), length, 0) != 0) return false;
  return ::BCryptFinishHash(hash.get(), digest, 32, 0) == 0;
}

bool Sha256OfPieces(const std::function<bool(const Sha256Add& add)>& feed, unsigned char* digest) {
  const BCRYPT_ALG_HANDLE algorithm = Sha256Provider();
  if (algorithm == nullptr) return false;
  UniqueHashObject hash;
  if (::BCryptCreateHash(algorithm, hash.put(), nullptr, 0, nullptr, 0, 0) != 0) return false;
  const Sha256Add add = [&hash](const void* bytes, std::size_t length) {
    // The provider takes 32-bit lengths: longer pieces go in parts.
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (length != 0) {
      const ULONG part = static_cast<ULONG>(std::min<std::size_t>(length, 1u << 30));
      if (::BCryptHashData(hash.get(), const_cast<PUCHAR>(at), part, 0) != 0) return false;
      at += part;
      length -= part;
    }
    return true;
  };
  if (!feed(add)) return false;
  return ::BCryptFinishHash(hash.get(), digest, 32, 0) == 0;
}

}  // namespace qv::setup
