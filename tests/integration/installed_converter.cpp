#include "integration/installed_converter.h"

#include <filesystem>

#include "win32/win32.h"

namespace testing_support {

InstalledConverter::InstalledConverter() {
  std::filesystem::copy_file(BuildDir() + "/src/run/quadrine", install_ / "quadrine");
  std::filesystem::copy_file(BuildDir() + "/tools/quadrine-print/quadrine-print",
                             install_ / "quadrine-print");
  std::filesystem::create_directories(install_ / "windows/system32/spool/PRINTERS");
}

ProcessResult InstalledConverter::Print(const std::vector<std::string>& arguments,
                                        const std::vector<std::string>& environment) const {
  std::vector<std::string> env = {"WINDIR=", "ASAN_OPTIONS=detect_leaks=1"};
  env.insert(env.end(), environment.begin(), environment.end());
  return RunProgram(install_ / "quadrine-print", arguments, elsewhere_.path(), env);
}

std::string InstalledConverter::SpoolFolder() const {
  return install_ / "windows/system32/spool/PRINTERS";
}

std::string InstalledConverter::Queue() const {
  return ReadFile(install_ / "windows/system32/spool/printers.ini");
}

void InstalledConverter::SetQueue(const std::string& text) const {
  WriteFile(install_ / "windows/system32/spool/printers.ini", text);
}

ProcessResult InstalledConverter::Run(const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& environment) const {
  std::vector<std::string> env = {"WINDIR=", "QUADRINE_WINVER=", "TMP=" + elsewhere_.path(),
                                  "ASAN_OPTIONS=detect_leaks=1"};
  env.insert(env.end(), environment.begin(), environment.end());
  return RunProgram(install_ / "quadrine", arguments, elsewhere_.path(), env);
}

static std::string ReadValue(const std::string& file, const char* section, const char* key) {
  char buffer[4096];
  GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer, file.c_str());
  return buffer;
}

std::string InstalledConverter::Option(const char* section, const char* key) const {
  return ReadValue(install_ / "option.ini", section, key);
}

std::string InstalledConverter::Config(const char* section, const char* key) const {
  return ReadValue(install_ / "config.ini", section, key);
}

void InstalledConverter::SetOption(const char* section, const char* key, const char* value) const {
  WritePrivateProfileStringA(section, key, value, (install_ / "option.ini").c_str());
}

void InstalledConverter::SetConfig(const char* section, const char* key, const char* value) const {
  WritePrivateProfileStringA(section, key, value, (install_ / "config.ini").c_str());
}

std::string InstalledConverter::Log() const {
  return ReadFile(install_ / "quadrine.log");
}

}  // namespace testing_support
