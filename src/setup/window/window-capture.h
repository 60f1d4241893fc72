#pragma once
// "--preview": the setup window, built but never shown, written to a BMP file
// as it would look on screen. Also what tests use to look at any window's
// pixels.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv::setup {

struct WindowPixels {
  int width = 0;
  int height = 0;
  // Four bytes a pixel (blue, green, red, fourth byte as the system gives
  // it), rows top to bottom.
  std::vector<std::uint8_t> bytes;
};

// Paints the window's client area, background first, then each child into a
// bitmap of its own blitted at its place (painting the children along with
// the parent leaves only the background on some systems). Works for windows
// that were never shown. Nothing when a device context or bitmap cannot be made.
std::optional<WindowPixels> CaptureClientArea(HWND window);

// The BMP file of the pixels: 14-byte file header, 40-byte info header
// (32 bits a pixel, uncompressed, negative height: rows top-down), pixels.
std::string EncodeBmp(const WindowPixels& pixels);

// The "--preview" role: builds the setup window unshown at the system DPI and
// writes its client area to `bmp`. 0 when the file was written; 1 when the
// window or the file could not be made (no partial file is left).
int CaptureSetupWindow(HINSTANCE instance, const std::filesystem::path& bmp);

}  // namespace qv::setup
