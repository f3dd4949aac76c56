#include "emf/font.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>

#include <cstdio>
#include <set>
#include <utility>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cctype>
#include <cmath>
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

bool Typeface::SmoothAt(double ppem) const {
  constexpr uint16_t kGaspDoGray = 2;
  const auto size = static_cast<uint32_t>(std::lround(std::max(ppem, 0.0)));
  for (const auto& [highest, flags] : gasp) {
    if (size <= highest) {
      return (flags & kGaspDoGray) != 0;
    }
  }
  return true;
}

namespace {

// Opens the face file fontconfig chose, kept for the run, and reads the OS/2 metrics and the
// gasp table.
void OpenFace(const FcPattern* match, Typeface& typeface) {
  static FT_Library library = [] {
    FT_Library created = nullptr;
    return FT_Init_FreeType(&created) == 0 ? created : nullptr;
  }();
  FcChar8* file = nullptr;
  int index = 0;
  if (library == nullptr || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    return;
  }
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FT_Face face = nullptr;
  if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face) != 0) {
    return;
  }
  const double em = face->units_per_EM;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && em > 0) {
    typeface.ascent = os2->usWinAscent / em;
    typeface.descent = os2->usWinDescent / em;
    typeface.average_width = os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth / em : 0;
    if (os2->yStrikeoutSize > 0) {
      typeface.strikeout_position = os2->yStrikeoutPosition / em;
      typeface.strikeout_size = os2->yStrikeoutSize / em;
    }
  }
  // The post table's own figures: FreeType moves the position to the stem's middle.
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
  if (post != nullptr && em > 0 && post->underlineThickness > 0) {
    typeface.underline_position = post->underlinePosition / em;
    typeface.underline_size = post->underlineThickness / em;
  }
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(face, TTAG_gasp, 0, nullptr, &length) == 0 && length >= 4 &&
      length <= 4096) {
    std::vector<FT_Byte> table(length);
    if (FT_Load_Sfnt_Table(face, TTAG_gasp, 0, table.data(), &length) == 0) {
      auto be16 = [&](size_t at) { return static_cast<uint16_t>(table[at] << 8 | table[at + 1]); };
      const size_t ranges = be16(2);
      for (size_t i = 0; i < ranges && 4 + 4 * i + 4 <= table.size(); ++i) {
        typeface.gasp.emplace_back(be16(4 + 4 * i), be16(6 + 4 * i));
      }
    }
  }
  typeface.ft_face = face;
}

FcPattern* MatchFamily(const std::string& family, bool bold, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (!family.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  return match;
}

std::string FamilyOf(const FcPattern* match) {
  FcChar8* family = nullptr;
  if (match == nullptr || FcPatternGetString(match, FC_FAMILY, 0, &family) != FcResultMatch) {
    return {};
  }
  return reinterpret_cast<const char*>(family);
}

// The face GDI's mapper falls back on when it knows no face by the name: one of the
// family the font asks for (FF_ROMAN serif, FF_MODERN or a fixed pitch monospaced).
std::string FamilyForHints(uint8_t pitch_and_family) {
  constexpr uint8_t kFixedPitch = 1, kRoman = 0x10, kModern = 0x30;
  const uint8_t family = pitch_and_family & 0xF0;
  if (family == kModern || (pitch_and_family & 3) == kFixedPitch) {
    return "Liberation Mono";
  }
  return family == kRoman ? "Liberation Serif" : "Liberation Sans";
}

}  // namespace

