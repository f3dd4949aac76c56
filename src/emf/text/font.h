// Fonts of the text records: the LOGFONTW of EMR_EXTCREATEFONTINDIRECTW, and the faces that
// draw them, chosen through fontconfig with the usual Windows faces substituted first.
#pragma once

#include <cairo.h>

struct FT_FaceRec_;

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emf/text/cairo_owners.h"

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

// Threads: the fonts of the process have one owner, the font library (font.cpp), and one
// lock, the library's. That lock, and only it, guards FreeType's library (every FT_New_Face
// and FT_Done_Face), the faces chosen so far, each typeface's idle FreeType faces and the
// notices; it is held for those and never while a glyph is loaded or rendered. A FreeType
// face is used by one thread at a time: a thread borrows one from its typeface
// (Typeface::Borrow), uses it with no lock held and gives it back when the borrow ends; a
// typeface opens another face of its file when all of its own are lent, so one face's glyphs
// render on several threads at once. A typeface's fields are set before it is handed out and
// only read afterwards. cairo's font faces keep FreeType faces of their own, behind cairo's
// own locks. Nothing else calls FreeType on our faces.

// A face chosen for a font, with the metrics GDI sizes and places text by, read once. Made
// and kept by the font library for the process's life.
// FreeType takes sizes up to 65,535 pixels an em; asked for more, it refuses, and cairo then
// loses the scaled font and leaves the face in error for every later size.
inline constexpr double kLargestEm = 65535;

struct Typeface {
  cairo_font_face_t* face = nullptr;  // never null (fontconfig always offers something)
  // In ems, from the OS/2 table as GDI reads them; 0 when the face does not say.
  double ascent = 0;         // usWinAscent
  double descent = 0;        // usWinDescent
  double average_width = 0;  // xAvgCharWidth
  // How far any glyph's ink reaches from its origin, in ems (the face's bounding box).
  double reach = 4;
  // Underline and strike-out: position above the baseline (negative below) and thickness.
  double underline_position = -0.1;
  double underline_size = 0.05;
  double strikeout_position = 0.26;
  double strikeout_size = 0.05;
  std::vector<std::pair<uint16_t, uint16_t>> gasp;  // (highest ppem, flags), ascending
  // What choosing it had to say (a face not installed), said again to whoever asks next.
  std::string notice;
  // Bold or italic asked of a face that has none of its own: GDI makes them, emboldening
  // or slanting the glyphs (and widening each advance by a pixel for bold).
  bool simulated_bold = false;
  bool simulated_italic = false;
  // A face of half- and full-width glyphs (MS Gothic's substitute): GDI advances a full-width
  // glyph by twice the half width at the size, which its hinting rounds on its own.
  bool dual_width = false;

  // Whether GDI's standard smoothing draws this face in grey at a size: the face's gasp
  // table may ask for plain pixels at the sizes its hinting was made for.
  bool SmoothAt(double ppem) const;
  // The glyph that draws a Unicode character, 0 when the face has none.
  uint32_t GlyphFor(uint32_t code) const;
  // Whether FreeType opened the face: GDI's own glyph bitmaps are made from it.
  bool HasFreeTypeFace() const { return !file.empty(); }

  // A FreeType face of the typeface, the borrower's alone until the borrow ends; null only
  // when the typeface has none. A thread holds one borrowed face of a typeface at a time.
  class Borrowed {
   public:
    Borrowed() = default;
    Borrowed(const Typeface* owner, FT_FaceRec_* face) : owner_(owner), face_(face) {}
    Borrowed(Borrowed&& other) noexcept;
    Borrowed& operator=(Borrowed&&) = delete;
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    ~Borrowed();
    FT_FaceRec_* get() const { return face_; }
    explicit operator bool() const { return face_ != nullptr; }

   private:
    const Typeface* owner_ = nullptr;
    FT_FaceRec_* face_ = nullptr;
  };
  Borrowed Borrow() const;

  // The font library's: where more FreeType faces of it are opened (empty when FreeType
  // could not open it), and those of its faces no one has borrowed (under the library's
  // lock). Faces are kept for the process's life, as the typeface.
  std::string file;
  int index = 0;
  mutable std::vector<FT_FaceRec_*> idle;
  // The typeface's reference on face.
  std::unique_ptr<cairo_font_face_t, CairoDestroy<cairo_font_face_t, cairo_font_face_destroy>>
      owned_face;
};

// The face that draws a font, shared by every record, page and thread of the process.
const Typeface& TypefaceFor(const Font& font);

// An installed face that has a character the font's own face lacks, in the font's weight
// and slant when there is one; null when no face has it.
const Typeface* FallbackTypefaceFor(const Font& font, uint32_t code);

// What the face choices since the last call have to say, each notice once per process: a
// face that is not installed and is drawn with another, a symbol face drawn with letters, a
// character no installed face has. For the log or standard error of whoever plays pages.
std::vector<std::string> TakeFontNotices();

// A face as Windows documents name it (UTF-8) and the installed face drawn in its place.
struct FaceSubstitute {
  std::string_view windows;
  std::string_view drawn_with;
};
// Every substitute, the faces asked for first; tests/corpus/reference-faces.txt gives the
// reference renderer the same pairs.
std::span<const FaceSubstitute> FaceSubstitutes();

// The family a Windows face name is drawn with ("Arial" -> "Liberation Sans"), without
// regard to the case of Latin letters; the name itself when the table has none.
std::string SubstituteFamily(const std::string& face);

// The character that a code of a symbol face (Symbol, Wingdings) draws, for its substitute
// that holds it by its Unicode value: Symbol's 'a' is alpha. Other faces' codes, and codes
// the face gives no character, come back as they are.
uint32_t SymbolCharacter(const std::string& face, uint32_t code);
// Whether the face is a symbol face drawn with a symbol face of ours: a character its
// substitute lacks is drawn as that face's empty box, as GDI draws a character its face
// lacks, never as another face's letter.
bool SymbolSubstitute(const std::string& face);

// While it lives, the notices of fonts asked for on this thread name where they come from
// ("page.emf page 3: the face ..."): pages are drawn on several threads at once.
class FontNoticeSource {
 public:
  explicit FontNoticeSource(std::string source);
  ~FontNoticeSource();
  FontNoticeSource(const FontNoticeSource&) = delete;
  FontNoticeSource& operator=(const FontNoticeSource&) = delete;

 private:
  std::string previous_;
};

// While it lives, fonts asked for on this thread say nothing: a reader that only measures
// text leaves the notices to whoever draws the page, who names where they come from.
class FontNoticesMuted {
 public:
  FontNoticesMuted();
  ~FontNoticesMuted();
  FontNoticesMuted(const FontNoticesMuted&) = delete;
  FontNoticesMuted& operator=(const FontNoticesMuted&) = delete;

 private:
  bool previous_;
};

}  // namespace emf
