// The setup window's messages: the user's commands, the worker's posts and
// the poll of the update check.

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <system_error>

#include "engine/records/existing-install.h"
#include "foundation/setup-window-state.h"
#include "foundation/text/error-text.h"
#include "foundation/text/text.h"
#include "setup/install/install.h"
#include "setup/window/existing-install-question.h"
#include "setup/window/folder-choices.h"
#include "setup/window/setup-window.h"
#include "update/build-identity.h"

namespace qv::setup {
namespace {

// What the user may change while no install runs; Close stays enabled
// throughout (it cancels while an install runs).
constexpr int kLockedWhileRunning[] = {kPickPackageId, kLocationId, kInstallId, kSourceBoxId,
                                       kFolderBoxId,   kShortcutBoxId, kPickFolderId};

HWND Control(HWND window, int id) { return ::GetDlgItem(window, id); }

void SetControlText(HWND window, int id, const std::wstring& text) {
  ::SetWindowTextW(Control(window, id), text.c_str());
}

void ShowStatus(std::wstring text) {
  SetupUi.status_text = std::move(text);
  UpdateStatusLabel();
}

// Close and the window's own close box: while an install runs they only ask
// it to stop; the window stays until the worker has reported.
void CloseOrCancel(HWND window) {
  if (SetupUi.running) {
    SetupCancelFlag = true;
    return;
  }
  ::DestroyWindow(window);
}

void OnPickPackage(HWND window) {
  if (!SetupUi.hooks.pick_package) return;
  if (auto file = SetupUi.hooks.pick_package(window)) SetControlText(window, kSourceBoxId, file->native());
}

void OnPickDumpFolder(HWND window) {
  if (!SetupUi.hooks.pick_folder) return;
  auto chosen = SetupUi.hooks.pick_folder(window, kDumpFolderTitle);
  if (!chosen) return;
  const DumpFolderChoice choice = ChooseDumpFolder(*chosen);
  SetControlText(window, kSourceBoxId, choice.source.native());
  if (choice.folder) SetControlText(window, kFolderBoxId, choice.folder->native());
}

void OnPickLocation(HWND window) {
  if (!SetupUi.hooks.pick_folder) return;
  auto chosen = SetupUi.hooks.pick_folder(window, kLocationTitle);
  if (!chosen) return;
  SetControlText(window, kFolderBoxId, InstallFolderForLocation(*chosen).native());
}

// The repair-or-update question for a destination that already holds an
// installation; true when the install may go ahead. A folder the install
// would refuse as typed is refused here already, before any question about
// what the system would find under it.
bool ConfirmExistingInstall(HWND window, const std::wstring& destination) {
  std::string question;
  try {
    CheckDestinationAsTyped(std::filesystem::path(destination));
    question = ExistingInstallQuestion(ReadExistingInstall(std::filesystem::path(destination)),
                                       qv::update::CurrentVersion());
  } catch (const std::exception& error) {
    ShowStatus(Utf8ToWide(UserErrorText(error)));
    return false;
  }
  if (question.empty()) return true;
  return ::MessageBoxW(window, Utf8ToWide(question).c_str(), kSetupMessageCaption, MB_ICONQUESTION | MB_YESNO) ==
         IDYES;
}

void EnableInputs(HWND window, bool enable) {
  for (int id : kLockedWhileRunning) ::EnableWindow(Control(window, id), enable ? TRUE : FALSE);
}

void OnInstallFinished(HWND window, bool ok, std::wstring text);

void OnInstallPress(HWND window) {
  if (SetupUi.running) return;
  if (SetupUi.worker.joinable()) SetupUi.worker.join();

  InstallJob job;
  job.source = GetControlText(Control(window, kSourceBoxId));
  job.destination = GetControlText(Control(window, kFolderBoxId));
  if (!ConfirmExistingInstall(window, job.destination)) return;
  job.createShortcut = ::SendMessageW(Control(window, kShortcutBoxId), BM_GETCHECK, 0, 0) == BST_CHECKED;

  SetupUi.running = true;
  SetupCancelFlag = false;
  EnableInputs(window, false);
  SetControlText(window, kCloseId, std::wstring(kCancelText));
  SetupUi.percent = -1;
  StoreAtomicInt(SetupWindow.last_permille, -1);
  SetProgressMarquee(true);
  try {
    SetupUi.worker = StartInstallWorker(std::move(job), SetupUi.hooks.run_install);
  } catch (const std::system_error& error) {
    OnInstallFinished(window, false, Utf8ToWide(error.what()));
  }
}

void OnInstallFinished(HWND window, bool ok, std::wstring text) {
  SetupUi.running = false;
  SetupUi.percent = -1;
  ShowStatus(std::move(text));
  if (SetupUi.marquee) SetProgressMarquee(false);
  // Full only for an installation that stands; a cancelled or failed run may
  // have reported the end of a phase, which must not read as done.
  SetProgressPosition(ok ? 1000 : 0);
  EnableInputs(window, true);
  // After a success the installation stands: pressing Install again would
  // only ask to repair it, so the button stays off and says why.
  if (ok) {
    ::EnableWindow(Control(window, kInstallId), FALSE);
    SetControlText(window, kInstallId, std::wstring(kInstalledText));
  }
  // Last: "Close" says the window is idle again, to the user and to anyone
  // reading the window from outside.
  SetControlText(window, kCloseId, std::wstring(kCloseText));
}

// The worker's texts arrive as heap strings that the window now owns.
std::wstring TakePostedText(LPARAM lparam) {
  std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
  return text ? std::move(*text) : std::wstring();
}

void OnUpdateCheckTimer(HWND window) {
  if (!SetupUi.hooks.update_check_done || !SetupUi.hooks.update_check_done()) return;
  ::KillTimer(window, kUpdateCheckTimerId);
  const std::wstring notice = SetupUi.hooks.update_notice ? SetupUi.hooks.update_notice() : std::wstring();
  if (!notice.empty()) ::SetWindowTextW(SetupControlHandle(SetupControl::kNoticeLabel), notice.c_str());
}

// Enter, as the dialog manager (IsDialogMessageW) hands it on: a push button
// that has the focus is pressed, otherwise the default button, Install. The
// manager itself passes over Install while it is disabled.
LRESULT DefaultButton(HWND window) {
  int id = kInstallId;
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::GetParent(focus) == window) {
    const LONG_PTR style = ::GetWindowLongPtrW(focus, GWL_STYLE);
    wchar_t class_name[16] = {};
    ::GetClassNameW(focus, class_name, 16);
    const LONG_PTR type = style & BS_TYPEMASK;
    if (::lstrcmpiW(class_name, L"BUTTON") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
      id = ::GetDlgCtrlID(focus);
    }
  }
  return MAKELRESULT(id, DC_HASDEFID);
}

LRESULT OnCommand(HWND window, WPARAM wparam) {
  switch (LOWORD(wparam)) {
    case kPickPackageId:
      OnPickPackage(window);
      break;
    case kPickFolderId:
      OnPickDumpFolder(window);
      break;
    case kLocationId:
      OnPickLocation(window);
      break;
    case kInstallId:
      OnInstallPress(window);
      break;
    case kCloseId:
      CloseOrCancel(window);
      break;
    default:
      break;  // the boxes' notifications
  }
  return 0;
}

}  // namespace

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      CloseOrCancel(window);
      return 0;
    case WM_COMMAND:
      return OnCommand(window, wparam);
    case DM_GETDEFID:
      return DefaultButton(window);
    case WM_CTLCOLORSTATIC:
      ::SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    case kSetupStatusLineMessage:
      ShowStatus(TakePostedText(lparam));
      return 0;
    case kSetupFinishedMessage:
      OnInstallFinished(window, wparam == 1, TakePostedText(lparam));
      return 0;
    case kSetupProgressMessage:
      SetProgressPosition(static_cast<int>(wparam));
      SetupUi.percent = static_cast<int>(wparam) / 10;
      UpdateStatusLabel();
      return 0;
    case WM_TIMER:
      if (wparam == kUpdateCheckTimerId) OnUpdateCheckTimer(window);
      return 0;
    case WM_DESTROY:
      // From here on the hooks and the worker find no window to post to.
      SetupWindow.window = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace qv::setup
