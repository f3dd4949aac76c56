// Dialogs from registered templates, and the window operations they need.
#include <algorithm>
#include <cstring>

#include "win32/gdi32/screen.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/user32/dialog_resources.h"
#include "win32/user32/user32.h"
#include "win32/user32/window_table.h"

namespace {

using win32::user::LookupWindow;
using win32::user::Window;

// Dialog base units of an 8-point MS Sans Serif dialog at 96 dots per inch.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// Frame and caption of a modal-frame dialog with a caption, in pixels.
constexpr int kFrame = 3;
constexpr int kCaption = 23;

int ToPixelsX(int units) {
  return units * kBaseUnitX / 4;
}
int ToPixelsY(int units) {
  return units * kBaseUnitY / 8;
}

BOOL FailWindow() {
  return win32::Fail(ERROR_INVALID_WINDOW_HANDLE);
}

}  // namespace

HWND WINAPI CreateDialogParamA(HINSTANCE /*hInstance*/, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const UINT_PTR name = reinterpret_cast<UINT_PTR>(lpTemplateName);
  const win32::user::DialogTemplate* dialog =
      name <= 0xFFFF ? win32::user::FindDialogTemplate(static_cast<int>(name)) : nullptr;
  if (dialog == nullptr) {
    return win32::Fail(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
  }
  Window window;
  window.parent = hWndParent;
  window.class_name = "#32770";
  window.text = dialog->caption;
  window.dialog_proc = lpDialogFunc;
  const int left = ToPixelsX(dialog->x);
  const int top = ToPixelsY(dialog->y);
  window.rect = RECT{left, top, left + ToPixelsX(dialog->cx) + 2 * kFrame,
                     top + ToPixelsY(dialog->cy) + 2 * kFrame + kCaption};
  window.visible = (dialog->style & WS_VISIBLE) != 0;
  HWND handle = win32::user::AddWindow(std::move(window)).handle;
  for (const auto& control : dialog->controls) {
    Window child;
    child.parent = handle;
    child.id = control.id;
    child.class_name = control.class_name;
    child.text = control.text;
    const int x = left + kFrame + ToPixelsX(control.x);
    const int y = top + kFrame + kCaption + ToPixelsY(control.y);
    child.rect = RECT{x, y, x + ToPixelsX(control.cx), y + ToPixelsY(control.cy)};
    child.visible = (control.style & WS_VISIBLE) != 0;
    HWND child_handle = win32::user::AddWindow(std::move(child)).handle;
    LookupWindow(handle)->children.push_back(child_handle);
  }
  if (lpDialogFunc != nullptr) {
    const std::vector<HWND> children = LookupWindow(handle)->children;
    lpDialogFunc(handle, WM_INITDIALOG,
                 reinterpret_cast<WPARAM>(children.empty() ? nullptr : children.front()),
                 dwInitParam);
  }
  return LookupWindow(handle) != nullptr ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return FailWindow();
  }
  if (window->dialog_proc != nullptr) {
    window->dialog_proc(hWnd, WM_DESTROY, 0, 0);
    window = LookupWindow(hWnd);
    if (window == nullptr) {
      return TRUE;
    }
  }
  if (window->parent == nullptr) {
    win32::user::ClearDialogLine(*window);
  }
  const std::vector<HWND> children = window->children;
  for (HWND child : children) {
    DestroyWindow(child);
  }
  if (Window* parent = LookupWindow(window->parent)) {
    std::erase(parent->children, hWnd);
  }
  win32::user::RemoveWindow(hWnd);
  return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return FailWindow();
  }
  const BOOL was_visible = window->visible ? TRUE : FALSE;
  if (nCmdShow == SW_HIDE) {
    if (window->parent == nullptr) {
      win32::user::ClearDialogLine(*window);
    }
    window->visible = false;
    window->needs_paint = false;
  } else {
    window->visible = true;
    win32::user::Invalidate(hWnd);
  }
  return was_visible;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  const Window* window = LookupWindow(hWnd);
  return window != nullptr && window->visible ? TRUE : FALSE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  const Window* dialog = LookupWindow(hDlg);
  if (dialog == nullptr) {
    return win32::Fail(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  }
  for (HWND child : dialog->children) {
    if (LookupWindow(child)->id == nIDDlgItem) {
      return child;
    }
  }
  return win32::Fail(ERROR_CONTROL_ID_NOT_FOUND, nullptr);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return FailWindow();
  }
  window->text = lpString != nullptr ? lpString : "";
  win32::user::Invalidate(hWnd);
  return TRUE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    FailWindow();
    return 0;
  }
  if (lpString == nullptr || nMaxCount <= 0) {
    return 0;
  }
  // Cut to the buffer and always terminated, as Windows does.
  const size_t count = std::min(window->text.size(), static_cast<size_t>(nMaxCount - 1));
  window->text.copy(lpString, count);
  lpString[count] = '\0';
  return static_cast<int>(count);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (lpRect == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  if (hWnd == GetDesktopWindow()) {
    *lpRect = RECT{0, 0, win32::gdi::kScreenWidth, win32::gdi::kScreenHeight};
    return TRUE;
  }
  const Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return FailWindow();
  }
  *lpRect = window->rect;
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND /*hWndInsertAfter*/, int X, int Y, int cx, int cy,
                         UINT uFlags) {
  Window* window = LookupWindow(hWnd);
  if (window == nullptr) {
    return FailWindow();
  }
  RECT& rect = window->rect;
  const LONG width = (uFlags & SWP_NOSIZE) ? rect.right - rect.left : cx;
  const LONG height = (uFlags & SWP_NOSIZE) ? rect.bottom - rect.top : cy;
  if (!(uFlags & SWP_NOMOVE)) {
    const LONG dx = X - rect.left;
    const LONG dy = Y - rect.top;
    for (HWND child : window->children) {
      RECT& r = LookupWindow(child)->rect;
      r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
    }
    rect.left = X;
    rect.top = Y;
  }
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
  if (hWnd != nullptr && hWnd != GetDesktopWindow() && LookupWindow(hWnd) == nullptr) {
    return win32::Fail(ERROR_INVALID_WINDOW_HANDLE, nullptr);
  }
  return win32::gdi::ScreenDC();
}

int WINAPI ReleaseDC(HWND /*hWnd*/, HDC hDC) {
  return hDC == win32::gdi::ScreenDC() ? 1 : 0;
}
