#include "win32/kernel32/ini_document.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/fault.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/unique_fd.h"

namespace win32 {
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

}  // namespace

// Where a section and a key sit: the header, one past the section's last line that is not
// blank, one past its last line, and the key's line; -1 when missing.
struct IniDocument::Location {
  long header = -1;
  long content_end = -1;
  long section_end = -1;
  long key = -1;
  std::string_view value;
};

IniDocument::IniDocument(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    lines_.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (!lines_.empty() && lines_[0].ends_with('\r')) {
    line_end_tail_.assign(1, '\r');
  }
}

std::string IniDocument::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string_view IniDocument::Content(size_t index) const {
  std::string_view line = lines_[index];
  if (index == 0 && line.starts_with("\xEF\xBB\xBF")) {
    line.remove_prefix(3);  // UTF-8 byte order mark
  }
  return line;
}

IniDocument::Location IniDocument::Locate(std::string_view section, std::string_view key) const {
  Location found;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = Content(i);
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
    if (!key.empty() && found.key < 0 && IsKeyLine(line, &line_key, &value) &&
        EqualNoCase(line_key, key)) {
      found.key = static_cast<long>(i);
      found.value = value;
    }
  }
  return found;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  const Location found = Locate(section, key);
  if (found.key < 0) {
    return std::nullopt;
  }
  return std::string(found.value);
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const Location found = Locate(section, key);
  std::string line;
  if (found.key >= 0) {
    // Keep the key's own spelling.
    std::string_view old_key;
    std::string_view old_value;
    IsKeyLine(Content(static_cast<size_t>(found.key)), &old_key, &old_value);
    line.append(old_key).append("=").append(value).append(line_end_tail_);
    lines_[static_cast<size_t>(found.key)] = std::move(line);
    return;
  }
  line.append(key).append("=").append(value).append(line_end_tail_);
  if (found.header >= 0) {
    lines_.insert(lines_.begin() + found.content_end, std::move(line));
    return;
  }
  std::string header(1, '[');
  header.append(section).append("]").append(line_end_tail_);
  lines_.push_back(std::move(header));
  lines_.push_back(std::move(line));
}

void IniDocument::RemoveKey(std::string_view section, std::string_view key) {
  const Location found = Locate(section, key);
  if (found.key >= 0) {
    lines_.erase(lines_.begin() + found.key);
  }
}

void IniDocument::RemoveSection(std::string_view section) {
  const Location found = Locate(section, {});
  if (found.header >= 0) {
    lines_.erase(lines_.begin() + found.header, lines_.begin() + found.section_end);
  }
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (IsSectionHeader(Content(i), &name)) {
      names.emplace_back(name);
    }
  }
  return names;
}

std::optional<std::string> ReadWholeFile(const std::string& native_path) {
  UniqueFd fd(open(native_path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
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
  return text;
}

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t count = write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    done += static_cast<size_t>(count);
  }
  return true;
}

// Removes what writers that died left of their rewrites of the file: "NAME.~PID-BITS" of a
// process that is gone. A live writer's new file, and anything else, stays.
void RemoveAbandonedRewrites(const std::string& native_path) {
  const size_t slash = native_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : native_path.substr(0, slash);
  const std::string prefix = native_path.substr(slash == std::string::npos ? 0 : slash + 1) + ".~";
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (!name.starts_with(prefix)) {
      continue;
    }
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (end != nullptr && *end == '-' && pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 &&
        errno == ESRCH) {
      unlinkat(dirfd(listing), name.c_str(), 0);
    }
  }
  closedir(listing);
}

}  // namespace

uint64_t UnpredictableBits() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) {
    return bits;
  }
  // Without the kernel's generator, still different for each call and process; O_EXCL and
  // the retries keep it safe, only less hard to guess.
  static std::atomic<uint64_t> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(now) * 0x9E3779B97F4A7C15ull ^
         (static_cast<uint64_t>(getpid()) << 32) ^ counter.fetch_add(1);
}

bool ReplaceFileAtomically(const std::string& native_path, const std::string& text,
                           unsigned new_file_mode) {
  // What the file is now: a regular file passes its owner and mode on; a link planted at
  // its name passes nothing on and is replaced itself.
  struct stat old_file {};
  const bool keep_owner_and_mode =
      lstat(native_path.c_str(), &old_file) == 0 && S_ISREG(old_file.st_mode);
  constexpr int kTries = 8;  // a name taken by chance, or planted, costs one more try
  std::string temporary;
  UniqueFd fd;
  RemoveAbandonedRewrites(native_path);
  for (int attempt = 0; attempt < kTries && !fd.Valid(); ++attempt) {
    // The writer's process, so that what a writer that died left can be told, then bits no one
    // can guess.
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".~%ld-%016llx", static_cast<long>(getpid()),
                  static_cast<unsigned long long>(UnpredictableBits()));
    temporary = native_path + suffix;
    fd.Reset(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  static_cast<mode_t>(new_file_mode)));
    if (!fd.Valid() && errno != EEXIST) {
      break;
    }
  }
  if (!fd.Valid()) {
    return FailFromErrno();
  }
  fault::AfterSuccess("CreateFileA", temporary);
  if (keep_owner_and_mode) {
    // Another user's file stays theirs where we may give it to them (as root), else keeps
    // at least its group when we belong to it; otherwise (EPERM) it becomes ours, as any
    // new file would, which takes nothing from its content.
    const bool others = old_file.st_uid != geteuid() || old_file.st_gid != getegid();
    if (others && fchown(fd.Get(), old_file.st_uid, old_file.st_gid) != 0 &&
        fchown(fd.Get(), static_cast<uid_t>(-1), old_file.st_gid) != 0) {
      errno = 0;  // not ours to give: not a failure of the write
    }
    // After the owner: a change of owner clears the set-id bits.
    fchmod(fd.Get(), old_file.st_mode & 07777);
  }
  if (!WriteAll(fd.Get(), text) || close(fd.Release()) != 0 ||
      rename(temporary.c_str(), native_path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return Fail(ErrorFromErrno(error), false);
  }
  fault::AfterSuccess("MoveFileExA", native_path);
  return true;
}

}  // namespace win32
