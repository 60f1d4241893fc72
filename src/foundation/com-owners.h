#pragma once
// Owners for COM interface pointers, BSTRs and the calling thread's COM
// apartment, so that no path through a chain of COM calls needs its own
// Release, SysFreeString or CoUninitialize.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "foundation/unique-handle.h"

namespace qv::setup {

template <typename Interface>
struct ComTraits {
  using Value = Interface*;
  static Value Invalid() noexcept { return nullptr; }
  static bool IsValid(Value v) noexcept { return v != nullptr; }
  static void Close(Value v) noexcept { v->Release(); }
};

template <typename Interface>
using UniqueCom = UniqueResource<ComTraits<Interface>>;

// The out-parameter form that QueryInterface-style calls take.
template <typename Interface>
void** PutVoid(UniqueCom<Interface>& owner) noexcept {
  return reinterpret_cast<void**>(owner.put());
}

inline void FreeBstr(BSTR text) noexcept { ::SysFreeString(text); }
using UniqueBstr = UniqueResource<NullableHandleTraits<BSTR, &FreeBstr>>;

// CoInitializeEx for the calling thread, undone at the end of the scope when
// it succeeded (S_FALSE, an apartment already there, counts: it must be
// balanced too).
class ComApartment {
 public:
  explicit ComApartment(DWORD model) noexcept : result_(::CoInitializeEx(nullptr, model)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  bool ok() const noexcept { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

}  // namespace qv::setup
