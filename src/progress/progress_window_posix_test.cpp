// The window as the stand-in shows it: a line on the terminal, drawn from the template that
// the stand-in keeps beside the resource script.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "progress/progress_window.h"
#include "progress/resource.h"
#include "services/program_values.h"
#include "win32/stand_in.h"
#include "win32/win32.h"

namespace {

TEST(ProgressTerminalView, ShowsTheCaptionTheBarAndTheTextThenClearsTheLine) {
  std::FILE* view = std::tmpfile();
  win32::user::SetTerminalViewStream(view);
  Program().showBar = 1;
  Program().progressWindow = nullptr;
  ShowProgress("Load spooling files...", 0);
  ShowProgress("Convert page #5...", 80);
  CloseProgressWindow();
  win32::user::SetTerminalViewStream(nullptr);
  std::rewind(view);
  std::string text;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, view)) > 0;) {
    text.append(buffer, got);
  }
  std::fclose(view);
  EXPECT_NE(text.find("Converting.... ["), std::string::npos) << text;
  EXPECT_NE(text.find("80% Convert page #5..."), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\033[K"));
}

TEST(ProgressTerminalView, ShowBarZeroWritesNothing) {
  std::FILE* view = std::tmpfile();
  win32::user::SetTerminalViewStream(view);
  Program().showBar = 0;
  ShowProgress("Load spooling files...", 0);
  win32::user::SetTerminalViewStream(nullptr);
  EXPECT_EQ(std::ftell(view), 0);
  std::fclose(view);
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
