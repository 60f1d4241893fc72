#pragma once
// The working state of one in-game update run (one call of ApplyGameUpdate):
// what the update has learnt so far, shared by reference between the update's
// own steps and the download hooks that the install engine calls back
// (ObtainChangedFiles, CheckDownloadedPackage). It lives on the updating
// thread's stack for the duration of the call and is touched by that thread
// only.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/payload/payload-archive.h"
#include "update/game-update-platform.h"
#include "update/release-info.h"
#include "update/signed-manifest.h"

namespace qv::setup {

struct UpdateRun {
  UpdateRun(const GameUpdatePlatform& platform_services, GameUpdateResult& run_result)
      : platform(platform_services), result(run_result) {}
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // The caller's services (hashers, the package opener, staged_files).
  const GameUpdatePlatform& platform;
  // The report under construction: the downloads raise its requests and
  // bytes_downloaded and clear `parts` when they fall back to the whole file.
  GameUpdateResult& result;

  // The game folder, absolute and lexically normal.
  std::filesystem::path game_folder;
  // The folder holds "qv-install-manifest.txt" (else it is a portable copy).
  bool installed_copy = false;
  // The installed version (the program's own when the copy names none).
  std::string installed_version;
  // Beside the game folder, ".qv-update-dl-" + run_id (DownloadFolderFor);
  // created only by the whole-package download.
  std::filesystem::path download_folder;
  // The downloaded setup file; empty until the whole-package download finished.
  std::filesystem::path downloaded_package;

  // The newest release: package_url and package_size of this platform's setup file.
  qv::update::Release release;
  // The verified signed manifest, this platform's package in it and its files
  // in manifest order.
  qv::update::UpdateManifest manifest;
  qv::update::PackageInfo package;
  std::vector<qv::update::FileEntry> files;

  // One entry per manifest file (name = path), in manifest order, and those
  // of them that differ from the installed files.
  std::vector<PayloadEntry> expected;
  std::vector<PayloadEntry> differing;

  // True while the changed files are fetched by range requests; false once
  // the whole setup file is used (decided by the update, and turned to false
  // by the range path when the server answers a range request whole).
  bool parts = false;

  // The downloaded setup file's payload archive once CheckDownloadedPackage
  // opened it ({nullptr, 0} before); valid until platform.close_package.
  PackagePayload payload{nullptr, 0};
};

// game folder's parent / (".qv-update-dl-" + run_id).
std::filesystem::path DownloadFolderFor(const std::filesystem::path& game_folder, std::string_view run_id);

}  // namespace qv::setup
