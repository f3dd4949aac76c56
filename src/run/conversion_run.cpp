// The program's entry: one start is one conversion run on a single thread, in one pass.
#include "run/conversion_run.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "convert/page_conversion.h"
#include "hooks/command_hooks.h"
#include "progress/progress_window.h"
#include "run/result_handoff.h"
#include "run/standard_streams.h"
#include "services/diagnostic_log.h"
#include "services/path_macros.h"
#include "services/pending_pages.h"
#include "services/program_values.h"
#include "services/run_report.h"
#include "services/scoped_handles.h"
#include "services/settings.h"
#include "spool/blank_pages.h"
#include "spool/interrupted_run.h"
#include "win32/win32.h"

namespace {

// One run at a time, machine-wide: the spool folder serves every user.
constexpr const char* kRunMutexName = "Global\\Quadrine.Run";
constexpr DWORD kRunWaitMilliseconds = 10 * 60 * 1000;

// Holds the run mutex from the first thing a run does to its end.
class RunLock {
 public:
  RunLock() : mutex_(CreateMutexA(nullptr, FALSE, kRunMutexName)) {
    // Another account's run made it and we may not create it: we may still wait for it.
    if (!mutex_.Valid() && GetLastError() == ERROR_ACCESS_DENIED) {
      mutex_.Reset(OpenMutexA(SYNCHRONIZE, FALSE, kRunMutexName));
    }
  }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock() {
    if (taken_) {
      ReleaseMutex(mutex_.Get());
    }
  }
  // Whether this run may go on; why not, when it may not. A lock that cannot be made or taken
  // stops the run: converting without it would let two runs share the jobs.
  bool Take(std::string& why) {
    if (!mutex_.Valid()) {
      why = "the lock that keeps runs apart cannot be made (error " +
            std::to_string(GetLastError()) + ")";
      return false;
    }
    const DWORD waited = WaitForSingleObject(mutex_.Get(), kRunWaitMilliseconds);
    // An owner that died (WAIT_ABANDONED) left the mutex to us.
    taken_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (waited == WAIT_TIMEOUT) {
      why = "another conversion run has held the printer for ten minutes";
    } else if (!taken_) {
      why = "the lock that keeps runs apart cannot be taken (error " +
            std::to_string(GetLastError()) + ")";
    }
    return taken_;
  }

 private:
  ScopedHandle mutex_;
  bool taken_ = false;
};

// The output folder, made when missing; false (said on standard error and in the log) when
// it cannot be made or written, and then the job is left as it is.
bool PrepareOutputFolder(const std::string& folder) {
  if (folder.empty()) {
    return true;
  }
  std::string partial;
  for (size_t i = 0; i < folder.size(); ++i) {
    partial += folder[i];
    const bool separator = folder[i] == '\\' || folder[i] == '/';
    if ((separator || i + 1 == folder.size()) && partial.size() > 1 && partial.back() != ':' &&
        !(partial.size() == 3 && partial[1] == ':')) {
      CreateDirectoryA(partial.c_str(), nullptr);  // an existing folder is fine
    }
  }
  // Written to, not just present: a probe file, created exclusively and removed at once.
  char probe[_MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "qdr", 0, probe) != 0) {
    DeleteFileA(probe);
    return true;
  }
  ReportRunFailure("the output folder '" + folder +
                   "' cannot be made or written; the job stays queued");
  return false;
}

void WriteTickCount(const char* key, DWORD ticks) {
  char text[1000];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(ticks));
  WritePrivateProfileStringA("AutoSaveOptions", key, text, Program().settingsPath.c_str());
}

// The run's settings: the settings path, a fresh log, the printer, the start tick, the output
// setting with its macros expanded, the show-bar switch, and the output folder. False when
// the output setting cannot be used (the job then stays queued).
bool PrepareRun(std::string& outputPath, std::string& outputDirectory) {
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
  if (rawOutput.size() >= kPathBufferSize) {
    // Cut to its buffer it would name another place: the job stays queued instead.
    ReportRunFailure("the OutputFile setting is longer than " +
                     std::to_string(kPathBufferSize - 1) + " characters; the job stays queued");
    return false;
  }
  outputPath = ExpandPathMacros(rawOutput);
  LogMessage("strTempPath2=%s\n", outputPath.c_str());
  if (outputPath.size() >= kPathBufferSize) {
    // Its macros expanded, the path passes what a path may be: the job stays queued.
    ReportRunFailure("the OutputFile setting with its macros expanded is longer than " +
                     std::to_string(kPathBufferSize - 1) + " characters; the job stays queued");
    return false;
  }

  // Every path the run hands on (log, outfiles.txt, the shared block, the hooks) names a file
  // other programs can open: the full path, on POSIX the native one.
  const std::string fullOutput = FullPath(outputPath);
  if (fullOutput.empty() || fullOutput.size() >= kPathBufferSize) {
    ReportRunFailure("the OutputFile setting \"" + outputPath +
                     "\" names no place a file can be written; the job stays queued");
    return false;
  }
  outputPath = fullOutput;

  // Whether the progress window is shown.
  program.showBar = static_cast<int>(GetPrivateProfileIntA(
      "AutoSaveOptions", "m_Showbar", program.showBar, program.settingsPath.c_str()));

  // The output folder, where intake puts the page files (page conversion works out the
  // extension itself): the folder before any whose name a job's macros make.
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  _splitpath(PathBeforeJobMacros(outputPath).c_str(), drive, dir, nullptr, nullptr);
  char directory[_MAX_PATH];
  _makepath(directory, drive, dir, nullptr, nullptr);
  outputDirectory = directory;
  return true;
}

}  // namespace

