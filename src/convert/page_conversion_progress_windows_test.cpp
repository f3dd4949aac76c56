// The progress window as the converter drives it, read through the window manager each time
// an update has been handled: the caption finds it, the status text and the bar's position
// are what the window itself holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/page_conversion_test.h"
#include "progress/progress_window.h"
#include "progress/resource.h"

namespace {

using conversion_testing::ConversionTest;
using testing_support::TempDir;

std::vector<std::string> seen;

LRESULT CALLBACK AfterUpdate(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == kProgressUpdateMessage) {
    if (HWND window = FindWindowA("#32770", "Converting....")) {
      char text[128] = "";
      GetWindowTextA(GetDlgItem(window, IDC_STATUS), text, sizeof text);
      const LRESULT position = SendMessageA(GetDlgItem(window, IDC_PROGRESS), PBM_GETPOS, 0, 0);
      seen.push_back(std::to_string(position) + "% " + text);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(ConversionTest, ProgressWindowCountsThePagesAsTheWindowManagerShowsThem) {
  seen.clear();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterUpdate, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  Program().showBar = 1;
  Program().progressWindow = nullptr;
  FileList empty;
  ConvertPages(dir_ / "doc.emf", empty);
  EXPECT_EQ(FindWindowA("#32770", "Converting...."), nullptr);  // nothing reported
  const TempDir out;
  FileList five = Pages(5);
  ConvertPages(out / "doc.emf", five);
  UnhookWindowsHookEx(hook);
  const std::vector<std::string> expected = {"0% Convert page #1...", "20% Convert page #2...",
                                             "40% Convert page #3...", "60% Convert page #4...",
                                             "80% Convert page #5..."};
  EXPECT_EQ(seen, expected);
  CloseProgressWindow();
  Program().showBar = 0;
}

}  // namespace
