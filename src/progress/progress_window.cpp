#include "progress/progress_window.h"

#include "progress/resource.h"
#include "services/program_values.h"

void CenterWindow(HWND window, HWND reference) {
  RECT own{};
  RECT other{};
  GetWindowRect(window, &own);
  GetWindowRect(reference, &other);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  HDC screen = GetDC(window);
  const int screenWidth = GetDeviceCaps(screen, HORZRES);
  const int screenHeight = GetDeviceCaps(screen, VERTRES);
  ReleaseDC(window, screen);
  int x = other.left + ((other.right - other.left) - width) / 2;
  int y = other.top + ((other.bottom - other.top) - height) / 2;
  // One clamp each way: a window larger than the screen ends up at a negative place.
  if (x < 0) {
    x = 0;
  } else if (x + width > screenWidth) {
    x = screenWidth - width;
  }
  if (y < 0) {
    y = 0;
  } else if (y + height > screenHeight) {
    y = screenHeight - height;
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (HWND bar = GetDlgItem(dialog, IDC_PROGRESS)) {
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELONG(0, 100));
      }
      CenterWindow(dialog, GetDesktopWindow());
      return TRUE;
    case kProgressUpdateMessage:
      SetWindowTextA(GetDlgItem(dialog, IDC_STATUS), reinterpret_cast<LPCSTR>(lParam));
      if (HWND bar = GetDlgItem(dialog, IDC_PROGRESS)) {
        SendMessageA(bar, PBM_SETPOS, wParam, 0);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void ShowProgress(const char* text, int percent) {
  ProgramValues& program = Program();
  if (program.showBar == 0) {
    return;
  }
  if (program.progressWindow == nullptr) {
    EnsureDialogResources();
    static const bool registered = [] {
      INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
      return InitCommonControlsEx(&controls) != 0;
    }();
    (void)registered;
    program.progressWindow = CreateDialogParamA(
        GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
    if (program.progressWindow != nullptr) {
      ShowWindow(program.progressWindow, SW_SHOW);
    }
  }
  SendMessageA(program.progressWindow, kProgressUpdateMessage, static_cast<WPARAM>(percent),
               reinterpret_cast<LPARAM>(text));
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void CloseProgressWindow() {
  ProgramValues& program = Program();
  if (program.progressWindow != nullptr) {
    ShowWindow(program.progressWindow, SW_HIDE);
    DestroyWindow(program.progressWindow);
    program.progressWindow = nullptr;
  }
}
