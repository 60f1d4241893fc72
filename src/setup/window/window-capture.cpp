#include "setup/window/window-capture.h"

#include <cstring>
#include <vector>

#include "foundation/files/paths.h"
#include "foundation/files/whole-file.h"
#include "foundation/win/gdi-owners.h"
#include "foundation/win/window-thread.h"
#include "setup/install-from-shortcut.h"
#include "setup/window/setup-window.h"

namespace qv::setup {
namespace {

constexpr DWORD kPrintFlags = PRF_CLIENT | PRF_ERASEBKGND;

template <typename T>
void PutLittleEndian(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
}

BITMAPINFOHEADER TopDownHeader(int width, int height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

// Paints one window's client area (the parent without its children, or one
// child) into a new bitmap of its size and blits it into `target` at `at`.
bool PaintClientInto(HDC reference, HDC target, HWND window, POINT at) {
  RECT client{};
  ::GetClientRect(window, &client);
  if (client.right <= 0 || client.bottom <= 0) return true;  // nothing to paint
  UniqueMemoryDc dc(::CreateCompatibleDC(reference));
  UniqueBitmap bitmap(::CreateCompatibleBitmap(reference, client.right, client.bottom));
  if (!dc || !bitmap) return false;
  SelectedObject selected(dc.get(), bitmap.get());
  if (!selected.ok()) return false;
  ::SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(dc.get()), kPrintFlags);
  return ::BitBlt(target, at.x, at.y, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY) != FALSE;
}

// A child's client area at its place, then its frame. Frames are drawn here
// rather than printed: some systems print no frame, and a window without a
// visible frame draws none anyway; the sunken edge is the one frame the
// setup's controls have.
bool PaintChild(HDC reference, HDC target, HWND parent, HWND child) {
  RECT frame{};
  ::GetWindowRect(child, &frame);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&frame), 2);
  POINT client_origin{0, 0};
  ::ClientToScreen(child, &client_origin);
  ::ScreenToClient(parent, &client_origin);
  if (!PaintClientInto(reference, target, child, client_origin)) return false;
  if ((::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) {
    ::DrawEdge(target, &frame, EDGE_SUNKEN, BF_RECT);
  }
  return true;
}

}  // namespace

std::optional<WindowPixels> CaptureClientArea(HWND window) {
  RECT client{};
  if (!::GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return std::nullopt;
  const int width = client.right;
  const int height = client.bottom;

  WindowDc window_dc(window);
  if (!window_dc) return std::nullopt;
  UniqueMemoryDc dc(::CreateCompatibleDC(window_dc.get()));
  UniqueBitmap bitmap(::CreateCompatibleBitmap(window_dc.get(), width, height));
  if (!dc || !bitmap) return std::nullopt;
  {
    SelectedObject selected(dc.get(), bitmap.get());
    if (!selected.ok()) return std::nullopt;
    if (!PaintClientInto(window_dc.get(), dc.get(), window, POINT{0, 0})) return std::nullopt;
    // Bottom of the z-order first, so a child above another is painted last.
    // The window was never shown, so its children count by their own style.
    for (HWND child = ::GetWindow(::GetWindow(window, GW_CHILD), GW_HWNDLAST); child != nullptr;
         child = ::GetWindow(child, GW_HWNDPREV)) {
      if ((::GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      if (!PaintChild(window_dc.get(), dc.get(), window, child)) return std::nullopt;
    }
  }

  WindowPixels pixels;
  pixels.width = width;
  pixels.height = height;
  pixels.bytes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  BITMAPINFO info{};
  info.bmiHeader = TopDownHeader(width, height);
  if (::GetDIBits(dc.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.bytes.data(), &info,
                  DIB_RGB_COLORS) != height) {
    return std::nullopt;
  }
  return pixels;
}

std::string EncodeBmp(const WindowPixels& pixels) {
  const std::uint32_t pixel_bytes = static_cast<std::uint32_t>(pixels.bytes.size());
  std::string out;
  out.reserve(54 + pixel_bytes);
  out += "BM";
  PutLittleEndian<std::uint32_t>(out, 54 + pixel_bytes);
  PutLittleEndian<std::uint16_t>(out, 0);
  PutLittleEndian<std::uint16_t>(out, 0);
  PutLittleEndian<std::uint32_t>(out, 54);
  const BITMAPINFOHEADER header = TopDownHeader(pixels.width, pixels.height);
  PutLittleEndian<std::uint32_t>(out, header.biSize);
  PutLittleEndian<std::int32_t>(out, header.biWidth);
  PutLittleEndian<std::int32_t>(out, header.biHeight);
  PutLittleEndian<std::uint16_t>(out, header.biPlanes);
  PutLittleEndian<std::uint16_t>(out, header.biBitCount);
  for (int i = 0; i < 6; ++i) PutLittleEndian<std::uint32_t>(out, 0);  // compression .. important colours
  out.append(reinterpret_cast<const char*>(pixels.bytes.data()), pixels.bytes.size());
  return out;
}

int CaptureSetupWindow(HINSTANCE instance, const std::filesystem::path& bmp) {
  WindowThread thread;
  // Never shown: no update check and no timer, only what the window looks like.
  HWND window = CreateSetupWindow(instance, SetupWindowHooks{}, DefaultInstallFolder(FindInstallFromShortcut()));
  std::optional<WindowPixels> pixels;
  if (window != nullptr) pixels = CaptureClientArea(window);
  ReleaseSetupWindow();
  if (!pixels) return 1;
  if (!WriteWholeFile(bmp, EncodeBmp(*pixels))) {
    ::DeleteFileW(ApiPath(bmp).c_str());
    return 1;
  }
  return 0;
}

}  // namespace qv::setup
