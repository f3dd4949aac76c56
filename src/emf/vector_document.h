// PDF and SVG files of pages: each page's frame becomes the page size (in points), and the
// page is played onto cairo's PDF or SVG surface through the vector back end.
#pragma once

#include <cairo.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emf/metafile.h"
#include "emf/vector_target.h"

namespace emf {

enum class VectorFormat { kPdf, kSvg };

// What a PDF says of itself (its document information); empty fields are left out.
struct DocumentInfo {
  std::string title;    // the printed document's name
  std::string creator;  // the program that wrote it
};

class VectorDocument {
 public:
  // A document at path (made when the first page comes); an SVG holds one page.
  VectorDocument(std::string path, VectorFormat format, ColourRule rule, DocumentInfo info = {});
  ~VectorDocument();
  VectorDocument(const VectorDocument&) = delete;
  VectorDocument& operator=(const VectorDocument&) = delete;

  // Adds the page; "" when drawn, else why (a failure of the file is final).
  std::string AddPage(const Metafile& page);
  // Ends the file: "" when every page reached it, else why.
  std::string Finish();

 private:
  struct SvgFile;

  std::string path_;
  VectorFormat format_;
  ColourRule rule_;
  DocumentInfo info_;
  cairo_surface_t* surface_ = nullptr;
  int pages_ = 0;
  // An SVG's glyphs carry no text: the page's text is kept and written into the file as an
  // unseen layer when it ends.
  std::unique_ptr<SvgFile> svg_;
  std::vector<PlacedText> text_;
  double svg_scale_ = 1;  // points a device unit
};

// The page bytes as one PDF or SVG file at path; "" when written, else why.
std::string WriteVectorPage(std::span<const uint8_t> page, const std::string& path,
                            VectorFormat format, ColourRule rule, const DocumentInfo& info = {});

}  // namespace emf
