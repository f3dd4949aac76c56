// One page of quadrine-convert: drawn by the engine and written by the encoders, or kept as
// a metafile, into a temporary file that is then put at its name.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "convert_options.h"
#include "emf/records/metafile.h"
#include "emf/vector/vector_document.h"
#include "emf/vector/vector_target.h"
#include "imaging/output_file.h"
#include "imaging/row_writer.h"
#include "page/page.h"

// How far the page being drawn has got: its rows handed to the encoder, band by band, of its
// rows (0 until its size is known). Read by another thread to show a slow page's progress.
struct PageProgress {
  std::atomic<int> rows_done{0};
  std::atomic<int> rows{0};
  std::atomic<int> page{0};  // its number in its input
  void Start(int height) {
    rows_done.store(0, std::memory_order_relaxed);
    rows.store(height, std::memory_order_relaxed);
  }
  void Advance(int count) { rows_done.fetch_add(count, std::memory_order_relaxed); }
};

// Where a drawn page goes: a file of its own in the format code names, or the next page of a
// file of pages.
struct PageTarget {
  uint32_t code = 0;
  imaging::OutputFile* file = nullptr;  // the file of its own
  imaging::PageFileWriter* pages = nullptr;
  int number = 0;  // of pages, from 1
  int count = 0;
  bool reduce_png = false;
  PageProgress* progress = nullptr;  // told of each band, when someone watches

  std::unique_ptr<imaging::RowWriter> Open(const imaging::RowLayout& layout,
                                           std::string* error) const;
};

// Draws the page at the options' size and depth into the target; "" when written, else why.
std::string DrawPage(const page::Page& page, const ConvertOptions& options,
                     const PageTarget& target);

// A new file of ours, open for writing: every format goes into its handle, the encoders'
// through a DescriptorOutput; it is never reopened by name.
struct OpenTemporary {
  std::string path;
  int fd = -1;
  OpenTemporary() = default;
  OpenTemporary(const OpenTemporary&) = delete;
  OpenTemporary& operator=(const OpenTemporary&) = delete;
  ~OpenTemporary();
  // Closes the handle; false when what was written did not reach the file.
  bool Close();
};

// The encoders' output over a file descriptor the caller keeps open: written and read back
// at offsets (pwrite, pread), so the descriptor's own position is left alone.
class DescriptorOutput final : public imaging::OutputFile {
 public:
  DescriptorOutput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  bool WriteAt(uint64_t offset, const void* data, size_t size) override;
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override;
  const std::string& name() const override { return name_; }

 private:
  int fd_;
  std::string name_;
};

// Writes the page in the format named by the extension into the temporary file; "" when
// written, else why. A PDF carries the document's title.
std::string WritePage(const page::Page& page, const ConvertOptions& options,
                      const OpenTemporary& temporary, const std::string& title,
                      PageProgress* progress = nullptr);

// Where a PDF or SVG goes: the file's handle.
emf::ByteSink SinkInto(int fd);

// The PDF's document information: the title, and this program as its creator.
emf::DocumentInfo PdfInfo(const std::string& title);

// The bytes of the page's rows as the TIFF writer takes them (three a pixel in colour, one
// otherwise) at the options' size and depth; 0 for a page that cannot be drawn.
uint64_t PageRowBytes(const emf::Header& header, const ConvertOptions& options);

// How a vector page's colours go: as they are, grey (--grey) or black and white (-d 1).
emf::ColourRule ColourRuleOf(const ConvertOptions& options);

// Whether the extension names a format quadrine-convert writes.
bool WritesFormat(const std::string& extension);
// The image library's code for an extension ("tif" and "tiff" alike); 0 for none.
uint32_t FormatCodeOf(const std::string& extension);

// Reads the process's file-creation mask once, before any thread starts.
void RememberFileMode();

// A new empty file beside path, created exclusively (mode 0600) and left open, to write into
// before the result is put in place; false with why in error when none can be made.
bool TemporaryBeside(const std::string& path, OpenTemporary& temporary, std::string& error);

// Puts the finished temporary file at path with the mode any new file gets (0666 less the
// umask): never over an existing name unless replace is set, and then by renaming over it,
// so a link there is replaced, never written through.
// "" when done, else why (the temporary file is then removed).
std::string PlaceFile(const std::string& temporary, const std::string& path, bool replace);
