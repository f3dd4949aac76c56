#include "progress/progress_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "progress/resource.h"
#include "services/program_values.h"
#include "win32/win32.h"

namespace {

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Program().showBar = 1;
    Program().progressWindow = nullptr;
  }
  void TearDown() override { CloseProgressWindow(); }
  static int BarPosition() {
    return static_cast<int>(
        SendMessageA(GetDlgItem(Program().progressWindow, IDC_PROGRESS), PBM_GETPOS, 0, 0));
  }
  static std::string StatusText() {
    char text[256] = "";
    GetWindowTextA(GetDlgItem(Program().progressWindow, IDC_STATUS), text, sizeof text);
    return text;
  }
  // The screen's size as the window sees it (the stand-in's, Windows's or Wine's).
  static SIZEL Screen() {
    HDC screen = GetDC(nullptr);
    const SIZEL size{GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, VERTRES)};
    ReleaseDC(nullptr, screen);
    return size;
  }
};

TEST_F(ProgressWindowTest, TheFirstReportOpensTheWindowCentredAndLaterOnesUpdateIt) {
  ShowProgress("Load spooling files...", 0);
  HWND window = Program().progressWindow;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(StatusText(), "Load spooling files...");
  char caption[64] = "";
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "Converting....");
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  EXPECT_EQ(rect.left, (Screen().cx - width) / 2);
  EXPECT_EQ(rect.top, (Screen().cy - height) / 2);

  for (int page = 0; page < 5; ++page) {
    char text[64];
    std::snprintf(text, sizeof text, "Convert page #%d...", page + 1);
    ShowProgress(text, 100 * page / 5);
    EXPECT_EQ(Program().progressWindow, window);  // opened once
    EXPECT_EQ(BarPosition(), 20 * page);
  }
  EXPECT_EQ(StatusText(), "Convert page #5...");
  ShowProgress("Remove blank spooling files...", 0);
  EXPECT_EQ(BarPosition(), 0);  // the position is simply set

  CloseProgressWindow();
  EXPECT_EQ(Program().progressWindow, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(ProgressWindowTest, ShowBarZeroShowsNothing) {
  Program().showBar = 0;
  ShowProgress("Load spooling files...", 0);
  EXPECT_EQ(Program().progressWindow, nullptr);
}

// The run has no message loop: what was posted to the window arrives at the next report,
// after that report's own update.
TEST_F(ProgressWindowTest, QueuedInputIsDispatchedAtTheNextReport) {
  ShowProgress("first", 10);
  static const char posted[] = "posted text";
  ASSERT_TRUE(PostMessageA(Program().progressWindow, kProgressUpdateMessage, 55,
                           reinterpret_cast<LPARAM>(posted)));
  EXPECT_EQ(StatusText(), "first");
  ShowProgress("second", 20);
  EXPECT_EQ(StatusText(), "posted text");
  EXPECT_EQ(BarPosition(), 55);
}

TEST_F(ProgressWindowTest, CentringClampsOnceEachWay) {
  ShowProgress("x", 0);
  HWND window = Program().progressWindow;
  HWND reference = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                      nullptr, ProgressDialogProc, 0);
  ASSERT_NE(reference, nullptr);
  RECT own{};
  GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int screen = Screen().cx;
  struct Case {
    int reference_x;
    int window_width;
    int expected_x;
  };
  const Case cases[] = {
      {-500, width, 0},                      // off the left edge
      {screen - 20, width, screen - width},  // off the right edge
      {300, width, 300},                     // same size as the reference: same place
      {screen / 2 + 40, screen + 80, -80},   // wider than the screen: negative
  };
  for (const Case& c : cases) {
    SetWindowPos(reference, nullptr, c.reference_x, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(window, nullptr, 0, 0, c.window_width, own.bottom - own.top, SWP_NOZORDER);
    CenterWindow(window, reference);
    RECT placed{};
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, c.expected_x) << c.reference_x << " " << c.window_width;
  }
  DestroyWindow(reference);
}

}  // namespace
