// Fonts of the text records: the LOGFONTW of EMR_EXTCREATEFONTINDIRECTW, and the faces that
// draw them, chosen through fontconfig with the usual Windows faces substituted first.
#pragma once

#include <cairo.h>

struct FT_FaceRec_;

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
  uint8_t quality = 0;  // lfQuality: 3 never smoothed, 4 always, others by the face's gasp table
  uint8_t pitch_and_family = 0;
  std::string face;  // UTF-8
};

// A face chosen for a font, with the metrics GDI sizes and places text by, read once.
struct Typeface {
  cairo_font_face_t* face = nullptr;  // never null (fontconfig always offers something)
  FT_FaceRec_* ft_face = nullptr;     // the same face for GDI's own glyph bitmaps; may be null
  // In ems, from the OS/2 table as GDI reads them; 0 when the face does not say.
  double ascent = 0;         // usWinAscent
  double descent = 0;        // usWinDescent
  double average_width = 0;  // xAvgCharWidth
  // Underline and strike-out: position above the baseline (negative below) and thickness.
  double underline_position = -0.1;
  double underline_size = 0.05;
  double strikeout_position = 0.26;
  double strikeout_size = 0.05;
  std::vector<std::pair<uint16_t, uint16_t>> gasp;  // (highest ppem, flags), ascending

  // Whether GDI's standard smoothing draws this face in grey at a size: the face's gasp
  // table may ask for plain pixels at the sizes its hinting was made for.
  bool SmoothAt(double ppem) const;
  // The glyph that draws a Unicode character, 0 when the face has none.
  uint32_t GlyphFor(uint32_t code) const;
};

// The face that draws a font, shared by every record and page of the process.
const Typeface& TypefaceFor(const Font& font);

// An installed face that has a character the font's own face lacks, in the font's weight
// and slant when there is one; null when no face has it.
const Typeface* FallbackTypefaceFor(const Font& font, uint32_t code);

// What the face choices since the last call have to say, each notice once per process: a
// face that is not installed and is drawn with another, a symbol face drawn with letters, a
// character no installed face has. For the log or standard error of whoever plays pages.
std::vector<std::string> TakeFontNotices();

// The family a Windows face name is drawn with ("Arial" -> "Liberation Sans").
std::string SubstituteFamily(const std::string& face);

}  // namespace emf
