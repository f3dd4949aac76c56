// One page of quadrine-convert: drawn by the engine and written by the encoders, or kept as
// a metafile, into a temporary file that is then put at its name.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "convert_options.h"
#include "emf/metafile.h"
#include "emf/vector_document.h"
#include "emf/vector_target.h"
#include "imaging/row_writer.h"

// Where a drawn page goes: a file of its own in the format code names, or the next page of a
// file of pages.
struct PageTarget {
  uint32_t code = 0;
  std::string path;
  imaging::PageFileWriter* pages = nullptr;
  int number = 0;  // of pages, from 1
  int count = 0;
  bool reduce_png = false;

  std::unique_ptr<imaging::RowWriter> Open(const imaging::RowLayout& layout,
                                           std::string* error) const;
};

// Draws the page at the options' size and depth into the target; "" when written, else why.
std::string DrawPage(const emf::Metafile& file, const ConvertOptions& options,
                     const PageTarget& target);

// Writes the page (its EMF bytes) in the format named by the extension into path, a file of
// our own; "" when written, else why. A PDF carries the document's title.
std::string WritePage(std::span<const uint8_t> page, const ConvertOptions& options,
                      const std::string& path, const std::string& title);

// The PDF's document information: the title, and this program as its creator.
emf::DocumentInfo PdfInfo(const std::string& title);

// The converter's blank-page test: drawn at half the screen's 96 dots per inch, nothing on
// the page stays black in black and white (a brightness of 128 or less).
bool PageIsBlank(std::span<const uint8_t> page);

// How a vector page's colours go: as they are, grey (--grey) or black and white (-d 1).
emf::ColourRule ColourRuleOf(const ConvertOptions& options);

// Whether the extension names a format quadrine-convert writes.
bool WritesFormat(const std::string& extension);
// The image library's code for an extension ("tif" and "tiff" alike); 0 for none.
uint32_t FormatCodeOf(const std::string& extension);

// Reads the process's file-creation mask once, before any thread starts.
void RememberFileMode();

// A new empty file beside path, to write into before the result is put in place; "" with
// why in error when none can be made.
std::string TemporaryBeside(const std::string& path, std::string& error);

// Puts the finished temporary file at path: never over an existing name unless replace is
// set, and then by renaming over it, so a link there is replaced, never written through.
// "" when done, else why (the temporary file is then removed).
std::string PlaceFile(const std::string& temporary, const std::string& path, bool replace);
