#include "base/print_job.h"

#include <array>

#include "base/text_util.h"

namespace {

constexpr size_t kMostNameBytes = 64;

bool KeptInName(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-' || c == ' ';
}

// Dots and blanks at either end name nothing one can see, and Windows drops them at the end.
std::string_view TrimDotsAndBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(". ");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(". ") - first + 1);
}

}  // namespace

bool IsReservedDeviceName(std::string_view name) {
  // Windows reads "CON.txt" and "con .log" as the device too.
  std::string_view stem = name.substr(0, name.find('.'));
  stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kDevices) {
    if (EqualsIgnoringCase(stem, device)) {
      return true;
    }
  }
  return stem.size() == 4 &&
         (EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
          EqualsIgnoringCase(stem.substr(0, 3), "LPT")) &&
         stem[3] >= '0' && stem[3] <= '9';
}

std::string SafeDocumentName(std::string_view name) {
  // Programs often name a document by its full path: its last part is the name.
  const size_t separator = name.find_last_of("\\/");
  if (separator != std::string_view::npos) {
    name.remove_prefix(separator + 1);
  }
  std::string kept;
  for (char c : name) {
    if (KeptInName(c)) {
      kept += c;
    }
  }
  std::string safe(TrimDotsAndBlanks(kept));
  if (safe.size() > kMostNameBytes) {
    safe = std::string(TrimDotsAndBlanks(std::string_view(safe).substr(0, kMostNameBytes)));
  }
  // Checked once cut: the cut may leave a device's name. The mark makes it one byte longer.
  if (IsReservedDeviceName(safe)) {
    safe.insert(0, 1, '_');
  }
  return safe;
}

std::string CutDocumentName(std::string_view name, size_t bytes) {
  if (name.size() <= bytes) {
    return std::string(name);
  }
  size_t end = bytes;
  // UTF-8 continuation bytes (10xxxxxx) belong to the character before them.
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
    --end;
  }
  return std::string(name.substr(0, end));
}

std::string WithoutControlCharacters(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = ' ';
    }
  }
  return out;
}

std::string EscapedField(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\') {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapedField(std::string_view field) {
  const auto digit = [](char c) -> int {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' &&
        digit(field[i + 2]) >= 0 && digit(field[i + 3]) >= 0) {
      out += static_cast<char>(digit(field[i + 2]) * 16 + digit(field[i + 3]));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}
