// A file written byte by byte for the encoders of src/imaging's own, through a buffer; it
// remembers whether everything reached the file.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/output_file.h"

namespace imaging {

class FileWriter {
 public:
  explicit FileWriter(OutputFile& file) : out_(file) {}

  void Bytes(const void* data, size_t size) { out_.Write(data, size); }
  // Bytes at a place of their own: for formats whose rows go in another order than given.
  void BytesAt(uint64_t offset, const void* data, size_t size) {
    out_.Seek(offset);
    out_.Write(data, size);
  }
  bool Good() const { return out_.Good(); }
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
  // Sends what is buffered; true when every byte was written.
  bool Finish(std::string* error) {
    if (!out_.Flush()) {
      *error = "the file could not be written";
      return false;
    }
    return true;
  }

 private:
  BufferedOutput out_;
};

}  // namespace imaging
