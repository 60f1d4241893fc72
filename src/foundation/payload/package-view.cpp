#include "foundation/payload/package-view.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "foundation/files/paths.h"

namespace qv::setup {
namespace {

constexpr int kPayloadResourceId = 100;
constexpr char kPayloadMagic[8] = {'Q', 'V', 'S', 'E', 'T', 'U', 'P', '1'};
constexpr DWORD kSmallestPayload = 12;  // the magic and an entry count

[[noreturn]] void ThrowNoPayload() { throw std::runtime_error("The downloaded package holds no payload."); }

}  // namespace

std::pair<const std::uint8_t*, std::uint64_t> OpenPackageView(win_updater::PackageView& view,
                                                              const std::filesystem::path& path) {
  const std::wstring name = ToLongPath(path.native());
  view.file.reset(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!view.file) throw std::runtime_error("Could not open the downloaded package.");

  // As data only: nothing of the file runs or is initialised.
  view.module.reset(
      ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!view.module) throw std::runtime_error("The downloaded package is not a setup program.");

  HRSRC resource = ::FindResourceW(view.module.get(), MAKEINTRESOURCEW(kPayloadResourceId), RT_RCDATA);
  if (!resource) ThrowNoPayload();
  HGLOBAL loaded = ::LoadResource(view.module.get(), resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(view.module.get(), resource);
  if (!data || size < kSmallestPayload || std::memcmp(data, kPayloadMagic, sizeof kPayloadMagic) != 0) {
    ThrowNoPayload();
  }
  return {static_cast<const std::uint8_t*>(data), size};
}

}  // namespace qv::setup
