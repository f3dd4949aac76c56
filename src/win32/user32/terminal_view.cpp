// Dialogs drawn as one line of text on a terminal: the caption, the static text and a bar.
#include <unistd.h>

#include <string>

#include "win32/user32/window_table.h"

namespace win32::user {
namespace {

std::FILE* view_stream = nullptr;
bool view_stream_set = false;

std::FILE* Stream() {
  if (view_stream_set) {
    return view_stream;
  }
  return isatty(STDERR_FILENO) ? stderr : nullptr;
}

constexpr int kBarWidth = 30;

}  // namespace

void SetTerminalViewStream(std::FILE* stream) {
  view_stream = stream;
  view_stream_set = true;
}

void PaintDialog(const Window& dialog) {
  std::FILE* stream = Stream();
  if (stream == nullptr || !dialog.visible) {
    return;
  }
  std::string line = dialog.text;
  for (HWND child : dialog.children) {
    const Window* control = LookupWindow(child);
    if (control == nullptr || !control->visible) {
      continue;
    }
    if (control->class_name == "msctls_progress32") {
      const int span = control->range_max - control->range_min;
      const int done = span > 0 ? (control->position - control->range_min) * kBarWidth / span : 0;
      line += " [" + std::string(static_cast<size_t>(done), '#') +
              std::string(static_cast<size_t>(kBarWidth - done), ' ') + "] " +
              std::to_string(span > 0 ? (control->position - control->range_min) * 100 / span : 0) +
              "%";
    } else {
      line += " " + control->text;
    }
  }
  std::fprintf(stream, "\r\033[K%s", line.c_str());
  std::fflush(stream);
}

void ClearDialogLine(const Window& dialog) {
  std::FILE* stream = Stream();
  if (stream != nullptr && dialog.visible) {
    std::fputs("\r\033[K", stream);
    std::fflush(stream);
  }
}

}  // namespace win32::user
