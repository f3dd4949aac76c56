// The common part of the streaming encoders over C libraries that write to a stdio file
// (libpng, libjpeg): the file, the rows counted against the height, and the first error kept
// until Finish says it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "imaging/row_writer.h"

namespace imaging {

class StdioRows : public RowWriter {
 public:
  ~StdioRows() override {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }

  bool Finish(std::string* error) final {
    if (error_.empty() && written_ != height_) {
      error_ = "the image's rows were not all given";
    }
    if (error_.empty()) {
      End();
    }
    Release();
    const bool closed = file_ == nullptr || std::fclose(file_) == 0;
    file_ = nullptr;
    if (error_.empty() && !closed) {
      error_ = "cannot finish " + path_;
    }
    *error = error_;
    return error_.empty();
  }

 protected:
  StdioRows(std::FILE* file, std::string path, int height, const char* library)
      : file_(file), path_(std::move(path)), height_(height), library_(library) {}

  // The library's end of the image, and its state let go (also after a failure).
  virtual void End() = 0;
  virtual void Release() = 0;

  bool Failed() {
    error_ = std::string(library_) + " could not write " + path_;
    return false;
  }
  bool Good() const { return error_.empty(); }

  std::FILE* file_;
  std::string path_;
  int height_;
  int written_ = 0;

 private:
  const char* library_;
  std::string error_;
};

// Creates the file and a writer of type Rows over it, started; null with a message when the
// file cannot be made or the library cannot start.
template <class Rows>
std::unique_ptr<RowWriter> OpenStdioRows(const RowLayout& layout, const std::string& path,
                                         std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return nullptr;
  }
  auto writer = std::make_unique<Rows>(file, path, layout);
  if (!writer->Start()) {
    writer->Finish(error);
    return nullptr;
  }
  return writer;
}

}  // namespace imaging
