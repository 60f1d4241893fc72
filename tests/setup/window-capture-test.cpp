// The window capture: the BMP file "--preview" writes, and whether its pixels
// show the setup window as laid out: margins in the window colour, every
// control's pixels inside its own rectangle, text in the labels; at 96 and at
// 144 DPI.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "setup-window-fixture.h"
#include "setup/window/setup-window-layout.h"
#include "setup/window/window-capture.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}
std::uint16_t U16(const std::string& bytes, std::size_t at) {
  std::uint16_t value = 0;
  std::memcpy(&value, bytes.data() + at, 2);
  return value;
}

// The pixels of a BMP file as "--preview" writes it; fails the test (and
// gives nothing) when a header field differs from the documented layout.
std::optional<WindowPixels> ReadPreviewBmp(const std::string& bytes) {
  EXPECT_GE(bytes.size(), 54u);
  if (bytes.size() < 54) return std::nullopt;
  const int width = static_cast<int>(U32(bytes, 18));
  const int height = -static_cast<int>(U32(bytes, 22));
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(U32(bytes, 2), bytes.size());
  EXPECT_EQ(U32(bytes, 6), 0u);
  EXPECT_EQ(U32(bytes, 10), 54u);
  EXPECT_EQ(U32(bytes, 14), 40u);
  EXPECT_GT(height, 0) << "rows must be stored top-down (negative height)";
  EXPECT_EQ(U16(bytes, 26), 1u);
  EXPECT_EQ(U16(bytes, 28), 32u);
  for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(U32(bytes, at), 0u) << "offset " << at;
  if (width <= 0 || height <= 0) return std::nullopt;
  EXPECT_EQ(bytes.size(), 54u + static_cast<std::size_t>(width) * height * 4);
  if (bytes.size() != 54u + static_cast<std::size_t>(width) * height * 4) return std::nullopt;
  WindowPixels pixels;
  pixels.width = width;
  pixels.height = height;
  pixels.bytes.assign(bytes.begin() + 54, bytes.end());
  return pixels;
}

COLORREF PixelAt(const WindowPixels& pixels, int x, int y) {
  const std::uint8_t* p = pixels.bytes.data() + (static_cast<std::size_t>(y) * pixels.width + x) * 4;
  return RGB(p[2], p[1], p[0]);
}

bool Inside(const RECT& rect, int x, int y) { return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom; }

bool IsDark(COLORREF colour) { return GetRValue(colour) < 128 && GetGValue(colour) < 128 && GetBValue(colour) < 128; }

struct LayoutCheck {
  int stray_pixels = 0;        // not the window colour, outside every control
  int margin_pixels = 0;       // not the window colour in the margins
  std::vector<int> dark_in;    // dark pixels inside each control
  int text_top = -1, text_bottom = -1;  // rows of the heading's dark pixels
};

// Compares the pixels with the control table at `scale`.
LayoutCheck CheckLayout(const WindowPixels& pixels, float scale) {
  const SetupControlTable table = MakeSetupControlTable(L"1.1.0", L"C:\\x");
  std::vector<RECT> rects;
  for (const ControlSpec& control : table) rects.push_back(ScaledControlRect(control, scale));
  const COLORREF window = ::GetSysColor(COLOR_WINDOW);
  const int left = ScaleLength(24, scale), top = ScaleLength(20, scale);
  const int right = ScaleLength(596, scale), bottom = ScaleLength(458, scale);

  LayoutCheck check;
  check.dark_in.assign(rects.size(), 0);
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const COLORREF colour = PixelAt(pixels, x, y);
      int in = -1;
      for (std::size_t i = 0; i < rects.size() && in < 0; ++i) {
        if (Inside(rects[i], x, y)) in = static_cast<int>(i);
      }
      if (in >= 0 && IsDark(colour)) {
        ++check.dark_in[static_cast<std::size_t>(in)];
        if (in == 0) {
          if (check.text_top < 0) check.text_top = y;
          check.text_bottom = y;
        }
      }
      if (colour == window) continue;
      if (in < 0) ++check.stray_pixels;
      if (x < left || y < top || x >= right || y >= bottom) ++check.margin_pixels;
    }
  }
  return check;
}

void ExpectSetupWindowPixels(const WindowPixels& pixels, float scale) {
  EXPECT_EQ(pixels.width, ScaleLength(620, scale));
  EXPECT_EQ(pixels.height, ScaleLength(476, scale));
  const LayoutCheck check = CheckLayout(pixels, scale);
  EXPECT_EQ(check.stray_pixels, 0);
  EXPECT_EQ(check.margin_pixels, 0);
  for (SetupControl label : {SetupControl::kHeading, SetupControl::kIntroduction, SetupControl::kVersion,
                             SetupControl::kStatusLabel, SetupControl::kShortcutBox, SetupControl::kInstall}) {
    EXPECT_GT(check.dark_in[static_cast<std::size_t>(label)], 20) << "no text in control " << static_cast<int>(label);
  }
  // The progress bar and the notice hold no text yet.
  EXPECT_EQ(check.dark_in[static_cast<std::size_t>(SetupControl::kNoticeLabel)], 0);
}

