#include "emf/vector/vector_document.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cmath>
#include <cstdio>

#include "base/text_util.h"
#include "emf/player/player.h"

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

// A number of an SVG attribute: two decimals, no trailing zeros.
void AppendNumber(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string number = text;
  while (number.find('.') != std::string::npos && (number.back() == '0' || number.back() == '.')) {
    const bool point = number.back() == '.';
    number.pop_back();
    if (point) {
      break;
    }
  }
  out += number == "-0" ? "0" : number;
}

void AppendEscaped(std::string& out, char32_t c) {
  switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    default:
      AppendUtf8(out, c);
  }
}

// The page's text as SVG text elements in points (the page's viewBox), each character at its
// glyph's place and unseen (fill-opacity 0), so that a browser finds and selects the words
// over the drawn glyphs.
std::string SvgTextLayer(const std::vector<PlacedText>& runs, double scale) {
  std::string layer = "<g fill=\"black\" fill-opacity=\"0\" font-family=\"sans-serif\">\n";
  for (const PlacedText& run : runs) {
    std::string xs;
    std::string ys;
    std::string text;
    bool one_baseline = true;
    for (size_t i = 0; i < run.characters.size(); ++i) {
      AppendNumber(xs += i == 0 ? "" : " ", run.origins[i].x * scale);
      AppendNumber(ys += i == 0 ? "" : " ", run.origins[i].y * scale);
      AppendEscaped(text, run.characters[i]);
      one_baseline = one_baseline && run.origins[i].y == run.origins[0].y;
    }
    if (one_baseline) {  // a level run needs its baseline once
      ys.clear();
      AppendNumber(ys, run.origins[0].y * scale);
    }
    layer += "<text xml:space=\"preserve\" font-size=\"";
    AppendNumber(layer, run.em * scale);
    layer += "\" x=\"" + xs + "\" y=\"" + ys + "\"";
    if (std::abs(run.angle) >= 0.01) {
      layer += " rotate=\"";
      AppendNumber(layer, run.angle);
      layer += "\"";
    }
    layer += ">" + text + "</text>\n";
  }
  return layer + "</g>\n";
}

}  // namespace

// What cairo writes goes to the sink. An SVG's end is held back, so that the text layer can
// go in before the closing tag.
struct VectorDocument::Stream {
  static constexpr size_t kHeld = 64;

  ByteSink sink;
  bool hold_end = false;
  std::string held;
  bool failed = false;  // a write was refused: the file is no document

  bool Put(const char* data, size_t size) {
    if (!failed && size > 0 && !sink(std::span(reinterpret_cast<const uint8_t*>(data), size))) {
      failed = true;
    }
    return !failed;
  }

  static cairo_status_t Write(void* closure, const unsigned char* data, unsigned int length) {
    auto* stream = static_cast<Stream*>(closure);
    if (!stream->hold_end) {
      stream->Put(reinterpret_cast<const char*>(data), length);
    } else {
      stream->held.append(reinterpret_cast<const char*>(data), length);
      if (stream->held.size() > 2 * kHeld) {
        const size_t out = stream->held.size() - kHeld;
        stream->Put(stream->held.data(), out);
        stream->held.erase(0, out);
      }
    }
    return stream->failed ? CAIRO_STATUS_WRITE_ERROR : CAIRO_STATUS_SUCCESS;
  }

  // Writes what is held with the layer before the closing tag.
  bool End(const std::string& layer) {
    const size_t closing = held.rfind("</svg>");
    if (closing != std::string::npos) {
      held.insert(closing, layer);
    }
    Put(held.data(), held.size());
    held.clear();
    return !failed;
  }
};

VectorDocument::VectorDocument(ByteSink sink, VectorFormat format, ColourRule rule,
                               DocumentInfo info)
    : format_(format), rule_(rule), info_(std::move(info)), stream_(std::make_unique<Stream>()) {
  stream_->sink = std::move(sink);
  stream_->hold_end = format == VectorFormat::kSvg;
}

