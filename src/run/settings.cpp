#include "settings.h"

#include <vector>

#include "program_values.h"

namespace {

std::string IniPathBesideExecutable(const char* base_name) {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  _splitpath(module, drive, dir, nullptr, nullptr);
  char path[_MAX_PATH];
  _makepath(path, drive, dir, base_name, ".ini");
  return path;
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* fallback, DWORD size) {
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  const DWORD length =
      GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
  return std::string(buffer.data(), length);
}

}  // namespace

std::string GetOptionIniPath() { return IniPathBesideExecutable("option"); }

std::string GetConfigIniPath() { return IniPathBesideExecutable("config"); }

std::string ReadConfigString(const char* section, const char* key, const char* fallback,
                             DWORD size) {
  return ReadProfileString(GetConfigIniPath(), section, key, fallback, size);
}

std::string ReadOptionString(const char* section, const char* key, const char* fallback,
                             DWORD size) {
  return ReadProfileString(GetOptionIniPath(), section, key, fallback, size);
}

void LoadPrinterName() {
  std::string name = ReadConfigString("installation", "PrinterName", "Quadrine", kPrinterNameSize);
  Program().printerName = name.empty() ? "Quadrine" : name;
}

std::string ReadOutputFileSetting() {
  const std::string& settings = Program().settingsPath;
  std::string value = ReadProfileString(settings, "AutoSave", "OutputFile", "C:\\", kPathBufferSize);
  WritePrivateProfileStringA("AutoSave", "OutputFile", value.c_str(), settings.c_str());
  return value;
}
