#include "font.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <cctype>
#include <map>
#include <mutex>
#include <tuple>

namespace emf {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

}  // namespace

std::string SubstituteFamily(const std::string& face) {
  static const std::map<std::string, std::string> kTable = {
      {"arial", "Liberation Sans"},
      {"helvetica", "Liberation Sans"},
      {"arial narrow", "Liberation Sans Narrow"},
      {"times new roman", "Liberation Serif"},
      {"times", "Liberation Serif"},
      {"courier new", "Liberation Mono"},
      {"courier", "Liberation Mono"},
      {"calibri", "Carlito"},
      {"cambria", "Caladea"},
      {"verdana", "DejaVu Sans"},
      {"tahoma", "DejaVu Sans"},
      {"segoe ui", "DejaVu Sans"},
      {"trebuchet ms", "DejaVu Sans"},
      {"georgia", "DejaVu Serif"},
      {"consolas", "DejaVu Sans Mono"},
      {"lucida console", "DejaVu Sans Mono"},
      // The dialog and system faces of Windows are sans-serif faces.
      {"ms sans serif", "Liberation Sans"},
      {"ms shell dlg", "Liberation Sans"},
      {"ms shell dlg 2", "Liberation Sans"},
      {"microsoft sans serif", "Liberation Sans"},
      {"system", "Liberation Sans"},
      {"ms serif", "Liberation Serif"},
  };
  auto found = kTable.find(Lower(face));
  return found != kTable.end() ? found->second : face;
}

cairo_font_face_t* FaceFor(const Font& font) {
  using Key = std::tuple<std::string, int, bool>;
  static std::mutex mutex;
  static std::map<Key, cairo_font_face_t*> faces;  // kept for the process's life
  const Key key{Lower(font.face), font.weight >= 550 ? 700 : 400, font.italic};
  std::lock_guard lock(mutex);
  auto found = faces.find(key);
  if (found != faces.end()) {
    return found->second;
  }
  std::string family = SubstituteFamily(font.face);
  if (family.empty()) {
    family = "Liberation Sans";
  }
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      std::get<1>(key) == 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  cairo_font_face_t* face = nullptr;
  if (match != nullptr) {
    // Rendering is the caller's choice (grey or none, hinting): the system's settings that
    // fontconfig put in the pattern would override the font options.
    for (const char* setting :
         {FC_ANTIALIAS, FC_HINTING, FC_HINT_STYLE, FC_AUTOHINT, FC_RGBA, FC_LCD_FILTER}) {
      FcPatternDel(match, setting);
    }
    face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
  }
  if (face == nullptr) {
    face = cairo_toy_font_face_create(
        "sans-serif", font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
        std::get<1>(key) == 700 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  faces.emplace(key, face);
  return face;
}

}  // namespace emf
