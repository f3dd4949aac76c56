#include "convert_inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

std::string BaseNameWithoutExtension(const std::string& path) {
  if (path == kStandardStream) {
    return "stdin";
  }
  std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

namespace {

// Reads the rest of the stream after what bytes holds, in pieces, up to limit bytes in all;
// false with why when it cannot, or holds more. The pieces are joined once their sum is
// known, so the bytes are never held twice over.
bool ReadRest(std::FILE* stream, size_t limit, std::vector<uint8_t>& bytes, std::string& error) {
  std::vector<std::vector<uint8_t>> pieces;
  size_t total = bytes.size();
  for (;;) {
    std::vector<uint8_t> piece(size_t{1} << 20);
    const size_t got = std::fread(piece.data(), 1, piece.size(), stream);
    if (got > limit - total) {
      error = "more than " + std::to_string(limit >> 20) + " MB";
      return false;
    }
    total += got;
    piece.resize(got);
    pieces.push_back(std::move(piece));
    if (got < (size_t{1} << 20)) {
      break;
    }
  }
  if (std::ferror(stream)) {
    error = std::strerror(errno);
    return false;
  }
  bytes.reserve(total);
  for (std::vector<uint8_t>& piece : pieces) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    std::vector<uint8_t>().swap(piece);
  }
  return true;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  // Read straight into a buffer of the file's size; ReadRest takes whatever it grew by since.
  bytes.clear();
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.resize(static_cast<size_t>(info.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  }
  const bool read = !std::ferror(file) && ReadRest(file, SIZE_MAX, bytes, error);
  std::fclose(file);
  if (!read) {
    error = "cannot be read: " + error;
  }
  return read;
}

}  // namespace

bool TellInput(const std::string& path, Input& input, std::vector<uint8_t>& bytes,
               std::string& error) {
  input.path = path;
  if (path == kStandardStream) {
    // What its first bytes do not make a page or a spool file of is not read further.
    bytes.resize(4096);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), stdin));
    input.kind = page::KindOfInput(bytes);
    if (input.kind == page::InputKind::kOther) {
      return true;  // named as any such input is
    }
    if (!ReadRest(stdin, kMaxStandardInput, bytes, error)) {
      error = "standard input cannot be taken: " + error +
              (error.starts_with("more than") ? "; give the file by its name" : "");
      return false;
    }
    return true;
  }
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) {
    error = std::filesystem::exists(path, code) ? "not a file" : "no such file";
    return false;
  }
  struct stat seen {};
  if (stat(path.c_str(), &seen) == 0) {
    input.device = seen.st_dev;
    input.inode = seen.st_ino;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  bytes.resize(4096);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  input.kind = page::KindOfInput(bytes);
  return input.kind != page::InputKind::kEmfSpool || ReadFile(path, bytes, error);
}

bool TakeBytes(const Input& input, double dpi, std::string& error) {
  InputBytes& data = *input.data;
  const std::lock_guard lock(data.mutex);
  if (!data.read) {
    data.read = true;
    // Standard input's bytes are there already, kept from when it was told.
    if ((data.kept || ReadFile(input.path, data.bytes, data.failure)) &&
        page::KindOfInput(data.bytes) == page::InputKind::kWmf) {
      std::map<std::string, int> skipped;
      page::ConvertWindowsMetafile(data.bytes, dpi, skipped, data.failure);
    }
  }
  error = data.failure;
  return error.empty();
}

void GiveBackBytes(const Input& input) {
  InputBytes& data = *input.data;
  const std::lock_guard lock(data.mutex);
  if (data.tasks_left > 0 && --data.tasks_left == 0 && !data.kept) {
    std::vector<uint8_t>().swap(data.bytes);
  }
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& inputs, bool recursive,
                                       bool& unreadable) {
  std::vector<std::string> expanded;
  const auto cannot_read = [&](const std::filesystem::path& folder, const std::error_code& why) {
    std::fprintf(stderr, "quadrine-convert: %s: the folder cannot be read (%s)\n",
                 folder.string().c_str(), why.message().c_str());
    unreadable = true;
  };
  for (const std::string& input : inputs) {
    std::error_code code;
    if (input == kStandardStream || !std::filesystem::is_directory(input, code)) {
      expanded.push_back(input);
      continue;
    }
    std::vector<std::string> files;
    const auto take = [&](const std::filesystem::directory_entry& entry) {
      std::error_code ignored;
      if (entry.is_regular_file(ignored)) {
        files.push_back(entry.path().string());
      }
    };
    if (recursive) {
      // Each subfolder is opened before it is entered, so that one that cannot be is named
      // and passed by instead of ending the walk.
      std::filesystem::recursive_directory_iterator walk(input, code), end;
      for (; !code && walk != end; walk.increment(code)) {
        std::error_code ignored;
        if (walk->is_directory(ignored) && !walk->is_symlink(ignored)) {
          std::error_code opened;
          std::filesystem::directory_iterator probe(walk->path(), opened);
          if (opened) {
            cannot_read(walk->path(), opened);
            walk.disable_recursion_pending();
          }
          continue;
        }
        take(*walk);
      }
    } else {
      std::filesystem::directory_iterator list(input, code), end;
      for (; !code && list != end; list.increment(code)) {
        take(*list);
      }
    }
    if (code) {
      cannot_read(input, code);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::vector<unsigned char> head(64);
      in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
      head.resize(static_cast<size_t>(in.gcount()));
      if (page::KindOfInput(head) != page::InputKind::kOther) {
        expanded.push_back(file);
      } else {
        std::fprintf(stderr, "quadrine-convert: %s: left out, %s\n", file.c_str(),
                     page::WhyNotRead(head).c_str());
      }
    }
  }
  return expanded;
}
