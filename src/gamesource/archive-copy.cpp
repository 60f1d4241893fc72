#include "gamesource/archive-copy.h"

#include <windows.h>

#include <memory>
#include <stdexcept>

#include "foundation/files/create-folders.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "gamesource/param-sfo.h"

namespace qv::setup {
namespace {

// Temporary names lie in the title folder, so the final rename stays on one volume.
std::filesystem::path PartialPath(const std::filesystem::path& title_folder, std::string_view name) {
  return title_folder / PathFromUtf8(".qv-copy-" + std::string(name));
}

// Removes the partial file unless the copy was handed over to its final name.
struct PartialFileGuard {
  std::filesystem::path path;
  bool keep = false;
  ~PartialFileGuard() {
    if (!keep) ::DeleteFileW(ApiPath(path).c_str());
  }
};

void CopyOneFile(const std::filesystem::path& source, const std::filesystem::path& title_folder,
                 std::string_view name, char* buffer) {
  const std::string shown(name);
  SendLogLine("Copying " + shown + " from your game folder...");
  const std::filesystem::path destination = title_folder / PathFromUtf8(name);
  PartialFileGuard partial{PartialPath(title_folder, name)};

  UniqueFile in(::CreateFileW(ApiPath(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  UniqueFile out(::CreateFileW(ApiPath(partial.path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in || !out) throw std::runtime_error("Could not copy " + shown + ".");

  bool failed = false;
  for (;;) {
    ThrowIfCancelled();  // before every block, the first one included
    DWORD got = 0;
    if (!::ReadFile(in.get(), buffer, static_cast<DWORD>(kArchiveCopyBlock), &got, nullptr)) {
      failed = true;
      break;
    }
    if (got > 0) {
      DWORD written = 0;
      if (!::WriteFile(out.get(), buffer, got, &written, nullptr) || written != got) {
        failed = true;
        break;
      }
      AddProgress(got);
    }
    if (got < kArchiveCopyBlock) break;  // the end of the source
  }
  if (failed) throw std::runtime_error("Could not copy " + shown + " (check free space).");
  out.reset();  // a failing close shows as a short file below

  auto source_status = ReadItemStatus(source);
  auto copied_status = ReadItemStatus(partial.path);
  if (!source_status || !copied_status || source_status->size != copied_status->size) {
    throw std::runtime_error("Copy of " + shown + " is incomplete.");
  }
  if (!::MoveFileExW(ApiPath(partial.path).c_str(), ApiPath(destination).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    throw std::runtime_error("Could not copy " + shown + ".");
  }
  partial.keep = true;
}

void WriteSourceRecord(const std::filesystem::path& file, const std::string& text) {
  UniqueFile out(::CreateFileW(ApiPath(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return;  // a record for the user and support only
  DWORD written = 0;
  ::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

std::string RenderSourceRecord(const GameFiles& files) {
  std::string text = "content_id=" + files.content_id + "\n";
  text += "title_id=" + files.title_id + "\n";
  text += "region=" + RegionFromContentId(files.title_id, files.content_id) + "\n";
  text += "source=folder\n";
  for (const std::string& note : files.notes) text += "warning=" + note + "\n";
  return text;
}

void CopyGameArchives(const GameFiles& files, const std::filesystem::path& title_folder) {
  CreateFolders(title_folder);

  auto buffer = std::make_unique<char[]>(kArchiveCopyBlock);
  const std::filesystem::path* sources[] = {&files.chunk, &files.texture, &files.path_id_list};
  for (size_t i = 0; i < GameArchiveNames.size(); ++i) {
    if (sources[i]->empty()) continue;
    CopyOneFile(*sources[i], title_folder, GameArchiveNames[i], buffer.get());
  }
  WriteSourceRecord(title_folder / L"source.txt", RenderSourceRecord(files));
}

}  // namespace qv::setup
