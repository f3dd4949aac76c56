// The stand-in's windows: dialogs and their controls, and the thread's message queue.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "win32/user32/terminal_view.h"
#include "win32/user32/user32.h"

namespace win32::user {

struct Window {
  HWND handle = nullptr;
  HWND parent = nullptr;
  int id = 0;
  std::string class_name;
  std::string text;
  RECT rect{};  // screen coordinates
  bool visible = false;
  DLGPROC dialog_proc = nullptr;
  std::vector<HWND> children;
  int range_min = 0;  // progress bars
  int range_max = 100;
  int position = 0;
  bool needs_paint = false;
};

Window* LookupWindow(HWND handle);
Window& AddWindow(Window window);
void RemoveWindow(HWND handle);

// Marks the window's dialog for repainting at the next pumping of the queue, as Windows does.
void Invalidate(HWND handle);

// The queue: posted messages in order, then WM_PAINT for windows that need it.
std::deque<MSG>& PostedMessages();
// A WM_PAINT for a window that owes one (matching the filter, when given).
bool TakePaint(HWND filter, MSG* message, bool remove);

// The terminal view of dialogs (see terminal_view.h).
void PaintDialog(const Window& dialog);
void ClearDialogLine(const Window& dialog);

}  // namespace win32::user
