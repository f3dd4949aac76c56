// The few values the run sets once and the other subsystems read.
#pragma once

#include <string>

#include "win32/win32.h"

struct ProgramValues {
  std::string settingsPath;  // full path of option.ini
  std::string printerName;   // the virtual printer's name
  int showBar = 1;           // non-zero: the progress window is shown
  HWND progressWindow = nullptr;
};

ProgramValues& Program();
