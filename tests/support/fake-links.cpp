#include "support/fake-links.h"

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "foundation/files/paths.h"

namespace qv::test {
namespace {

std::wstring Key(const std::filesystem::path& path) {
  std::wstring text = qv::setup::NormalAbsolutePath(path).native();
  ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

qv::setup::FileSystemView ViewWithReparsePoints(std::vector<FakeReparsePoint> fakes) {
  auto tags = std::make_shared<std::map<std::wstring, std::uint32_t>>();
  for (const auto& fake : fakes) (*tags)[Key(fake.path)] = fake.tag;
  auto tag_of = [tags](const std::filesystem::path& path) -> std::optional<std::uint32_t> {
    if (path.empty()) return std::nullopt;
    auto it = tags->find(Key(path));
    if (it == tags->end()) return std::nullopt;
    return it->second;
  };
  const qv::setup::FileSystemView& system = qv::setup::SystemView();

  qv::setup::FileSystemView view;
  view.find_item = [tag_of, &system](const std::filesystem::path& path) {
    auto info = system.find_item(path);
    if (info) {
      if (auto tag = tag_of(path)) {
        info->attributes |= qv::setup::kAttributeReparsePoint;
        info->reparse_tag = *tag;
      }
    }
    return info;
  };
  view.read_attributes = [tag_of, &system](const std::filesystem::path& path) {
    auto attributes = system.read_attributes(path);
    if (attributes && tag_of(path)) *attributes |= qv::setup::kAttributeReparsePoint;
    return attributes;
  };
  view.list_folder = [tag_of, &system](const std::filesystem::path& folder,
                                       std::vector<qv::setup::FolderEntry>& entries) {
    std::error_code error = system.list_folder(folder, entries);
    for (auto& entry : entries) {
      if (auto tag = tag_of(folder / entry.name)) {
        entry.info.attributes |= qv::setup::kAttributeReparsePoint;
        entry.info.reparse_tag = *tag;
      }
    }
    return error;
  };
  return view;
}

}  // namespace qv::test
