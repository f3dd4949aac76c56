// Profile (INI) files with Windows' rules: sections and keys without regard to case, blanks
// around keys and values trimmed, one pair of surrounding quotes removed, values cut to the
// caller's buffer; writes keep every other line and replace the file atomically.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kernel32/errors.h"
#include "kernel32/kernel32.h"
#include "kernel32/native_path.h"
#include "kernel32/unique_fd.h"

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y && std::tolower(x) != std::tolower(y)) {
      return false;
    }
  }
  return true;
}

// A bare file name lives in the Windows directory, as on Windows.
std::optional<std::string> ProfilePath(LPCSTR file_name) {
  const std::string_view name(file_name);
  if (name.find_first_of("\\/:") == std::string_view::npos) {
    return win32::WindowsDirectory() + "/" + std::string(name);
  }
  return win32::ToNativePath(name);
}

struct ProfileText {
  bool exists = false;
  std::vector<std::string> lines;  // without '\n'; a '\r' of CR LF files stays
};

ProfileText ReadProfile(const std::string& native) {
  ProfileText profile;
  win32::UniqueFd fd(open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    return profile;
  }
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return profile;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  profile.exists = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    profile.lines.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return profile;
}

std::string_view LineContent(const ProfileText& profile, size_t index) {
  std::string_view line = profile.lines[index];
  if (index == 0 && line.starts_with("\xEF\xBB\xBF")) {
    line.remove_prefix(3);  // UTF-8 byte order mark
  }
  return line;
}

bool IsSectionHeader(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.empty() || line[0] != '[') {
    return false;
  }
  line.remove_prefix(1);
  const size_t close = line.find(']');
  *name = Trim(close == std::string_view::npos ? line : line.substr(0, close));
  return true;
}

bool IsKeyLine(std::string_view line, std::string_view* key, std::string_view* value) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';') {
    return false;
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return false;
  }
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

// Where a section and a key sit among the lines: the header, the end of the section
// (one past its last line that is not blank) and the key's line, each -1 when missing.
struct Location {
  long header = -1;
  long content_end = -1;
  long section_end = -1;
  long key = -1;
  std::string_view value;
};

Location Locate(const ProfileText& profile, std::string_view section, const char* key) {
  Location found;
  for (size_t i = 0; i < profile.lines.size(); ++i) {
    const std::string_view line = LineContent(profile, i);
    std::string_view name;
    if (IsSectionHeader(line, &name)) {
      if (found.header >= 0) {
        break;
      }
      if (EqualNoCase(name, section)) {
        found.header = static_cast<long>(i);
        found.content_end = found.section_end = found.header + 1;
      }
      continue;
    }
    if (found.header < 0) {
      continue;
    }
    found.section_end = static_cast<long>(i) + 1;
    if (!Trim(line).empty()) {
      found.content_end = static_cast<long>(i) + 1;
    }
    std::string_view line_key;
    std::string_view value;
    if (key != nullptr && found.key < 0 && IsKeyLine(line, &line_key, &value) &&
        EqualNoCase(line_key, key)) {
      found.key = static_cast<long>(i);
      found.value = value;
    }
  }
  return found;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

bool ReplaceFile(const std::string& native, const std::string& text) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary = native + ".~" + std::to_string(getpid()) + "." +
                                std::to_string(counter.fetch_add(1));
  struct stat info {};
  const bool existed = stat(native.c_str(), &info) == 0;
  win32::UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.Valid()) {
    return win32::FailFromErrno();
  }
  if (existed) {
    fchmod(fd.Get(), info.st_mode & 07777);
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd.Get(), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      const int error = errno;
      unlink(temporary.c_str());
      SetLastError(win32::ErrorFromErrno(error));
      return false;
    }
    done += static_cast<size_t>(written);
  }
  if (close(fd.Release()) != 0 || rename(temporary.c_str(), native.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    SetLastError(win32::ErrorFromErrno(error));
    return false;
  }
  return true;
}

