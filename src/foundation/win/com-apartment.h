#pragma once

#include <windows.h>
#include <objbase.h>

namespace qv::setup {

// COM initialised on the calling thread as a single-threaded apartment for the
// owner's lifetime. Uninitialised only when this initialisation counted: a
// thread already in another apartment keeps it untouched (and COM still works
// there for in-process objects).
class ComApartment {
 public:
  ComApartment() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

}  // namespace qv::setup
