#include "services/diagnostic_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "base/text_util.h"
#include "services/settings.h"
#include "win32/win32.h"

namespace {
constexpr DWORD kSwitchSize = 300;
}

std::string GetLogFilePath() {
  return PathBesideExecutable(nullptr, ".log");
}

void LogMessage(const char* format, ...) {
  // Read at every entry, so the switch can change during a run, and written back so that
  // config.ini shows the key.
  const std::string config = GetConfigIniPath();
  const std::string value = ReadConfigString("debug", "outlog", "No", kLongSettingSize);
  if (value.size() < kSwitchSize) {  // never written back cut
    WritePrivateProfileStringA("debug", "outlog", value.c_str(), config.c_str());
  }
  if (EqualsIgnoringCase(value, "No")) {
    return;
  }
  // The UTC time by the calendar of <chrono>, the same on every platform.
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02u %02d:%02d:%02d -- ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));

  const std::string path = GetLogFilePath();
  // Opened and closed for every entry, so the log is whole even if the process dies.
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    char text[MAX_PATH + 64];
    std::snprintf(text, sizeof text, "Failed to create '%s' log file!", path.c_str());
    MessageBoxA(GetDesktopWindow(), text, "ERROR", MB_OK);
    return;
  }
  std::fputs(stamp, file);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fclose(file);
}
