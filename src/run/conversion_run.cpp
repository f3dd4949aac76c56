// The program's entry: one start is one conversion run on a single thread, in one pass.
#include "run/conversion_run.h"

#include <cstdio>

#include "convert/page_conversion.h"
#include "hooks/command_hooks.h"
#include "progress/progress_window.h"
#include "run/result_handoff.h"
#include "services/diagnostic_log.h"
#include "services/path_macros.h"
#include "services/program_values.h"
#include "services/settings.h"
#include "spool/blank_pages.h"
#include "win32/win32.h"

namespace {

void WriteTickCount(const char* key, DWORD ticks) {
  char text[1000];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(ticks));
  WritePrivateProfileStringA("AutoSaveOptions", key, text, Program().settingsPath.c_str());
}

}  // namespace

std::string LogCreatedFiles(const FileList& fileList) {
  std::string resultText;
  LogMessage("Created EMF files, begin ==============================================\n");
  int number = 1;
  for (const std::string& path : fileList) {
    LogMessage("File %d = \"%s\"\n", number++, path.c_str());
    resultText += path;
    resultText += '\n';
  }
  LogMessage("Created EMF files, end ==============================================\n\n\n\n\n");
  return resultText;
}

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
  ProgramValues& program = Program();

  // The settings path, and a fresh log for every run whether or not logging is on.
  program.settingsPath = GetOptionIniPath();
  const std::string logPath = GetLogFilePath();
  if (GetFileAttributesA(logPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
    DeleteFileA(logPath.c_str());
  }

  // The printer whose jobs are ours, and the tick the run started at.
  LoadPrinterName();
  WriteTickCount("TotalStartTickCount", GetTickCount());

  // Where the output goes: the setting as written, then with its macros expanded.
  const std::string rawOutput = ReadOutputFileSetting();
  LogMessage("strTempPath1=%s\n", rawOutput.c_str());
  const std::string outputPath = ExpandPathMacros(rawOutput);
  LogMessage("strTempPath2=%s\n", outputPath.c_str());

  // Whether the progress window is shown.
  program.showBar = static_cast<int>(GetPrivateProfileIntA(
      "AutoSaveOptions", "m_Showbar", program.showBar, program.settingsPath.c_str()));

  // The output folder, where intake puts the page files (page conversion works out the
  // extension itself).
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  _splitpath(outputPath.c_str(), drive, dir, nullptr, nullptr);
  char outputDirectory[_MAX_PATH];
  _makepath(outputDirectory, drive, dir, nullptr, nullptr);

  // Spool intake: the job's page files, in the order intake finds them.
  const DWORD workStart = GetTickCount();
  FileList fileList;
  LoadSpoolingFiles(0, outputDirectory, fileList);

  // No page: nothing more to do.
  if (fileList.empty()) {
    LogMessage("Can't find output EMF files.\n");
    return -1;
  }

  // The before-hook on the page files, then every page converted.
  RunHook("RunExeOnEMF", fileList);
  ConvertPages(outputPath, fileList);

  // The time intake and conversion took, the created files, and their hand-off.
  WriteTickCount("EMFMakerTickCount", GetTickCount() - workStart);
  const std::string resultText = LogCreatedFiles(fileList);
  PublishResultList(resultText);

  // No progress window stays on screen while the after-hook runs on the output files.
  CloseProgressWindow();
  RunHook("RunExe", fileList);
  return 0;
}
