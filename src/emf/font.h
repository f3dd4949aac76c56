// Fonts of the text records: the LOGFONTW of EMR_EXTCREATEFONTINDIRECTW, and the faces that
// draw them, chosen through fontconfig with the usual Windows faces substituted first.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace emf {

struct Font {
  int32_t height = 0;  // negative: em height; positive: cell height; logical units
  int32_t width = 0;
  int32_t escapement = 0;  // tenths of a degree, counter-clockwise
  int32_t orientation = 0;
  int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  uint8_t charset = 0;
  uint8_t pitch_and_family = 0;
  std::string face;  // UTF-8
};

// The face that draws a font, shared by every record and page of the process; never null
// (fontconfig always offers something).
cairo_font_face_t* FaceFor(const Font& font);

// The family a Windows face name is drawn with ("Arial" -> "Liberation Sans").
std::string SubstituteFamily(const std::string& face);

}  // namespace emf
