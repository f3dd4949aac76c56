#include "hooks/command_hooks.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/text_util.h"
#include "hooks/process_runner.h"
#include "services/diagnostic_log.h"
#include "services/own_files.h"
#include "services/path_macros.h"
#include "services/run_report.h"
#include "services/settings.h"

namespace {

constexpr DWORD kSettingSize = 2048;
constexpr size_t kMaxArguments = 1024;
constexpr size_t kMaxProgramPath = 259;
constexpr size_t kMaxCommand = 2047;

// Replaced whole, never written through a link planted at its name; lines end as text files
// end on the platform.
bool WriteListFile(const std::string& path, const FileList& list) {
  std::string text;
  for (const std::string& entry : list) {
    text += entry;
    text += kTextLineEnd;
  }
  return ReplaceWholeFile(path, text);
}

}  // namespace

int RunHook(const char* hookName, const FileList& list) {
  const std::string setting = ReadOptionString(hookName, "PATH", "", kSettingSize);
  if (setting.empty()) {
    return -1;
  }
  const std::vector<std::string> arguments = SplitCommandLine(setting.c_str());
  if (arguments.empty()) {
    return -2;
  }
  if (arguments.size() > kMaxArguments) {
    LogMessage("%s: the command has more than %zu arguments and is not run.\n", hookName,
               kMaxArguments);
    return -1;
  }
  std::string program = arguments[0];
  if (!program.empty() && IsRelativeProgramPath(program)) {
    program = PathBesideExecutable("", "") + program;
  }
  if (program.size() > kMaxProgramPath) {
    LogMessage("%s: the program's path is longer than %zu characters and is not run.\n", hookName,
               kMaxProgramPath);
    return -1;
  }
  std::string command = QuotedArgument(program);
  // Appended piece by piece: " " + QuotedArgument(...) sets off GCC 12's false -Wrestrict.
  for (size_t i = 1; i < arguments.size(); ++i) {
    command += ' ';
    command += QuotedArgument(arguments[i]);
  }
  if (command.size() > kMaxCommand) {
    LogMessage("%s: the command is longer than %zu characters and is not run.\n", hookName,
               kMaxCommand);
    return -1;
  }
  const std::string listPath = PathBesideExecutable("outfiles", ".txt");
  if (!WriteListFile(listPath, list)) {
    // Whoever relies on the hook must learn that it did not run: the run fails with a line.
    ReportRunFailure("the list of files cannot be written to '" + listPath + "'; the " + hookName +
                     " hook, which reads it, was skipped");
    return -1;
  }
  // %1 is replaced in each argument before it is quoted, so a list path holding a quote or
  // ending in a backslash reaches the program unchanged.
  bool listNamed = false;
  command.clear();
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = i == 0 ? program : arguments[i];
    if (argument.find("%1") != std::string::npos) {
      ReplaceAll(argument, "%1", listPath);
      listNamed = true;
    }
    if (i > 0) {
      command += ' ';
    }
    command += QuotedArgument(argument);
  }
  if (!listNamed) {
    command += ' ';
    command += QuotedArgument(listPath);
  }
  std::string output;  // collected and dropped: a hook's output appears nowhere
  DWORD exitCode = 0;
  const int result = RunCapturedProcess(command, output, &exitCode);
  if (result != 0) {
    LogMessage("%s: the command exited with %lu.\n", hookName,
               static_cast<unsigned long>(exitCode));
  } else {
    LogMessage("%s: the command could not be started.\n", hookName);
  }
  return result;
}