// The typeface of a fontconfig match, which it takes over.
Typeface MakeTypeface(FcPattern* match, bool bold, bool italic) {
  Typeface typeface;
  if (match != nullptr) {
    OpenFace(match, typeface);
    // Rendering is the caller's choice (grey or none, hinting): the system's settings that
    // fontconfig put in the pattern would override the font options.
    for (const char* setting :
         {FC_ANTIALIAS, FC_HINTING, FC_HINT_STYLE, FC_AUTOHINT, FC_RGBA, FC_LCD_FILTER}) {
      FcPatternDel(match, setting);
    }
    typeface.face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
  }
  if (typeface.face == nullptr) {
    typeface.face = cairo_toy_font_face_create(
        "sans-serif", italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
        bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  return typeface;
}

namespace {

// Notices about faces, each said once per process.
struct Notices {
  std::mutex mutex;
  std::set<std::string> said;
  std::vector<std::string> pending;
};

Notices& FontNotices() {
  static Notices notices;
  return notices;
}

void Notice(const std::string& text) {
  Notices& notices = FontNotices();
  std::lock_guard lock(notices.mutex);
  if (notices.said.insert(text).second) {
    notices.pending.push_back(text);
  }
}

bool IsSymbolFace(const std::string& lower) {
  return lower.starts_with("wingdings") || lower == "webdings" || lower == "symbol" ||
         lower == "marlett" || lower == "ms outlook";
}

// A face that is not drawn with itself or its usual substitute is said once: a missing font
// never passes silently.
void NoticeSubstitution(const std::string& face, const std::string& asked,
                        const std::string& matched) {
  if (face.empty() || Lower(asked) == matched) {
    return;
  }
  if (IsSymbolFace(Lower(face))) {
    Notice("the symbol face '" + face + "' is not installed; its characters are drawn as the " +
           "letters of '" + matched + "'");
  } else {
    Notice("the face '" + face + "' is not installed; it is drawn with '" + matched + "'");
  }
}

}  // namespace

std::vector<std::string> TakeFontNotices() {
  Notices& notices = FontNotices();
  std::lock_guard lock(notices.mutex);
  return std::exchange(notices.pending, {});
}

const Typeface& TypefaceFor(const Font& font) {
  using Key = std::tuple<std::string, int, bool, uint8_t>;
  static std::mutex mutex;
  static std::map<Key, Typeface> faces;  // kept for the process's life
  const bool bold = font.weight >= 550;
  const Key key{Lower(font.face), bold ? 700 : 400, font.italic, font.pitch_and_family};
  std::lock_guard lock(mutex);
  auto found = faces.find(key);
  if (found != faces.end()) {
    return found->second;
  }
  // What fontconfig offers for a name it does not know; such a name falls back on the hints.
  static const std::string fallback = [] {
    FcPattern* match = MatchFamily("", false, false);
    std::string family = Lower(FamilyOf(match));
    if (match != nullptr) {
      FcPatternDestroy(match);
    }
    return family;
  }();
  const std::string family = SubstituteFamily(font.face);
  FcPattern* match = family.empty() ? nullptr : MatchFamily(family, bold, font.italic);
  const std::string matched = Lower(FamilyOf(match));
  if (match == nullptr || (matched == fallback && Lower(family) != fallback)) {
    if (match != nullptr) {
      FcPatternDestroy(match);
    }
    match = MatchFamily(FamilyForHints(font.pitch_and_family), bold, font.italic);
  }
  NoticeSubstitution(font.face, family, Lower(FamilyOf(match)));
  Typeface typeface = MakeTypeface(match, bold, font.italic);
  return faces.emplace(key, std::move(typeface)).first->second;
}

uint32_t Typeface::GlyphFor(uint32_t code) const {
  if (ft_face == nullptr) {
    return 0;
  }
  uint32_t index = FT_Get_Char_Index(ft_face, code);
  // Symbol faces put their characters at U+F000 and up.
  if (index == 0 && ft_face->charmap != nullptr &&
      ft_face->charmap->encoding == FT_ENCODING_MS_SYMBOL && code < 0x100) {
    index = FT_Get_Char_Index(ft_face, 0xF000 | code);
  }
  return index;
}

const Typeface* FallbackTypefaceFor(const Font& font, uint32_t code) {
  using Key = std::tuple<uint32_t, bool, bool>;
  static std::mutex mutex;
  static std::map<Key, const Typeface*> by_code;
  static std::map<std::pair<std::string, int>, Typeface> by_file;  // kept for the run
  const bool bold = font.weight >= 550;
  const Key key{code, bold, font.italic};
  std::lock_guard lock(mutex);
  auto found = by_code.find(key);
  if (found != by_code.end()) {
    return found->second;
  }
  const Typeface* chosen = nullptr;
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, code);
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcFontSet* sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  for (int i = 0; sorted != nullptr && i < sorted->nfont && chosen == nullptr; ++i) {
    FcCharSet* covered = nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &covered) != FcResultMatch ||
        !FcCharSetHasChar(covered, code) ||
        FcPatternGetString(sorted->fonts[i], FC_FILE, 0, &file) != FcResultMatch) {
      continue;
    }
    FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &index);
    const std::pair<std::string, int> file_key{reinterpret_cast<const char*>(file), index};
    auto known = by_file.find(file_key);
    if (known == by_file.end()) {
      FcPattern* match = FcFontRenderPrepare(nullptr, pattern, sorted->fonts[i]);
      known = by_file.emplace(file_key, MakeTypeface(match, bold, font.italic)).first;
    }
    if (known->second.GlyphFor(code) != 0) {
      chosen = &known->second;
    }
  }
  if (sorted != nullptr) {
    FcFontSetDestroy(sorted);
  }
  FcCharSetDestroy(wanted);
  FcPatternDestroy(pattern);
  by_code.emplace(key, chosen);
  if (chosen == nullptr) {
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "U+%04X", code);
    Notice(std::string("no installed face has the character ") + code_text + " (asked of '" +
           font.face + "')");
  }
  return chosen;
}

}  // namespace emf
