// The text of an INI file, line by line, with Windows' profile rules: sections and keys
// without regard to case, blanks around keys and values trimmed, the first of two equal
// sections or keys wins. Changes keep every other line as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win32 {

class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  std::string Text() const;

  // The value as written, blanks trimmed, quotes kept; none when the key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Sets a key, adding it at the end of its section, or the section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  void RemoveKey(std::string_view section, std::string_view key);
  void RemoveSection(std::string_view section);
  // The names of the sections in file order, as written.
  std::vector<std::string> SectionNames() const;

 private:
  struct Location;
  Location Locate(std::string_view section, std::string_view key) const;
  std::string_view Content(size_t index) const;

  std::vector<std::string> lines_;  // without '\n'; the '\r' of CR LF files stays
  std::string line_end_tail_;       // "\r" for CR LF files
};

// Reads a whole regular file; none when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& native_path);
// Writes a file whole under a new, exclusive and unpredictable name beside it, then renames
// that over the old one: a crash leaves the old or the new file, never a torn or empty one,
// and a link planted at either name is never written through (the rename replaces a link at
// the file's own name). The new file keeps the old one's mode and, where allowed, its owner;
// a file made anew gets new_file_mode less the umask.
// 64 bits no other process can guess, for new names no one can plant a link at beforehand.
uint64_t UnpredictableBits();

bool ReplaceFileAtomically(const std::string& native_path, const std::string& text,
                           unsigned new_file_mode = 0666);

}  // namespace win32
