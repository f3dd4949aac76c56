// The path-based entries of the streaming encoders: the file made at the path, and the
// writer over it, which closes the file after its own Finish.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "imaging/output_file.h"
#include "imaging/row_writer.h"

namespace imaging {

class RowsWithFile final : public RowWriter {
 public:
  RowsWithFile(std::unique_ptr<PathOutput> file, std::unique_ptr<RowWriter> rows)
      : file_(std::move(file)), rows_(std::move(rows)) {}

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    return rows_ != nullptr && rows_->WriteRows(rows, stride, count);
  }

  bool Finish(std::string* error) override {
    if (rows_ == nullptr) {
      *error = file_->name() + " is finished already";
      return false;
    }
    bool finished = rows_->Finish(error);
    rows_.reset();  // before the file it writes into
    if (!file_->Close() && finished) {
      *error = "cannot finish " + file_->name();
      finished = false;
    }
    return finished;
  }

 private:
  std::unique_ptr<PathOutput> file_;  // declared first: destroyed after the writer
  std::unique_ptr<RowWriter> rows_;
};

// Makes the file at path and opens a writer over it with open(OutputFile&); null with a
// message when either cannot be done.
template <class Open>
std::unique_ptr<RowWriter> OpenRowsWithFile(const std::string& path, std::string* error,
                                            Open open) {
  std::unique_ptr<PathOutput> file = PathOutput::Create(path, error);
  if (file == nullptr) {
    return nullptr;
  }
  std::unique_ptr<RowWriter> rows = open(static_cast<OutputFile&>(*file));
  if (rows == nullptr) {
    return nullptr;
  }
  return std::make_unique<RowsWithFile>(std::move(file), std::move(rows));
}

}  // namespace imaging
