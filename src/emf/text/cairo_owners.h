// Owners of cairo's reference-counted objects, so that every way out of a function lets go of
// what it made (a leak of ours is then a test failure, not noise among cairo's caches).
#pragma once

#include <cairo.h>

#include <memory>

namespace emf {

template <class T, void (*Destroy)(T*)>
struct CairoDestroy {
  void operator()(T* object) const { Destroy(object); }
};

using Context = std::unique_ptr<cairo_t, CairoDestroy<cairo_t, cairo_destroy>>;
using Surface =
    std::unique_ptr<cairo_surface_t, CairoDestroy<cairo_surface_t, cairo_surface_destroy>>;
using Pattern =
    std::unique_ptr<cairo_pattern_t, CairoDestroy<cairo_pattern_t, cairo_pattern_destroy>>;
using FontOptions = std::unique_ptr<cairo_font_options_t,
                                    CairoDestroy<cairo_font_options_t, cairo_font_options_destroy>>;

}  // namespace emf
