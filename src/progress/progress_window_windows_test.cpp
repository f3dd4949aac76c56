// The window as any program finds it on Windows: by its caption, built from template 101 of
// the executable's resources, read back through the window manager.
#include <gtest/gtest.h>

#include <string>

#include "progress/progress_window.h"
#include "progress/resource.h"
#include "services/program_values.h"
#include "win32/win32.h"

namespace {

HWND FindProgressWindow() {
  return FindWindowA("#32770", "Converting....");
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[256] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

TEST(ProgressWindowFound, ByCaptionAsTheResourceTemplateBuildsIt) {
  Program().showBar = 1;
  Program().progressWindow = nullptr;
  ASSERT_EQ(FindProgressWindow(), nullptr);
  ShowProgress("Load spooling files...", 0);
  ShowProgress("Convert page #5...", 80);
  HWND window = FindProgressWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window, Program().progressWindow);
  EXPECT_TRUE(IsWindowVisible(window));
  const DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  for (const DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{DS_MODALFRAME}}) {
    EXPECT_EQ(style & bit, bit) << std::hex << style;
  }
  struct Control {
    int id;
    const char* class_name;
    DWORD style;
  };
  const Control controls[] = {
      // The bar trades the template's WS_BORDER for an edge of its own as it is made.
      {IDC_PROGRESS, "msctls_progress32", WS_CHILD | WS_VISIBLE},
      {IDC_STATUS, "Static", WS_CHILD | WS_VISIBLE | WS_GROUP},
  };
  for (const Control& c : controls) {
    HWND control = GetDlgItem(window, c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(ClassOf(control), c.class_name);
    const DWORD own = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    EXPECT_EQ(own & c.style, c.style) << c.class_name << " " << std::hex << own;
  }
  HWND bar = GetDlgItem(window, IDC_PROGRESS);
  PBRANGE range{};
  SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 80);
  EXPECT_EQ(TextOf(GetDlgItem(window, IDC_STATUS)), "Convert page #5...");
  CloseProgressWindow();
  EXPECT_EQ(FindProgressWindow(), nullptr);
}

TEST(ProgressWindowFound, ShowBarZeroOpensNoWindow) {
  Program().showBar = 0;
  Program().progressWindow = nullptr;
  ShowProgress("Load spooling files...", 0);
  EXPECT_EQ(FindProgressWindow(), nullptr);
}

}  // namespace
