// Sending, posting and pumping messages on the thread's queue.
#include "win32/comctl32/progress_bar.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/user32/user32.h"
#include "win32/user32/window_table.h"

namespace {

using win32::user::LookupWindow;
using win32::user::Window;

// What a window does with a message its dialog procedure left alone, or a control gets.
LRESULT DefaultProcedure(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      window.text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      win32::user::Invalidate(window.handle);
      return TRUE;
    case WM_PAINT:
      window.needs_paint = false;
      if (window.parent == nullptr && window.visible) {
        win32::user::PaintDialog(window);
      }
      return 0;
    default:
      if (window.class_name == "msctls_progress32") {
        return win32::controls::ProgressBarMessage(window, message, wParam, lParam);
      }
      return 0;
  }
}

LRESULT Deliver(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return win32::Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  }
  if (window->dialog_proc != nullptr) {
    const INT_PTR handled = window->dialog_proc(hWnd, message, wParam, lParam);
    window = LookupWindow(hWnd);  // the procedure may have destroyed it
    if (handled || window == nullptr) {
      return handled;
    }
  }
  return DefaultProcedure(*window, message, wParam, lParam);
}

}  // namespace

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return Deliver(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd != nullptr && LookupWindow(hWnd) == nullptr) {
    return win32::Fail(ERROR_INVALID_WINDOW_HANDLE);
  }
  win32::user::PostedMessages().push_back(MSG{hWnd, Msg, wParam, lParam, GetTickCount(), {0, 0}});
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
  if (lpMsg == nullptr) {
    return FALSE;
  }
  auto in_range = [&](UINT message) {
    return (wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
           (message >= wMsgFilterMin && message <= wMsgFilterMax);
  };
  auto& queue = win32::user::PostedMessages();
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if ((hWnd == nullptr || it->hwnd == hWnd) && in_range(it->message)) {
      *lpMsg = *it;
      if (wRemoveMsg & PM_REMOVE) {
        queue.erase(it);
      }
      return TRUE;
    }
  }
  return in_range(WM_PAINT) && win32::user::TakePaint(hWnd, lpMsg, (wRemoveMsg & PM_REMOVE) != 0)
             ? TRUE
             : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* /*lpMsg*/) {
  return FALSE;  // no keyboard reaches the stand-in's windows
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) {
    return 0;
  }
  return Deliver(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
