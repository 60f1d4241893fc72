#pragma once
// Owners for the GDI objects a window capture holds: memory device contexts,
// bitmaps, a window's own device context and the object selected into a
// context, so that every way out of a capture gives them back.

#include <windows.h>

#include <utility>

#include "foundation/win/unique-handle.h"

namespace qv::setup {

inline void DeleteMemoryDc(HDC dc) noexcept { ::DeleteDC(dc); }
using UniqueMemoryDc = UniqueResource<NullableHandleTraits<HDC, &DeleteMemoryDc>>;

inline void DeleteBitmapObject(HBITMAP bitmap) noexcept { ::DeleteObject(bitmap); }
using UniqueBitmap = UniqueResource<NullableHandleTraits<HBITMAP, &DeleteBitmapObject>>;

// GetDC's context, released to its window at the end of the scope.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// SelectObject for the scope: the context's previous object goes back in
// before the selected one can be deleted.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  bool ok() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

inline void DestroyWindowHandle(HWND window) noexcept { ::DestroyWindow(window); }
// A window this thread created and destroys at the end of the scope.
using UniqueWindow = UniqueResource<NullableHandleTraits<HWND, &DestroyWindowHandle>>;

}  // namespace qv::setup
