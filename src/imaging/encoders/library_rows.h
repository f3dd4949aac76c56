// The common part of the streaming encoders over C libraries (libpng, libjpeg): the buffered
// output their bytes go to, the rows counted against the height, and the first error kept
// until Finish says it.
#pragma once

#include <memory>
#include <string>

#include "imaging/output_file.h"
#include "imaging/row_writer.h"

namespace imaging {

class LibraryRows : public RowWriter {
 public:
  bool Finish(std::string* error) final {
    if (error_.empty() && written_ != height_) {
      error_ = "the image's rows were not all given";
    }
    if (error_.empty()) {
      End();
    }
    Release();
    if (!out_.Flush() && error_.empty()) {
      Failed();
    }
    *error = error_;
    return error_.empty();
  }

 protected:
  LibraryRows(OutputFile& file, int height, const char* library)
      : out_(file), height_(height), library_(library) {}

  // The library's end of the image, and its state let go (also after a failure).
  virtual void End() = 0;
  virtual void Release() = 0;

  bool Failed() {
    error_ = std::string(library_) + " could not write " + out_.name();
    return false;
  }
  // False once the library or a write failed; a failed write is said here, where the rows
  // that could not be written stop.
  bool Good() {
    if (error_.empty() && !out_.Good()) {
      Failed();
    }
    return error_.empty();
  }

  BufferedOutput out_;
  int height_;
  int written_ = 0;

 private:
  const char* library_;
  std::string error_;
};

// A writer of type Rows over the file, started; null with a message when the library cannot
// start.
template <class Rows>
std::unique_ptr<RowWriter> OpenLibraryRows(const RowLayout& layout, OutputFile& file,
                                           std::string* error) {
  auto writer = std::make_unique<Rows>(file, layout);
  if (!writer->Start()) {
    writer->Finish(error);
    return nullptr;
  }
  return writer;
}

}  // namespace imaging
