// Dialog templates as a program's resources hold them. A program registers its templates
// before creating dialogs, as linking its compiled resource script does on Windows.
#pragma once

#include <string>
#include <vector>

#include "win32/win32_types.h"

namespace win32::user {

struct DialogControlTemplate {
  int id;
  std::string class_name;
  std::string text;
  int x, y, cx, cy;  // dialog units
  DWORD style;
};

struct DialogTemplate {
  int id;
  std::string caption;
  DWORD style;
  int x, y, cx, cy;  // dialog units
  int point_size;
  std::string font;
  std::vector<DialogControlTemplate> controls;
};

void RegisterDialogTemplate(DialogTemplate dialog);
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace win32::user