VectorDocument::~VectorDocument() = default;

std::string VectorDocument::CheckPage(const Metafile& page,
                                      const CommentDrawingMaker& comments) const {
  PageSize size;
  std::string error;
  if (!SizeOfPage(page, size, error)) {
    return error;
  }
  // Played where nothing is kept: only what the drawing itself says counts.
  const Surface scratch(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr));
  const Context cr(cairo_create(scratch.get()));
  VectorTarget target(cr.get(), size.device_width, size.device_height, rule_);
  PlayMetafile(page, target, RectL{0, 0, size.device_width, size.device_height}, comments);
  return target.Failure();
}

std::string VectorDocument::AddPage(const Metafile& page, const CommentDrawingMaker& comments) {
  PageSize size;
  std::string error;
  if (!SizeOfPage(page, size, error)) {
    return error;
  }
  if (format_ == VectorFormat::kSvg && pages_ > 0) {
    return "an SVG file holds one page";
  }
  if (!surface_) {
    if (format_ == VectorFormat::kPdf) {
      surface_.reset(cairo_pdf_surface_create_for_stream(&Stream::Write, stream_.get(),
                                                         size.points_width, size.points_height));
      // cairo refuses metadata that is not valid UTF-8 by failing the whole document.
      if (!info_.title.empty()) {
        cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_TITLE,
                                       CarriedText(info_.title).c_str());
      }
      if (!info_.creator.empty()) {
        cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_CREATOR,
                                       CarriedText(info_.creator).c_str());
      }
    } else {
      surface_.reset(cairo_svg_surface_create_for_stream(&Stream::Write, stream_.get(),
                                                         size.points_width, size.points_height));
      cairo_svg_surface_set_document_unit(surface_.get(), CAIRO_SVG_UNIT_PT);
      svg_scale_ = size.points_width / size.device_width;
    }
  } else if (format_ == VectorFormat::kPdf) {
    cairo_pdf_surface_set_size(surface_.get(), size.points_width, size.points_height);
  }
  if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) {
    return std::string("the file could not be written: ") +
           cairo_status_to_string(cairo_surface_status(surface_.get()));
  }
  {
    const Context cr(cairo_create(surface_.get()));
    // Nothing outside the frame shows, as on the raster page.
    cairo_rectangle(cr.get(), 0, 0, size.points_width, size.points_height);
    cairo_clip(cr.get());
    cairo_scale(cr.get(), size.points_width / size.device_width,
                size.points_height / size.device_height);
    VectorTarget target(cr.get(), size.device_width, size.device_height, rule_);
    if (format_ == VectorFormat::kSvg) {
      target.KeepText(&text_);
    }
    PlayMetafile(page, target, RectL{0, 0, size.device_width, size.device_height}, comments);
    error = target.Failure();
  }
  cairo_surface_show_page(surface_.get());
  ++pages_;
  if (error.empty() && cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) {
    error = std::string("the file could not be written: ") +
            cairo_status_to_string(cairo_surface_status(surface_.get()));
  }
  return error;
}

std::string VectorDocument::Finish() {
  if (!surface_) {
    return "a document with no page";
  }
  cairo_surface_finish(surface_.get());
  const cairo_status_t status = cairo_surface_status(surface_.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    return std::string("the file could not be written: ") + cairo_status_to_string(status);
  }
  if (format_ == VectorFormat::kSvg && !stream_->End(SvgTextLayer(text_, svg_scale_))) {
    return "the file could not be written";
  }
  return {};
}

std::string WriteVectorPage(std::span<const uint8_t> page, const ByteSink& sink,
                            VectorFormat format, ColourRule rule, const DocumentInfo& info) {
  std::string error;
  const std::optional<Metafile> file = Metafile::Parse(page, &error);
  if (!file) {
    return error;
  }
  VectorDocument document(sink, format, rule, info);
  error = document.AddPage(*file);
  const std::string finished = document.Finish();
  return error.empty() ? finished : error;
}

}  // namespace emf