int AnswerHelpOrVersion(const char* commandLine) {
  const std::string_view line = commandLine != nullptr ? commandLine : "";
  if (line == "--help") {
    std::fputs(
        "usage: quadrine\n"
        "The back end of the Quadrine virtual printer. The printer package starts it without\n"
        "arguments once a job has been printed: it gathers the job's pages from the spool\n"
        "folder, writes one file per page where OutputFile in option.ini (beside the program)\n"
        "says, publishes the list of created files and runs the hooks of option.ini. Other\n"
        "arguments are ignored. Exit status: 0 every page converted, -1 (255) no page found,\n"
        "1 some page or the run failed (named on standard error and in the log).\n"
        "See quadrine(1) for every setting.\n",
        stdout);
    return 0;
  }
  if (line == "--version") {
    std::printf("quadrine %s\n", QUADRINE_VERSION);
    return 0;
  }
  return -1;
}

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

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR lpCmdLine,
                   int /*nShowCmd*/) {
  ConnectStandardStreams();
  // Arguments change nothing, so a printer package that passes some loses no job; only a
  // command line that is exactly one of these two is answered instead.
  if (const int answered = AnswerHelpOrVersion(lpCmdLine); answered >= 0) {
    return answered;
  }

  // Before anything is touched, even the log: a second run waits for the first.
  RunLock runLock;
  if (std::string why; !runLock.Take(why)) {
    // The log is this run's to reset only once it holds the lock: the line goes to the end
    // of whatever log is there.
    std::fprintf(stderr, "quadrine: %s; nothing was touched and the jobs stay queued\n",
                 why.c_str());
    LogMessage("%s; nothing was touched and the jobs stay queued.\n", why.c_str());
    return 1;
  }

  // The settings, the log and where the output goes.
  std::string outputPath;
  std::string outputDirectory;
  if (!PrepareRun(outputPath, outputDirectory)) {
    return 1;
  }

  // Without an output folder that can be written, the job stays queued for a later run.
  if (!PrepareOutputFolder(outputDirectory)) {
    return 1;
  }

  // Spool intake: first the pages a run that died left, then the job's page files in the
  // order intake finds them, each recorded as pending until it is converted.
  const DWORD workStart = GetTickCount();
  FileList fileList;
  std::vector<PendingPage> carried;
  RecoverInterruptedRun(outputDirectory, fileList, carried);
  StartPendingPages(outputDirectory, carried);
  // The job each page comes from, for the names of its outputs.
  PageJobs jobs;
  for (const PendingPage& entry : carried) {
    jobs[entry.page] = entry.job;
  }
  LoadSpoolingFiles(0, outputDirectory, fileList, &jobs);

  // No page: nothing more to do (a failure when a spool file was set aside).
  if (fileList.empty()) {
    ClearPendingPages();
    LogMessage("Can't find output EMF files.\n");
    ReportSummary();
    return ReportedFailures() > 0 ? 1 : -1;
  }

  // The before-hook on the page files, then every page converted.
  RunHook("RunExeOnEMF", fileList);
  ConvertPages(outputPath, fileList, jobs);
  ClearPendingPages();

  // The time intake and conversion took, the created files, and their hand-off.
  WriteTickCount("EMFMakerTickCount", GetTickCount() - workStart);
  const std::string resultText = LogCreatedFiles(fileList);
  ScopedHandle block;  // kept until the after-hook has returned, so that it can read the list
  PublishResultList(resultText, &block);

  // No progress window stays on screen while the after-hook runs on the output files.
  CloseProgressWindow();
  RunHook("RunExe", fileList);
  block.Reset();
  // 0 only when every page found gave its output and every configured hook got its list;
  // each failure has been named already.
  ReportSummary();
  return ReportedFailures() > 0 ? 1 : 0;
}
