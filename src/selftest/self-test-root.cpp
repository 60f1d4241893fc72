#include "selftest/self-test-root.h"

#include <objbase.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "foundation/files/paths.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"

namespace qv::setup {
namespace {

std::string HexCode(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", code);
  return text;
}

}  // namespace

std::filesystem::path SelfTestRootPath(const std::filesystem::path& parent, const GuidSource& new_guid) {
  // The root is deleted recursively at the end: a name from an unfilled GUID
  // (all zeros, or whatever the memory held) could be a folder of anybody's.
  GUID guid{};
  const HRESULT made = new_guid(guid);
  if (FAILED(made)) {
    throw std::runtime_error("The self test could not make a unique name for its temporary folder (error " +
                             HexCode(static_cast<unsigned long>(made)) + ").");
  }
  wchar_t text[40] = {};
  // 38 characters and the terminating zero.
  if (::StringFromGUID2(guid, text, 40) != 39) {
    throw std::runtime_error("The self test could not write the unique name of its temporary folder.");
  }
  return parent / (std::wstring(kSelfTestRootPrefix) + text);
}

void CreateSelfTestRoot(const std::filesystem::path& root) {
  if (::CreateDirectoryW(ApiPath(root).c_str(), nullptr)) return;
  const DWORD error = ::GetLastError();
  const std::string name = WideToUtf8(root.native());
  if (error == ERROR_ALREADY_EXISTS) {
    throw std::runtime_error("The self test's temporary folder " + name +
                             " already exists; the self test left it untouched.");
  }
  throw std::runtime_error("The self test could not create its temporary folder " + name + " (Windows error " +
                           std::to_string(error) + ").");
}

void RemoveSelfTestRoot(const std::filesystem::path& root) {
  RemoveTreeOrThrow(root);
}

}  // namespace qv::setup
