#include "hooks/command_hooks.h"

#include <cstdio>
#include <string>
#include <vector>

#include "hooks/process_runner.h"
#include "services/diagnostic_log.h"
#include "services/path_macros.h"
#include "services/settings.h"

namespace {

constexpr DWORD kSettingSize = 2048;
constexpr size_t kMaxArguments = 1024;
constexpr size_t kMaxProgramPath = 259;
constexpr size_t kMaxCommand = 2047;

bool WriteListFile(const std::string& path, const FileList& list) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    return false;
  }
  for (const std::string& entry : list) {
    std::fputs(entry.c_str(), file);
    std::fputc('\n', file);
  }
  return std::fclose(file) == 0;
}

// One argument quoted so that the C runtime reads it back unchanged: backslashes before the
// closing quote are doubled, else "D:\dest\" would end in an escaped quote.
std::string Quoted(const std::string& argument) {
  size_t trailing = 0;
  while (trailing < argument.size() && argument[argument.size() - 1 - trailing] == '\\') {
    ++trailing;
  }
  return "\"" + argument + std::string(trailing, '\\') + "\"";
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
    return -1;
  }
  std::string program = arguments[0];
  if (!program.empty() && IsRelativeProgramPath(program)) {
    program = PathBesideExecutable("", "") + program;
  }
  if (program.size() > kMaxProgramPath) {
    return -1;
  }
  std::string command = Quoted(program);
  // Appended piece by piece: " " + Quoted(...) sets off GCC 12's false -Wrestrict.
  for (size_t i = 1; i < arguments.size(); ++i) {
    command += ' ';
    command += Quoted(arguments[i]);
  }
  if (command.size() > kMaxCommand) {
    return -1;
  }
  const std::string listPath = PathBesideExecutable("outfiles", ".txt");
  if (!WriteListFile(listPath, list)) {
    return -1;
  }
  if (command.find("%1") != std::string::npos) {
    ReplaceAll(command, "%1", listPath);
  } else {
    command += ' ';
    command += Quoted(listPath);
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
