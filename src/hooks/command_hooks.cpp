#include "hooks/command_hooks.h"

#include <cstdio>
#include <string>
#include <vector>

#include "hooks/process_runner.h"
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
  std::string command = "\"" + program + "\"";
  for (size_t i = 1; i < arguments.size(); ++i) {
    command += " \"" + arguments[i] + "\"";
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
    command += " \"" + listPath + "\"";
  }
  std::string output;  // collected and dropped: a hook's output appears nowhere
  return RunCapturedProcess(command, output);
}
