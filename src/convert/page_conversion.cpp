#include "convert/page_conversion.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/text_util.h"
#include "convert/raster_encoding.h"
#include "convert/rasterize.h"
#include "progress/progress_window.h"
#include "services/diagnostic_log.h"
#include "services/program_values.h"
#include "services/settings.h"
#include "win32/win32.h"

namespace {

constexpr DWORD kSettingSize = 200;
constexpr DWORD kSuffixSize = 260;
constexpr int kUniqueCandidates = 1000000;

std::string ReadSetting(const char* key, const char* fallback, DWORD size) {
  return ReadOptionString("AutoSaveOptions", key, fallback, size);
}

void WriteSetting(const char* key, const std::string& value) {
  WritePrivateProfileStringA("AutoSaveOptions", key, value.c_str(), Program().settingsPath.c_str());
}

bool StartsWithDigit(const std::string& text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

// atoi's value, held to the 32-bit range instead of overflowing.
int WholeNumber(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

ImageSettings ReadImageSettings() {
  ImageSettings settings;
  std::string depth = ReadSetting("m_strColorDepth", "Default", kSettingSize);
  if (!depth.empty()) {
    depth.resize(depth.find_first_not_of("0123456789") == std::string::npos
                     ? depth.size()
                     : depth.find_first_not_of("0123456789"));
    settings.colorDepth = depth.empty() ? 0 : WholeNumber(depth);
  }
  const std::string resolution = ReadSetting("m_strResolution", "Default", kSettingSize);
  if (StartsWithDigit(resolution)) {
    if (resolution.find('x') != std::string::npos) {
      std::sscanf(resolution.c_str(), "%fx%f", &settings.xResolution, &settings.yResolution);
    } else {
      settings.xResolution = settings.yResolution = static_cast<float>(WholeNumber(resolution));
    }
  }
  const std::string size = ReadSetting("strWidthAndHeight", "", kSettingSize);
  if (StartsWithDigit(size)) {
    if (size.find('x') != std::string::npos) {
      long long width = 0;
      long long height = 0;
      std::sscanf(size.c_str(), "%lldx%lld", &width, &height);
      settings.width = width > INT_MAX ? INT_MAX : static_cast<int>(width);
      settings.height = height > INT_MAX ? INT_MAX : static_cast<int>(height);
    } else {
      settings.width = settings.height = WholeNumber(size);
    }
  }
  settings.specifySize = static_cast<int>(GetPrivateProfileIntA(
      "AutoSaveOptions", "bSpecifyWidthHeight", 0, Program().settingsPath.c_str()));
  return settings;
}

std::string SafeSuffixFormat(const std::string& format) {
  // Allowed: text, "%%", and at most one conversion of d, i, u, x, X or o with flags, width
  // and precision given as digits.
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0", format[j]) != nullptr) {
      ++j;
    }
    while (j < format.size() &&
           (std::isdigit(static_cast<unsigned char>(format[j])) || format[j] == '.')) {
      ++j;
    }
    if (j >= format.size() || std::strchr("diuxXo", format[j]) == nullptr || ++conversions > 1) {
      return "%04d";
    }
    i = j;
  }
  return format;
}

std::string MakeUniquePath(const std::string& path) {
  if (!Exists(path)) {
    return path;
  }
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  char name[_MAX_FNAME];
  char ext[_MAX_EXT];
  _splitpath(path.c_str(), drive, dir, name, ext);
  for (int counter = 0; counter < kUniqueCandidates; ++counter) {
    char candidateName[_MAX_FNAME + 16];
    std::snprintf(candidateName, sizeof candidateName, "%s%03d", name, counter);
    char candidate[_MAX_PATH];
    _makepath(candidate, drive, dir, candidateName, ext);
    if (!Exists(candidate)) {
      return candidate;
    }
  }
  return {};  // every candidate is taken: nothing is overwritten
}

int ConvertEmfToWmf(const std::string& pagePath, const std::string& outputPath) {
  HENHMETAFILE page = GetEnhMetaFileA(pagePath.c_str());
  if (page == nullptr) {
    return 0;
  }
  HDC reference = GetDC(nullptr);
  const UINT size = GetWinMetaFileBits(page, 0, nullptr, MM_ANISOTROPIC, reference);
  std::vector<BYTE> bits;
  if (size > 0) {
    bits.resize(size);
    if (GetWinMetaFileBits(page, size, bits.data(), MM_ANISOTROPIC, reference) == size) {
      HMETAFILE metafile = SetMetaFileBitsEx(size, bits.data());
      if (metafile != nullptr) {
        HMETAFILE copy = CopyMetaFileA(metafile, outputPath.c_str());
        if (copy != nullptr) {
          DeleteMetaFile(copy);
        }
        DeleteMetaFile(metafile);
      }
    }
  }
  ReleaseDC(nullptr, reference);
  DeleteEnhMetaFile(page);
  return 1;
}

int ConvertPages(const std::string& outputPath, FileList& list) {
  const std::string startText = ReadSetting("FileNameSuffixStartNumber", "1", kSettingSize);
  WriteSetting("FileNameSuffixStartNumber", startText);
  const long long start = WholeNumber(startText);
  const int grayscale = static_cast<int>(
      GetPrivateProfileIntA("AutoSaveOptions", "m_bGrayscale", 0, Program().settingsPath.c_str()));
  ImageSettings settings = ReadImageSettings();
  settings.grayscale = grayscale;
  const std::string suffixSetting = ReadSetting("AddFileNameSuffix", "%04d", kSuffixSize);
  WriteSetting("AddFileNameSuffix", suffixSetting);
  const std::string suffix = SafeSuffixFormat(suffixSetting);
  if (suffix != suffixSetting) {
    LogMessage("AddFileNameSuffix '%s' is not one integer conversion; \"%%04d\" is used.\n",
               suffixSetting.c_str());
  }
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  char name[_MAX_FNAME];
  char ext[_MAX_EXT];
  _splitpath(outputPath.c_str(), drive, dir, name, ext);
  const std::string extension = *ext != '\0' ? ext : ".emf";

  const size_t count = list.size();
  FileList converted;
  for (size_t i = 0; i < count; ++i) {
    char progress[64];
    std::snprintf(progress, sizeof progress, "Convert page #%d...", static_cast<int>(i + 1));
    ShowProgress(progress, static_cast<int>(100 * i / count));
    const std::string page = list[i];
    const std::string format = "%s" + suffix;
    char outputName[_MAX_FNAME + 64];
    // The number wraps as a 32-bit value would; the format holds one integer conversion.
    std::snprintf(outputName, sizeof outputName, format.c_str(), name,
                  static_cast<int>(static_cast<unsigned>(start + static_cast<long long>(i))));
    // A path that does not fit the system's limit would be cut: such a page is kept instead.
    const size_t length = std::strlen(drive) + std::strlen(dir) + 1 + std::strlen(outputName) +
                          extension.size() + 3;  // room for the uniqueness counter
    if (outputPath.size() >= _MAX_PATH || length >= _MAX_PATH) {
      LogMessage("The output path for page '%s' is longer than %d characters; the page is kept.\n",
                 page.c_str(), _MAX_PATH - 1);
      continue;
    }
    char joined[_MAX_PATH];
    _makepath(joined, drive, dir, outputName, extension.c_str());
    const std::string output = MakeUniquePath(joined);
    if (!output.empty()) {
      if (EqualsIgnoringCase(extension, ".emf")) {
        CopyFileA(page.c_str(), output.c_str(), TRUE);  // never over an existing file
      } else if (EqualsIgnoringCase(extension, ".bmp")) {
        RenderEmfToBmp(page, output, settings);
      } else if (EqualsIgnoringCase(extension, ".wmf")) {
        ConvertEmfToWmf(page, output);
      } else {
        const std::string bitmap = RenderToTempBmp(page, settings);
        if (!bitmap.empty()) {
          EncodeOptions options;
          options.xDpi = static_cast<int>(settings.xResolution);
          options.yDpi = static_cast<int>(settings.yResolution);
          EncodeImageFile(bitmap, output, options);
          DeleteFileA(bitmap.c_str());
        }
      }
    }
    if (output.empty() || !Exists(output)) {
      // No output: the page file stays, and the list names only files that exist.
      LogMessage("Page '%s' gave no output file; it is kept.\n", page.c_str());
      continue;
    }
    DeleteFileA(page.c_str());
    converted.push_back(output);
  }
  list = std::move(converted);
  return 0;
}
