#pragma once
// What the setup window is made of: its fixed texts, its controls in creation
// order with their places in 96-DPI units, and how those scale with the
// system DPI. The window, the capture and the text-fit tests all read it here.

#include <windows.h>

#include <array>
#include <string>
#include <string_view>

namespace qv::setup {

inline constexpr const wchar_t* kSetupWindowClass = L"QVSetup";
inline constexpr const wchar_t* kSetupWindowTitle = L"Q.V. DU Vora Setup";
// The caption of every message box of the setup and of uninstall.
inline constexpr const wchar_t* kSetupMessageCaption = L"Q.V. DU Vora Setup";
inline constexpr DWORD kSetupWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Control ids (0: a control nobody addresses).
inline constexpr int kPickPackageId = 10;
inline constexpr int kLocationId = 11;
inline constexpr int kInstallId = 12;
inline constexpr int kCloseId = 13;
inline constexpr int kSourceBoxId = 14;
inline constexpr int kFolderBoxId = 15;
inline constexpr int kShortcutBoxId = 16;
inline constexpr int kPickFolderId = 17;

inline constexpr int kUpdateCheckTimerId = 1;
inline constexpr UINT kUpdateCheckIntervalMs = 500;

// Font heights at 96 DPI (negative: character height, as CreateFontW takes it).
inline constexpr int kSetupFontHeight = -15;
inline constexpr int kHeadingFontHeight = -25;
inline constexpr const wchar_t* kSetupFontFace = L"Segoe UI";

inline constexpr std::wstring_view kHeadingText = L"Q.V. DU Vora";
inline constexpr std::wstring_view kIntroductionText =
    L"Select your Q.V. fake PKG or dumped game folder. No game assets are included.";
inline constexpr std::wstring_view kShortcutText = L"Create desktop shortcut with your game icon";
inline constexpr std::wstring_view kInitialStatusText =
    L"Select your PKG or dumped game folder, and a new installation folder.";
inline constexpr std::wstring_view kPickPackageText = L"PKG...";
inline constexpr std::wstring_view kPickFolderText = L"Folder...";
inline constexpr std::wstring_view kLocationText = L"Location...";
inline constexpr std::wstring_view kInstallText = L"Install";
inline constexpr std::wstring_view kInstalledText = L"Installed";
inline constexpr std::wstring_view kCloseText = L"Close";
inline constexpr std::wstring_view kCancelText = L"Cancel";

inline constexpr const wchar_t* kPackageFilter = L"PS4 package (*.pkg)\0*.pkg\0";
inline constexpr const wchar_t* kDumpFolderTitle =
    L"Select your Q.V. game folder from your console dump (for example CUSA09901; it holds chunk1.psarc).";
inline constexpr const wchar_t* kLocationTitle =
    L"Select a parent directory. Setup creates a new Q.V. folder inside it.";

// The status label shows five lines of the setup font (20 units each): the
// longest summary (an update that restored the archives, with both extra
// sentences) wraps to five. It is a read-only edit box without a frame, so
// that it looks like a label but scrolls: a failure of the package
// extraction helper quotes 600 characters of its log, whose end (the
// helper's own error) must stay readable. The notice and the buttons below
// it, and the window's bottom edge, move down by what the label grew.
inline constexpr int kStatusLabelHeight = 100;
inline constexpr int kStatusLabelGrowth = kStatusLabelHeight - 55;

// The newer-release notice has a row of its own across the window, two
// lines tall, so that a release's whole download address fits; it is a
// read-only edit box too, which breaks an address longer than a line and
// lets the user copy it. The buttons sit below it.
inline constexpr int kNoticeTop = 337 + kStatusLabelGrowth;
inline constexpr int kNoticeHeight = 40;
inline constexpr int kButtonRowTop = kNoticeTop + kNoticeHeight + 6;

// Client area at 96 DPI.
inline constexpr int kSetupClientWidth = 620;
inline constexpr int kSetupClientHeight = 385 + kStatusLabelGrowth + (kButtonRowTop - kNoticeTop);

enum class SetupControl {
  kHeading,
  kIntroduction,
  kVersion,
  kSourceBox,
  kPickPackage,
  kPickFolder,
  kFolderBox,
  kLocation,
  kShortcutBox,
  kProgressBar,
  kStatusLabel,
  kNoticeLabel,
  kInstall,
  kClose,
};
inline constexpr std::size_t kSetupControlCount = 14;

struct ControlSpec {
  const wchar_t* class_name;
  std::wstring text;
  DWORD style;  // besides WS_CHILD | WS_VISIBLE
  int x, y, width, height;  // 96-DPI units
  int id;
};

using SetupControlTable = std::array<ControlSpec, kSetupControlCount>;

// The controls in creation order (SetupControl is the index). `version` is
// this setup's version; `default_folder` the folder box's first text.
SetupControlTable MakeSetupControlTable(std::wstring_view version, std::wstring_view default_folder);

// A 96-DPI length at `scale` (system DPI / 96), truncated toward zero.
int ScaleLength(int length, float scale);

// The control's rectangle in client coordinates at `scale`.
RECT ScaledControlRect(const ControlSpec& control, float scale);

// The window's client size at `scale`.
SIZE SetupClientSize(float scale);

// True for the boxes the user types in: class "EDIT" (exactly) and not
// read-only. The read-only edit boxes show text as labels do.
bool TakesClientEdge(const ControlSpec& control);

// The style of the read-only edit box that stands in for the status label:
// several lines, word-wrapped; the window adds a vertical scroll bar while
// its text is longer than the box.
inline constexpr DWORD kTextBoxStyle = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

}  // namespace qv::setup
