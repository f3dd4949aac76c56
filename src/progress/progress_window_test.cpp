#include "progress/progress_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "progress/resource.h"
#include "services/program_values.h"
#include "win32/stand_in.h"
#include "win32/win32.h"

namespace {

class ProgressWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::tmpfile();
    win32::user::SetTerminalViewStream(view_);
    Program().showBar = 1;
    Program().progressWindow = nullptr;
  }
  void TearDown() override {
    CloseProgressWindow();
    win32::user::SetTerminalViewStream(nullptr);
    std::fclose(view_);
  }
  std::string View() const {
    std::fflush(view_);
    std::rewind(view_);
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, view_)) > 0) {
      text.append(buffer, got);
    }
    return text;
  }
  static int BarPosition() {
    return static_cast<int>(
        SendMessageA(GetDlgItem(Program().progressWindow, IDC_PROGRESS), PBM_GETPOS, 0, 0));
  }
  static std::string StatusText() {
    char text[256] = "";
    GetWindowTextA(GetDlgItem(Program().progressWindow, IDC_STATUS), text, sizeof text);
    return text;
  }

  std::FILE* view_ = nullptr;
};

TEST_F(ProgressWindowTest, TheFirstReportOpensTheWindowCentredAndLaterOnesUpdateIt) {
  ShowProgress("Load spooling files...", 0);
  HWND window = Program().progressWindow;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(StatusText(), "Load spooling files...");
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  EXPECT_EQ(rect.left, (1920 - width) / 2);
  EXPECT_EQ(rect.top, (1440 - height) / 2);

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

  const std::string view = View();
  EXPECT_NE(view.find("Converting.... ["), std::string::npos) << view;
  EXPECT_NE(view.find("80% Convert page #5..."), std::string::npos) << view;

  CloseProgressWindow();
  EXPECT_EQ(Program().progressWindow, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(View().ends_with("\r\033[K"));
}

TEST_F(ProgressWindowTest, ShowBarZeroShowsNothing) {
  Program().showBar = 0;
  ShowProgress("Load spooling files...", 0);
  EXPECT_EQ(Program().progressWindow, nullptr);
  EXPECT_EQ(View(), "");
}

TEST_F(ProgressWindowTest, QueuedInputIsDispatchedAtTheNextReport) {
  ShowProgress("first", 10);
  HWND status = GetDlgItem(Program().progressWindow, IDC_STATUS);
  static const char posted[] = "posted text";
  PostMessageA(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(posted));
  EXPECT_EQ(StatusText(), "first");
  ShowProgress("second", 20);
  EXPECT_EQ(StatusText(), "posted text");
}

TEST_F(ProgressWindowTest, CentringClampsOnceEachWay) {
  ShowProgress("x", 0);
  HWND window = Program().progressWindow;
  HWND reference = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, nullptr, 0);
  RECT own{};
  GetWindowRect(window, &own);
  const int width = own.right - own.left;
  struct Case {
    int reference_x;
    int window_width;
    int expected_x;
  };
  const Case cases[] = {
      {-500, width, 0},             // off the left edge
      {1900, width, 1920 - width},  // off the right edge
      {500, width, 500},            // same size as the reference: same place
      {1000, 2000, 1920 - 2000},    // wider than the screen: negative
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

// The stand-in's template must be the resource script's, value for value.
TEST(ProgressDialogTemplate, MatchesTheResourceScript) {
  std::ifstream in(QUADRINE_PROGRESS_SOURCE_DIR "/progress_dialog.rc");
  std::stringstream text;
  text << in.rdbuf();
  const std::string script = text.str();
  const std::map<std::string, unsigned long> names = {
      {"DS_SETFONT", DS_SETFONT}, {"DS_MODALFRAME", DS_MODALFRAME}, {"WS_POPUP", WS_POPUP},
      {"WS_CAPTION", WS_CAPTION}, {"WS_CHILD", WS_CHILD},           {"WS_VISIBLE", WS_VISIBLE},
      {"WS_BORDER", WS_BORDER},   {"WS_GROUP", WS_GROUP},           {"IDC_PROGRESS", IDC_PROGRESS},
      {"IDC_STATUS", IDC_STATUS}};
  auto flags = [&](std::string list) {
    unsigned long value = 0;
    std::regex word("[A-Z_]+");
    for (std::sregex_iterator it(list.begin(), list.end(), word), end; it != end; ++it) {
      value |= names.at(it->str());
    }
    return value;
  };
  EnsureDialogResources();
  const auto* dialog = win32::user::FindDialogTemplate(IDD_PROGRESS);
  ASSERT_NE(dialog, nullptr);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(script, m,
                                std::regex("IDD_PROGRESS DIALOG (\\d+), (\\d+), (\\d+), (\\d+)")));
  EXPECT_EQ(std::stoi(m[1]), dialog->x);
  EXPECT_EQ(std::stoi(m[2]), dialog->y);
  EXPECT_EQ(std::stoi(m[3]), dialog->cx);
  EXPECT_EQ(std::stoi(m[4]), dialog->cy);
  ASSERT_TRUE(std::regex_search(script, m, std::regex("STYLE ([A-Z_ |]+)\n")));
  EXPECT_EQ(flags(m[1]), dialog->style);
  EXPECT_EQ(dialog->style, 0x80C000C0u);
  ASSERT_TRUE(std::regex_search(script, m, std::regex("CAPTION \"([^\"]*)\"")));
  EXPECT_EQ(m[1], dialog->caption);
  ASSERT_TRUE(std::regex_search(script, m, std::regex("FONT (\\d+), \"([^\"]*)\"")));
  EXPECT_EQ(std::stoi(m[1]), dialog->point_size);
  EXPECT_EQ(m[2], dialog->font);

  const std::regex control(
      "(CONTROL|LTEXT) +\"([^\"]*)\",(\\w+),(?:\"([^\"]*)\",)?([A-Z_ "
      "|]+),(\\d+),(\\d+),(\\d+),(\\d+)"
      "|LTEXT +\"([^\"]*)\",(\\w+),(\\d+),(\\d+),(\\d+),(\\d+),([A-Z_ |]+)");
  size_t index = 0;
  for (std::sregex_iterator it(script.begin(), script.end(), control), end; it != end;
       ++it, ++index) {
    ASSERT_LT(index, dialog->controls.size());
    const auto& expected = dialog->controls[index];
    const std::smatch& c = *it;
    if (c[1].matched) {
      EXPECT_EQ(c[2], expected.text);
      EXPECT_EQ(names.at(c[3]), static_cast<unsigned long>(expected.id));
      EXPECT_EQ(c[4], expected.class_name);
      EXPECT_EQ(flags(c[5]), expected.style);
      EXPECT_EQ(std::stoi(c[6]), expected.x);
      EXPECT_EQ(std::stoi(c[7]), expected.y);
      EXPECT_EQ(std::stoi(c[8]), expected.cx);
      EXPECT_EQ(std::stoi(c[9]), expected.cy);
    } else {
      EXPECT_EQ(c[10], expected.text);
      EXPECT_EQ(names.at(c[11]), static_cast<unsigned long>(expected.id));
      EXPECT_EQ(expected.class_name, "Static");
      EXPECT_EQ(std::stoi(c[12]), expected.x);
      EXPECT_EQ(std::stoi(c[13]), expected.y);
      EXPECT_EQ(std::stoi(c[14]), expected.cx);
      EXPECT_EQ(std::stoi(c[15]), expected.cy);
      EXPECT_EQ(flags(c[16]), expected.style);
    }
  }
  EXPECT_EQ(index, dialog->controls.size());
  EXPECT_EQ(dialog->controls[0].style, 0x50800000u);
  EXPECT_EQ(dialog->controls[1].style, 0x50020000u);
}

}  // namespace
