#include "emf/vector_document.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cmath>

#include "emf/player.h"

namespace emf {
namespace {

// Device units of the played page: the raster page's 96 to the inch, so that cosmetic lines
// and GDI's rounding come out as on a page drawn at the screen's density.
constexpr double kDeviceUnitsPerInch = 96;
constexpr double kPointsPerInch = 72;

struct PageSize {
  int device_width = 0;
  int device_height = 0;
  double points_width = 0;
  double points_height = 0;
};

bool SizeOfPage(const Metafile& page, PageSize& size, std::string& error) {
  const RectL& frame = page.header().frame;
  const double width_in = (static_cast<double>(frame.right) - frame.left) / 2540.0;
  const double height_in = (static_cast<double>(frame.bottom) - frame.top) / 2540.0;
  const double w = width_in * kDeviceUnitsPerInch + 0.5;
  const double h = height_in * kDeviceUnitsPerInch + 0.5;
  // PDF readers take pages up to 200 inches a side; larger frames are no page.
  if (!(w >= 1 && h >= 1 && width_in <= 200 && height_in <= 200)) {
    error = "a frame of " + std::to_string(width_in) + " x " + std::to_string(height_in) +
            " inches is no page a PDF or SVG holds";
    return false;
  }
  size.device_width = static_cast<int>(w);
  size.device_height = static_cast<int>(h);
  // The page is the frame in whole pixels of the 96-dpi page, so that a reader showing it at
  // the screen's density gets the raster page's size exactly.
  size.points_width = size.device_width * kPointsPerInch / kDeviceUnitsPerInch;
  size.points_height = size.device_height * kPointsPerInch / kDeviceUnitsPerInch;
  return true;
}

}  // namespace

VectorDocument::VectorDocument(std::string path, VectorFormat format, ColourRule rule)
    : path_(std::move(path)), format_(format), rule_(rule) {}

VectorDocument::~VectorDocument() {
  if (surface_ != nullptr) {
    cairo_surface_destroy(surface_);
  }
}

std::string VectorDocument::AddPage(const Metafile& page) {
  PageSize size;
  std::string error;
  if (!SizeOfPage(page, size, error)) {
    return error;
  }
  if (format_ == VectorFormat::kSvg && pages_ > 0) {
    return "an SVG file holds one page";
  }
  if (surface_ == nullptr) {
    surface_ = format_ == VectorFormat::kPdf
                   ? cairo_pdf_surface_create(path_.c_str(), size.points_width, size.points_height)
                   : cairo_svg_surface_create(path_.c_str(), size.points_width, size.points_height);
    if (format_ == VectorFormat::kSvg) {
      cairo_svg_surface_set_document_unit(surface_, CAIRO_SVG_UNIT_PT);
    }
  } else if (format_ == VectorFormat::kPdf) {
    cairo_pdf_surface_set_size(surface_, size.points_width, size.points_height);
  }
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
    return std::string("cannot write ") + path_ + ": " +
           cairo_status_to_string(cairo_surface_status(surface_));
  }
  cairo_t* cr = cairo_create(surface_);
  // Nothing outside the frame shows, as on the raster page.
  cairo_rectangle(cr, 0, 0, size.points_width, size.points_height);
  cairo_clip(cr);
  cairo_scale(cr, size.points_width / size.device_width, size.points_height / size.device_height);
  VectorTarget target(cr, size.device_width, size.device_height, rule_);
  PlayMetafile(page, target, RectL{0, 0, size.device_width, size.device_height});
  error = target.Failure();
  cairo_destroy(cr);
  cairo_surface_show_page(surface_);
  ++pages_;
  return error;
}

std::string VectorDocument::Finish() {
  if (surface_ == nullptr) {
    return "a document with no page";
  }
  cairo_surface_finish(surface_);
  const cairo_status_t status = cairo_surface_status(surface_);
  return status == CAIRO_STATUS_SUCCESS
             ? std::string()
             : std::string("cannot write ") + path_ + ": " + cairo_status_to_string(status);
}

std::string WriteVectorPage(std::span<const uint8_t> page, const std::string& path,
                            VectorFormat format, ColourRule rule) {
  std::string error;
  const std::optional<Metafile> file = Metafile::Parse(page, &error);
  if (!file) {
    return error;
  }
  VectorDocument document(path, format, rule);
  error = document.AddPage(*file);
  const std::string finished = document.Finish();
  return error.empty() ? finished : error;
}

}  // namespace emf
