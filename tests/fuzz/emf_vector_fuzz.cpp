// Fuzz target for the vector back end: any bytes as an EMF page, played onto a PDF surface
// (written nowhere) in the grey colour rule, which every paint path goes through.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdint>
#include <span>

#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/vector/vector_target.h"

namespace {

cairo_status_t Discard(void* /*closure*/, const unsigned char* /*data*/, unsigned int /*length*/) {
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = emf::Metafile::Parse(std::span<const uint8_t>(data, size), nullptr);
  if (!file) {
    return 0;
  }
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(&Discard, nullptr, 72, 72);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, 0.75, 0.75);
  {
    emf::VectorTarget target(cr, 96, 96, emf::ColourRule::kGrey);
    emf::PlayMetafile(*file, target, emf::RectL{0, 0, 96, 96});
    (void)target.Failure();
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return 0;
}
