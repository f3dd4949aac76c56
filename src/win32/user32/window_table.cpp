#include "win32/user32/window_table.h"

#include <algorithm>

#include "win32/user32/dialog_resources.h"

namespace win32::user {
namespace {

struct Tables {
  std::map<UINT_PTR, Window> windows;
  UINT_PTR next = 0x20000;
  std::map<int, DialogTemplate> templates;
};

Tables& State() {
  static Tables tables;
  return tables;
}

}  // namespace

Window* LookupWindow(HWND handle) {
  auto& windows = State().windows;
  auto found = windows.find(reinterpret_cast<UINT_PTR>(handle));
  return found == windows.end() ? nullptr : &found->second;
}

Window& AddWindow(Window window) {
  Tables& state = State();
  window.handle = reinterpret_cast<HWND>(state.next);
  state.next += 2;
  const UINT_PTR key = reinterpret_cast<UINT_PTR>(window.handle);
  return state.windows.emplace(key, std::move(window)).first->second;
}

void RemoveWindow(HWND handle) {
  State().windows.erase(reinterpret_cast<UINT_PTR>(handle));
  std::erase_if(PostedMessages(), [&](const MSG& message) { return message.hwnd == handle; });
}

void Invalidate(HWND handle) {
  Window* window = LookupWindow(handle);
  while (window != nullptr && window->parent != nullptr) {
    window = LookupWindow(window->parent);
  }
  if (window != nullptr && window->visible) {
    window->needs_paint = true;
  }
}

std::deque<MSG>& PostedMessages() {
  static thread_local std::deque<MSG> queue;
  return queue;
}

void RegisterDialogTemplate(DialogTemplate dialog) {
  const int id = dialog.id;
  State().templates.insert_or_assign(id, std::move(dialog));
}

const DialogTemplate* FindDialogTemplate(int id) {
  auto& templates = State().templates;
  auto found = templates.find(id);
  return found == templates.end() ? nullptr : &found->second;
}

// Paints are owed by windows, not queued: the queue hands them out once nothing is posted.
bool TakePaint(HWND filter, MSG* message, bool remove) {
  for (auto& [key, window] : State().windows) {
    if (window.needs_paint && (filter == nullptr || filter == window.handle)) {
      *message = MSG{window.handle, WM_PAINT, 0, 0, 0, {0, 0}};
      // Taken once: a procedure that paints for itself must not get it again and again.
      window.needs_paint = window.needs_paint && !remove;
      return true;
    }
  }
  return false;
}

}  // namespace win32::user
