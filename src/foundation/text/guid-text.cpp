#include "foundation/text/guid-text.h"

#include <windows.h>
#include <objbase.h>

#include <stdexcept>

#include "foundation/text/text.h"

namespace qv::setup {

std::string NewGuidText() {
  GUID guid{};
  if (FAILED(::CoCreateGuid(&guid))) throw std::runtime_error("Could not create a run identifier.");
  wchar_t text[39] = {};
  if (::StringFromGUID2(guid, text, 39) != 39) throw std::runtime_error("Could not create a run identifier.");
  return WideToUtf8(std::wstring_view(text, 38));
}

}  // namespace qv::setup