DWORD CopyCut(std::string_view text, LPSTR buffer, DWORD size) {
  const size_t length = text.size() < size ? text.size() : size - 1;
  if (length > 0) {
    std::memcpy(buffer, text.data(), length);
  }
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (lpReturnedString == nullptr || nSize == 0) {
    return 0;
  }
  lpReturnedString[0] = '\0';
  if (lpAppName == nullptr || lpKeyName == nullptr || lpFileName == nullptr) {
    // Listing sections or keys is not something this program asks for.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  // Windows drops trailing blanks of the default.
  std::string_view fallback = lpDefault ? lpDefault : "";
  while (!fallback.empty() && fallback.back() == ' ') {
    fallback.remove_suffix(1);
  }
  const auto native = ProfilePath(lpFileName);
  if (!native) {
    return CopyCut(fallback, lpReturnedString, nSize);
  }
  const ProfileText profile = ReadProfile(*native);
  if (!profile.exists) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopyCut(fallback, lpReturnedString, nSize);
  }
  const Location found = Locate(profile, lpAppName, lpKeyName);
  if (found.key < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopyCut(fallback, lpReturnedString, nSize);
  }
  std::string_view value = found.value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  SetLastError(ERROR_SUCCESS);
  return CopyCut(value, lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                  LPCSTR lpFileName) {
  char text[30];
  if (GetPrivateProfileStringA(lpAppName, lpKeyName, "", text, sizeof text, lpFileName) == 0) {
    return static_cast<UINT>(nDefault);
  }
  // Windows reads an optional sign and decimal, 0x hexadecimal, 0o octal or 0b binary digits,
  // stopping at the first other character; text that starts with none of them gives 0.
  const char* p = text;
  while (*p == ' ' || *p == '\t') {
    ++p;
  }
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p++ == '-';
  }
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) {
    base = 8;
    p += 2;
  } else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) {
    base = 2;
    p += 2;
  }
  UINT value = 0;
  for (;; ++p) {
    unsigned digit;
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) {
      break;
    }
    value = value * base + digit;  // wraps like Windows' 32-bit conversion
  }
  return negative ? 0u - value : value;
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                       LPCSTR lpFileName) {
  if (lpAppName == nullptr || lpFileName == nullptr) {
    // With everything null Windows only flushes its cache; the stand-in keeps none.
    return lpAppName == nullptr && lpKeyName == nullptr && lpString == nullptr
               ? TRUE
               : win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto native = ProfilePath(lpFileName);
  if (!native) {
    return FALSE;
  }
  ProfileText profile = ReadProfile(*native);
  const Location found = Locate(profile, lpAppName, lpKeyName);
  const bool crlf = !profile.lines.empty() && profile.lines[0].ends_with('\r');
  const std::string eol_tail = crlf ? "\r" : "";
  std::vector<std::string>& lines = profile.lines;
  const std::string original = JoinLines(lines);

  if (lpKeyName == nullptr) {
    // Null key: the whole section goes.
    if (found.header >= 0) {
      lines.erase(lines.begin() + found.header, lines.begin() + found.section_end);
    }
  } else if (lpString == nullptr) {
    // Null value: the key goes.
    if (found.key >= 0) {
      lines.erase(lines.begin() + found.key);
    }
  } else {
    std::string key_line = std::string(lpKeyName) + "=" + lpString + eol_tail;
    if (found.key >= 0) {
      // Keep the key's own spelling.
      std::string_view old_key;
      std::string_view old_value;
      IsKeyLine(LineContent(profile, static_cast<size_t>(found.key)), &old_key, &old_value);
      lines[static_cast<size_t>(found.key)] =
          std::string(old_key) + "=" + lpString + eol_tail;
    } else if (found.header >= 0) {
      lines.insert(lines.begin() + found.content_end, key_line);
    } else {
      std::string header(1, '[');
      header.append(lpAppName).append("]").append(eol_tail);
      lines.push_back(std::move(header));
      lines.push_back(std::move(key_line));
    }
  }
  const std::string text = JoinLines(lines);
  // Writing back the value just read is the common case: leave the file alone then.
  if (profile.exists && text == original) {
    return TRUE;
  }
  if (!profile.exists && lpString == nullptr) {
    return TRUE;
  }
  return ReplaceFile(*native, text) ? TRUE : FALSE;
}