// "LogPixels" of the current user for the processes started while it lives;
// the old state comes back at the end.
class ScopedSystemDpi {
 public:
  explicit ScopedSystemDpi(DWORD dpi) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    had_value_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
                 ERROR_SUCCESS;
    EXPECT_EQ(::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi),
              ERROR_SUCCESS);
  }
  ~ScopedSystemDpi() {
    if (had_value_) {
      ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    } else {
      ::RegDeleteValueW(key_, L"LogPixels");
    }
    ::RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_value_ = false;
};

TEST(WindowCapture, BmpLayout) {
  WindowPixels pixels;
  pixels.width = 3;
  pixels.height = 2;
  for (int i = 0; i < 24; ++i) pixels.bytes.push_back(static_cast<std::uint8_t>(i));
  const std::string bmp = EncodeBmp(pixels);
  ASSERT_EQ(bmp.size(), 54u + 24u);
  EXPECT_EQ(U32(bmp, 18), 3u);
  EXPECT_EQ(static_cast<std::int32_t>(U32(bmp, 22)), -2);
  EXPECT_EQ(bmp.substr(54), std::string(pixels.bytes.begin(), pixels.bytes.end()));
  ASSERT_TRUE(ReadPreviewBmp(bmp).has_value());
}

using WindowCaptureInProcess = qv::test::SetupWindowTest;

// The window as built here, never shown, at this process's own DPI.
TEST_F(WindowCaptureInProcess, ControlsPaintInsideTheirRectangles) {
  std::optional<WindowPixels> pixels = CaptureClientArea(window_);
  ASSERT_TRUE(pixels.has_value());
  ExpectSetupWindowPixels(*pixels, SetupUi.scale);
}

class PreviewProgram : public ::testing::Test {
 protected:
  qv::test::TempFolder temp_{L"qv-preview"};
};

TEST_F(PreviewProgram, WritesTheNeverShownWindow) {
  const fs::path bmp = temp_ / L"window.bmp";
  auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--preview", bmp.native()});
  ASSERT_EQ(run.exit_code, 0u) << run.output;
  std::optional<WindowPixels> pixels = ReadPreviewBmp(qv::test::ReadTestFile(bmp));
  ASSERT_TRUE(pixels.has_value());
  ExpectSetupWindowPixels(*pixels, 1.0f);
}

// At 144 DPI everything is half as large again: the client area, the places
// and the text (font height -22 for the setup font).
TEST_F(PreviewProgram, At144Dpi) {
  const fs::path normal = temp_ / L"96.bmp";
  const fs::path large = temp_ / L"144.bmp";
  ASSERT_EQ(qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--preview", normal.native()}).exit_code, 0u);
  {
    ScopedSystemDpi dpi(144);
    auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--preview", large.native()});
    ASSERT_EQ(run.exit_code, 0u) << run.output;
  }
  std::optional<WindowPixels> at96 = ReadPreviewBmp(qv::test::ReadTestFile(normal));
  std::optional<WindowPixels> at144 = ReadPreviewBmp(qv::test::ReadTestFile(large));
  ASSERT_TRUE(at96 && at144);
  EXPECT_EQ(at144->width, 930);
  EXPECT_EQ(at144->height, 714);
  ExpectSetupWindowPixels(*at144, 1.5f);

  // The heading's text is drawn half as tall again.
  const LayoutCheck small_text = CheckLayout(*at96, 1.0f);
  const LayoutCheck large_text = CheckLayout(*at144, 1.5f);
  const int small_height = small_text.text_bottom - small_text.text_top + 1;
  const int large_height = large_text.text_bottom - large_text.text_top + 1;
  ASSERT_GT(small_height, 10);
  EXPECT_NEAR(large_height, small_height * 1.5, 2.0);
}

TEST_F(PreviewProgram, NothingWrittenIsAFailureAndLeavesNoFile) {
  const fs::path in_missing_folder = temp_ / L"missing" / L"window.bmp";
  auto run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--preview", in_missing_folder.native()});
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_FALSE(fs::exists(in_missing_folder));

  const fs::path folder = temp_ / L"a folder";
  fs::create_directory(folder);
  run = qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--preview", folder.native()});
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
}

}  // namespace
