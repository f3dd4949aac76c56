// Where the encoders' bytes go: a file their caller opened, written at offsets, so that the
// caller decides how files are made (exclusively, through its own handles) and no encoder
// opens anything by name. The path-based entries of the encoders open a PathOutput and write
// through the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace imaging {

// Where an encoder's bytes go: a file its caller opened and will close. Positioned, so
// formats that go back (TIFF's directories, BMP sizes) can be written through it too. The
// encoders take it empty, write from offset 0, and must not outlive it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  // Reads back what was written (libtiff reads its own directories); got = bytes read.
  virtual bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) = 0;
  virtual const std::string& name() const = 0;  // for messages
};

// Over a stdio file the caller owns (tools on POSIX fdopen their own temporary files). Each
// write is flushed, so that a write that succeeded has reached the system; reading back needs
// a file open for reading too ("w+b").
std::unique_ptr<OutputFile> StdioOutput(std::FILE* file, std::string name);

// A file made (or emptied) at a path, owned: for the encoders' path-based entries.
class PathOutput final : public OutputFile {
 public:
  // Null with "cannot create PATH" when the file cannot be made.
  static std::unique_ptr<PathOutput> Create(const std::string& path, std::string* error);
  PathOutput(std::FILE* file, const std::string& path);  // owns file
  PathOutput(const PathOutput&) = delete;
  PathOutput& operator=(const PathOutput&) = delete;
  ~PathOutput() override;

  bool WriteAt(uint64_t offset, const void* data, size_t size) override;
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override;
  const std::string& name() const override { return output_->name(); }
  // Closes the file; false when closing failed (or it was closed already).
  bool Close();

 private:
  std::FILE* file_;
  std::unique_ptr<OutputFile> output_;
};

// The encoders' own buffer in front of an OutputFile, whose writes may each be a system call:
// writes at a position gather in memory and go out in large pieces, also when they come
// backwards (BMP's rows); the first failure sticks, and everything after it is dropped.
class BufferedOutput {
 public:
  explicit BufferedOutput(OutputFile& file, size_t capacity = size_t{64} << 10);
  BufferedOutput(const BufferedOutput&) = delete;
  BufferedOutput& operator=(const BufferedOutput&) = delete;

  // At the position, which then moves past the bytes.
  void Write(const void* data, size_t size);
  void Seek(uint64_t offset) { position_ = offset; }
  uint64_t position() const { return position_; }
  // One past the last byte written so far: the file's size, as the file was empty.
  uint64_t size() const { return size_; }
  // Reads back at offset, what is buffered included; got = bytes read (fewer at the end).
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got);
  // Sends what is gathered to the file; false once any write failed.
  bool Flush();
  bool Good() const { return !failed_; }
  const std::string& name() const { return file_.name(); }

 private:
  // Whether [at, at + size) joins what is gathered without leaving a gap.
  bool Joins(uint64_t at, size_t size) const;

  OutputFile& file_;
  std::vector<uint8_t> buffer_;
  uint64_t base_ = 0;  // the file offset of buffer_[0]
  size_t low_ = 0;     // buffer_[low_, high_) is gathered, not yet written
  size_t high_ = 0;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  bool failed_ = false;
};

// The file's bytes shifted: offset 0 of this is shift of the file under it. For a file in a
// file (ICO's PNG picture behind its directory). Tells how far the bytes went.
class ShiftedOutput final : public OutputFile {
 public:
  ShiftedOutput(OutputFile& file, uint64_t shift) : file_(file), shift_(shift) {}
  bool WriteAt(uint64_t offset, const void* data, size_t size) override;
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
    return file_.ReadAt(offset + shift_, data, size, got);
  }
  const std::string& name() const override { return file_.name(); }
  uint64_t size() const { return size_; }

 private:
  OutputFile& file_;
  uint64_t shift_;
  uint64_t size_ = 0;
};

}  // namespace imaging
