// A file written byte by byte for the encoders of src/imaging's own; it remembers whether
// everything reached the disk.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace imaging {

class FileWriter {
 public:
  explicit FileWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;
  ~FileWriter() {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }
  bool Open() const { return file_ != nullptr; }
  void Bytes(const void* data, size_t size) {
    if (file_ != nullptr && size > 0 && std::fwrite(data, 1, size, file_) != size) {
      failed_ = true;
    }
  }
  // Bytes at a place of their own: for formats whose rows go in another order than given.
  void BytesAt(uint64_t offset, const void* data, size_t size) {
    if (file_ == nullptr || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      failed_ = true;
      return;
    }
    Bytes(data, size);
  }
  bool Good() const { return file_ != nullptr && !failed_; }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void U32BigEndian(uint32_t v) {
    U8(static_cast<uint8_t>(v >> 24));
    U8(static_cast<uint8_t>(v >> 16));
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
  }
  void Text(const std::string& text) { Bytes(text.data(), text.size()); }
  // Closes the file; true when every byte was written.
  bool Finish(std::string* error) {
    const bool closed = file_ != nullptr && std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed || failed_) {
      *error = "the file could not be written";
      return false;
    }
    return true;
  }

 private:
  std::FILE* file_;
  bool failed_ = false;
};

}  // namespace imaging
