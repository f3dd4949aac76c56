#include "imaging/output_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace imaging {
namespace {

constexpr uint64_t kUnknown = ~uint64_t{0};

class StdioFile final : public OutputFile {
 public:
  StdioFile(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    // The stream stands after the last write, which was flushed: writes that follow each
    // other need no seek.
    if (offset != position_ && fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      position_ = kUnknown;
      return false;
    }
    position_ = kUnknown;
    if (std::fwrite(data, 1, size, file_) != size || std::fflush(file_) != 0) {
      return false;
    }
    position_ = offset + size;
    return true;
  }

  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
    *got = 0;
    position_ = kUnknown;  // a write after a read must seek first
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      return false;
    }
    *got = std::fread(data, 1, size, file_);
    return std::ferror(file_) == 0;
  }

  const std::string& name() const override { return name_; }

 private:
  std::FILE* file_;
  std::string name_;
  uint64_t position_ = kUnknown;
};

}  // namespace

std::unique_ptr<OutputFile> StdioOutput(std::FILE* file, std::string name) {
  return std::make_unique<StdioFile>(file, std::move(name));
}

std::unique_ptr<PathOutput> PathOutput::Create(const std::string& path, std::string* error) {
  // Open for reading too: libtiff reads back what it wrote.
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return nullptr;
  }
  return std::make_unique<PathOutput>(file, path);
}

PathOutput::PathOutput(std::FILE* file, const std::string& path)
    : file_(file), output_(StdioOutput(file, path)) {}

PathOutput::~PathOutput() {
  Close();
}

bool PathOutput::WriteAt(uint64_t offset, const void* data, size_t size) {
  return file_ != nullptr && output_->WriteAt(offset, data, size);
}

bool PathOutput::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  return file_ != nullptr && output_->ReadAt(offset, data, size, got);
}

bool PathOutput::Close() {
  const bool closed = file_ != nullptr && std::fclose(file_) == 0;
  file_ = nullptr;
  return closed;
}

BufferedOutput::BufferedOutput(OutputFile& file, size_t capacity)
    : file_(file), buffer_(capacity) {}

bool BufferedOutput::Joins(uint64_t at, size_t size) const {
  return high_ > low_ && at >= base_ && at + size <= base_ + buffer_.size() &&
         at <= base_ + high_ && at + size >= base_ + low_;
}

void BufferedOutput::Write(const void* data, size_t size) {
  const uint64_t at = position_;
  position_ += size;
  size_ = std::max(size_, position_);
  if (failed_ || size == 0) {
    return;
  }
  if (!Joins(at, size)) {
    const bool backwards = high_ > low_ && at + size <= base_ + low_;
    if (!Flush()) {
      return;
    }
    if (size >= buffer_.size()) {
      failed_ = !file_.WriteAt(at, data, size);
      return;
    }
    // Writes that come backwards are placed at the buffer's end, so that the ones before
    // them still fit.
    const uint64_t end = at + size;
    base_ = !backwards ? at : end > buffer_.size() ? end - buffer_.size() : 0;
    low_ = high_ = static_cast<size_t>(at - base_);
  }
  const auto offset = static_cast<size_t>(at - base_);
  std::memcpy(buffer_.data() + offset, data, size);
  low_ = std::min(low_, offset);
  high_ = std::max(high_, offset + size);
}

bool BufferedOutput::Flush() {
  if (!failed_ && high_ > low_) {
    failed_ = !file_.WriteAt(base_ + low_, buffer_.data() + low_, high_ - low_);
  }
  low_ = high_ = 0;
  return !failed_;
}

bool BufferedOutput::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  *got = 0;
  return Flush() && file_.ReadAt(offset, data, size, got);
}

bool ShiftedOutput::WriteAt(uint64_t offset, const void* data, size_t size) {
  size_ = std::max(size_, offset + size);
  return file_.WriteAt(offset + shift_, data, size);
}

}  // namespace imaging
