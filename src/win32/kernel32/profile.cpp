// Profile (INI) files: values cut to the caller's buffer, one pair of surrounding quotes
// removed; writes keep every other line and replace the file atomically.
#include <cstring>
#include <string>
#include <string_view>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/ini_document.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

namespace {

// A bare file name lives in the Windows directory, as on Windows.
std::optional<std::string> ProfilePath(LPCSTR file_name) {
  const std::string_view name(file_name);
  if (name.find_first_of("\\/:") == std::string_view::npos) {
    return win32::WindowsDirectory() + "/" + std::string(name);
  }
  return win32::ToNativePath(name);
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
    return win32::Fail(ERROR_CALL_NOT_IMPLEMENTED, 0);
  }
  // Windows drops trailing blanks of the default.
  std::string_view fallback = lpDefault ? lpDefault : "";
  while (!fallback.empty() && fallback.back() == ' ') {
    fallback.remove_suffix(1);
  }
  const auto native = ProfilePath(lpFileName);
  const auto text = native ? win32::ReadWholeFile(*native) : std::nullopt;
  const auto value = text ? win32::IniDocument(*text).Get(lpAppName, lpKeyName) : std::nullopt;
  if (!value) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, CopyCut(fallback, lpReturnedString, nSize));
  }
  std::string_view shown = *value;
  if (shown.size() >= 2 && (shown.front() == '"' || shown.front() == '\'') &&
      shown.back() == shown.front()) {
    shown = shown.substr(1, shown.size() - 2);
  }
  SetLastError(ERROR_SUCCESS);
  return CopyCut(shown, lpReturnedString, nSize);
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
  const auto original = win32::ReadWholeFile(*native);
  win32::IniDocument document(original.value_or(""));
  if (lpKeyName == nullptr) {
    document.RemoveSection(lpAppName);
  } else if (lpString == nullptr) {
    document.RemoveKey(lpAppName, lpKeyName);
  } else {
    document.Set(lpAppName, lpKeyName, lpString);
  }
  const std::string text = document.Text();
  // Writing back the value just read is the common case: leave the file alone then.
  if ((original && text == win32::IniDocument(*original).Text()) || (!original && text.empty())) {
    return TRUE;
  }
  return win32::ReplaceFileAtomically(*native, text) ? TRUE : FALSE;
}
