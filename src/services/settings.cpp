#include "services/settings.h"

#include <vector>

#include "services/program_values.h"

namespace {

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* fallback, DWORD size) {
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  const DWORD length =
      GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
  return std::string(buffer.data(), length);
}

}  // namespace

std::string PathBesideExecutable(const char* baseName, const char* extension) {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  char name[_MAX_FNAME];
  _splitpath(module, drive, dir, name, nullptr);  // the module's path is within MAX_PATH
  const char* chosen = baseName != nullptr ? baseName : name;
  if (MadePathLength(drive, dir, chosen, extension) >= _MAX_PATH) {
    return {};  // no such file can be named here
  }
  char path[_MAX_PATH];
  _makepath(path, drive, dir, chosen, extension);
  return path;
}

std::string GetOptionIniPath() {
  return PathBesideExecutable("option", ".ini");
}

std::string GetConfigIniPath() {
  return PathBesideExecutable("config", ".ini");
}

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

std::string ReadOptionWrittenBack(const char* section, const char* key, const char* fallback,
                                  DWORD size) {
  const std::string& settings = Program().settingsPath;
  // Read whole, so that a value too long for its buffer is seen as such, and never written
  // back cut, which would destroy the setting.
  std::string value = ReadProfileString(settings, section, key, fallback, kLongSettingSize);
  if (value.size() < size) {
    WritePrivateProfileStringA(section, key, value.c_str(), settings.c_str());
  }
  return value;
}

std::string ReadOutputFileSetting() {
  return ReadOptionWrittenBack("AutoSave", "OutputFile", "C:\\", kPathBufferSize);
}
