// PDF and SVG files of pages: each page's frame becomes the page size (in points), and the
// page is played onto cairo's PDF or SVG surface through the vector back end.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/text/cairo_owners.h"
#include "emf/vector/vector_target.h"

namespace emf {

enum class VectorFormat { kPdf, kSvg };

// Where a document's bytes go, in order: into a file the caller created exclusively (the
// engine opens no file by name, so it never follows a link planted there). False when they
// could not be kept: the document then fails.
using ByteSink = std::function<bool(std::span<const uint8_t>)>;

// What a PDF says of itself (its document information); empty fields are left out. Text a
// PDF cannot carry becomes U+FFFD.
struct DocumentInfo {
  std::string title;    // the printed document's name
  std::string creator;  // the program that wrote it
};

class VectorDocument {
 public:
  // A document written into sink as its pages come; an SVG holds one page.
  VectorDocument(ByteSink sink, VectorFormat format, ColourRule rule, DocumentInfo info = {});
  ~VectorDocument();
  VectorDocument(const VectorDocument&) = delete;
  VectorDocument& operator=(const VectorDocument&) = delete;

  // Adds the page; "" when drawn, else why (a failure of the file is final).
  std::string AddPage(const Metafile& page, const CommentDrawingMaker& comments = {});
  // Ends the file: "" when every page reached it, else why.
  std::string Finish();
  // Pages in the file so far, a page whose drawing failed part way included.
  int pages() const { return pages_; }
  // Why the page would be drawn only part way (or not at all), without adding it: "" when it
  // draws whole. A document that must hold only whole pages asks before it adds one.
  std::string CheckPage(const Metafile& page, const CommentDrawingMaker& comments = {}) const;

 private:
  struct Stream;

  VectorFormat format_;
  ColourRule rule_;
  DocumentInfo info_;
  std::unique_ptr<Stream> stream_;  // outlives the surface, which writes into it
  Surface surface_;
  int pages_ = 0;
  // An SVG's glyphs carry no text: the page's text is kept and written into the file as an
  // unseen layer when it ends.
  std::vector<PlacedText> text_;
  double svg_scale_ = 1;  // points a device unit
};

// The page bytes as one PDF or SVG file into sink; "" when written, else why.
std::string WriteVectorPage(std::span<const uint8_t> page, const ByteSink& sink,
                            VectorFormat format, ColourRule rule, const DocumentInfo& info = {});

}  // namespace emf
