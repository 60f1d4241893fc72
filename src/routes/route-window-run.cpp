#include "routes/route-window-run.h"

#include <commctrl.h>

#include <exception>

#include "foundation/text/guid-text.h"
#include "foundation/text/text.h"
#include "foundation/win/com-apartment.h"
#include "update/updater/game-wait.h"

namespace qv::setup {
namespace {

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidth = 500;
constexpr int kMargin = 20;
constexpr int kStatusTop = 14;
constexpr int kControlWidth = 460;
// Two lines of the status font: the failure notices need them in English
// already, and translations run longer.
constexpr int kStatusHeight = 44;
// The status line's second row moves the bar and the bottom edge down by this much.
constexpr int kSecondLine = 20;
constexpr int kProgressTop = 50 + kSecondLine;
constexpr int kProgressHeight = 15;
constexpr int kFontHeight = -15;

const wchar_t* const kBothRoutesTitle = L"Q.V. DU Vora: DLSS 5 / DLSS Frame Generation";

int Scaled(int value, double scale) { return static_cast<int>(value * scale); }

RECT ScaledRect(int left, int top, int width, int height, double scale) {
  const int x = Scaled(left, scale);
  const int y = Scaled(top, scale);
  return RECT{x, y, x + Scaled(width, scale), y + Scaled(height, scale)};
}

std::wstring TitleText(int language, UpdaterText key) { return Utf8ToWide(UpdaterTextFor(language, key)); }

void RegisterRouteWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = RouteWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kRouteWindowClass;
  // A second run in one process (the tests) finds the class registered already.
  ::RegisterClassExW(&window_class);
}

HWND CreateChild(const wchar_t* window_class, const wchar_t* text, DWORD style, const RECT& rect, HWND parent,
                 HINSTANCE instance, HFONT font) {
  HWND child = ::CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, instance, nullptr);
  if (child) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return child;
}

// The run is over: the installation is free for the next run.
void EndRouteRun(win_route::State& state) {
  state.guard.reset();
  state.game.reset();
  state.font.reset();
}

// Without a window (or once its loop has ended) nobody receives the finish
// message: the worker runs to its end here, and the game is started again as
// the window would have.
int FinishWithoutWindow(win_route::State& state) {
  if (state.worker.joinable()) state.worker.join();
  FinishRoute(state);
  EndRouteRun(state);
  return 0;
}

}  // namespace

RouteWindowLook QueueWindowSpec(const route_queue_win::Args& args) {
  bool dlss5 = false;
  bool frame_generation = false;
  for (const RouteQueueItem& item : args.operations) {
    (item.kind == RouteKind::kDlss5 ? dlss5 : frame_generation) = true;
  }
  RouteWindowLook look;
  if (dlss5 && frame_generation) {
    look.title = kBothRoutesTitle;
  } else {
    look.title = TitleText(args.language, frame_generation ? UpdaterText::kFrameGenerationTitle : UpdaterText::kDlss5Title);
  }
  look.right_to_left = IsRightToLeftLanguage(args.language);
  return look;
}

RouteWindowLook Dlss5WindowSpec(const Dlss5RouteArgs& args) {
  RouteWindowLook look;
  look.title = TitleText(args.language, UpdaterText::kDlss5Title);
  look.right_to_left = IsRightToLeftLanguage(args.language);
  return look;
}

RouteWindowLook FgWindowSpec(const fg_route::Args& args) {
  RouteWindowLook look;
  look.title = TitleText(args.language, UpdaterText::kFrameGenerationTitle);
  look.first_status = args.remove      ? UpdaterText::kRemovingFrameGeneration
                      : args.reinstall ? UpdaterText::kReinstallingFrameGeneration
                                       : UpdaterText::kInstallingFrameGeneration;
  look.client_height = kFgRouteClientHeight;
  look.right_to_left = false;  // the frame-generation window keeps its layout in every language
  return look;
}

RouteWindowLayout ComputeRouteWindowLayout(int client_height, double scale) {
  RouteWindowLayout layout;
  layout.client = SIZE{Scaled(kClientWidth, scale), Scaled(client_height + kSecondLine, scale)};
  layout.status = ScaledRect(kMargin, kStatusTop, kControlWidth, kStatusHeight, scale);
  layout.progress = ScaledRect(kMargin, kProgressTop, kControlWidth, kProgressHeight, scale);
  return layout;
}

void StartRouteState(win_route::State& state, const std::filesystem::path& game_folder,
                     std::uint64_t game_process_id, int language,
                     const std::vector<std::wstring>& relaunch_arguments, win_route::LogCallback log) {
  state = win_route::State{};
  state.game_folder = game_folder;
  state.game_process_id = game_process_id;
  state.language = language;
  state.relaunch_arguments = relaunch_arguments;
  state.log = log;
  // Opened before any wait: the handle stays this game's even if its id
  // passes to another process once it has ended.
  state.game = OpenGameProcess(game_process_id);
  // The routes patch the game and put files down beside it: a repair, an
  // update or an uninstall committing at the same time would meet them half
  // done, or they it.
  try {
    state.guard.emplace(GuardInstallation(game_folder, NewGuidText()));
  } catch (const std::exception& error) {
    state.refusal = error.what();
  }
  win_route::SetCurrentState(&state);
}

int RunRouteWindow(win_route::State& state, const RouteWindowLook& look, std::function<void()> worker,
                   const RouteWindowHooks& hooks) {
  state.start_game = hooks.start_game;
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  ComApartment apartment;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);

  const double scale = ::GetDpiForSystem() / 96.0;
  state.font.reset(::CreateFontW(Scaled(kFontHeight, scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                 L"Segoe UI"));
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterRouteWindowClass(instance);

  const RouteWindowLayout layout = ComputeRouteWindowLayout(look.client_height, scale);
  const DWORD ex_style = look.right_to_left ? WS_EX_LAYOUTRTL : 0;
  RECT frame{0, 0, layout.client.cx, layout.client.cy};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, ex_style);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  state.window = hooks.create_window
                     ? hooks.create_window(ex_style, look.title, kWindowStyle, width, height)
                     : ::CreateWindowExW(ex_style, kRouteWindowClass, look.title.c_str(), kWindowStyle, CW_USEDEFAULT,
                                         CW_USEDEFAULT, width, height, nullptr, nullptr, instance, nullptr);
  if (state.window) {
    state.status = CreateChild(L"STATIC", Utf8ToWide(UpdaterTextFor(state.language, look.first_status)).c_str(),
                               SS_LEFT | SS_NOPREFIX, layout.status, state.window, instance, state.font.get());
    state.progress = CreateChild(PROGRESS_CLASSW, L"", PBS_MARQUEE, layout.progress, state.window, instance,
                                 state.font.get());
    ::SendMessageW(state.progress, PBM_SETMARQUEE, TRUE, 30);
    ::ShowWindow(state.window, SW_SHOWNOACTIVATE);
  }

  state.worker = std::thread(std::move(worker));
  if (!state.window) return FinishWithoutWindow(state);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  // Normally the finish message has joined the worker and started the game.
  // A loop that ended some other way must not leave the game unstarted.
  if (state.worker.joinable()) FinishWithoutWindow(state);
  EndRouteRun(state);
  return 0;
}

}  // namespace qv::setup
