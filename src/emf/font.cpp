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
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace emf {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

struct FcPatternRelease {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using FontPattern = std::unique_ptr<FcPattern, FcPatternRelease>;

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

// The owner of every face of the process and the one lock of the font layer (font.h says
// what it guards). Made once and never destroyed: pages may still be drawn on other threads
// while the process exits, and its faces serve them until then.
struct FontLibrary {
  FontLibrary() {
    if (FT_Init_FreeType(&freetype) != 0) {
      freetype = nullptr;
    }
  }

  std::mutex mutex;
  std::condition_variable face_returned;  // a borrowed face is back among the idle ones
  FT_Library freetype = nullptr;          // null when FreeType cannot start
  // The faces fonts asked for, and the faces that draw characters a font's face lacks.
  std::map<std::tuple<std::string, int, bool, uint8_t>, Typeface> faces;
  std::map<std::tuple<uint32_t, bool, bool>, const Typeface*> fallback_by_code;
  std::map<std::pair<std::string, int>, Typeface> fallback_by_file;
  std::optional<std::string> default_family;  // what fontconfig offers for an unknown name
  // fontconfig's matches by family, bold and italic: each costs milliseconds, and unknown
  // names fall back on the same few families.
  std::map<std::tuple<std::string, bool, bool>, FontPattern> matches;
  // Notices, each said once a process.
  std::set<std::string> said;
  std::vector<std::string> pending;
};

FontLibrary& Library() {
  static FontLibrary* const library = new FontLibrary;
  return *library;
}

// Under the library's lock, as FreeType asks of face creation.
FT_Face OpenFreeTypeFace(FontLibrary& library, const std::string& file, int index) {
  FT_Face face = nullptr;
  if (library.freetype == nullptr ||
      FT_New_Face(library.freetype, file.c_str(), index, &face) != 0) {
    return nullptr;
  }
  return face;
}

// A face of the typeface that no other thread can use while the library's lock is held: it
// stays among the idle ones. Null when the typeface has no FreeType face.
FT_Face IdleFace(FontLibrary& library, const Typeface& typeface) {
  if (typeface.file.empty()) {
    return nullptr;
  }
  if (typeface.idle.empty()) {
    FT_Face face = OpenFreeTypeFace(library, typeface.file, typeface.index);
    if (face == nullptr) {
      return nullptr;
    }
    typeface.idle.push_back(face);
  }
  return typeface.idle.back();
}

uint32_t GlyphOfFace(FT_Face face, uint32_t code) {
  uint32_t index = FT_Get_Char_Index(face, code);
  // Symbol faces put their characters at U+F000 and up.
  if (index == 0 && face->charmap != nullptr && face->charmap->encoding == FT_ENCODING_MS_SYMBOL &&
      code < 0x100) {
    index = FT_Get_Char_Index(face, 0xF000 | code);
  }
  return index;
}

// Opens the face file fontconfig chose and reads the OS/2 metrics and the gasp table; the
// face becomes the typeface's first idle one. Under the library's lock.
void OpenFace(FontLibrary& library, const FcPattern* match, Typeface& typeface) {
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    return;
  }
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FT_Face face = OpenFreeTypeFace(library, reinterpret_cast<const char*>(file), index);
  if (face == nullptr) {
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
  typeface.file = reinterpret_cast<const char*>(file);
  typeface.index = index;
  typeface.idle.push_back(face);
}

FontPattern MatchFamily(const std::string& family, bool bold, bool italic) {
  const FontPattern pattern(FcPatternCreate());
  if (!family.empty()) {
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result;
  return FontPattern(FcFontMatch(nullptr, pattern.get(), &result));
}

// MatchFamily asked once a process for each family, bold and slant; the caller gets a copy
// of its own. Under the library's lock.
FontPattern MatchFamilyOnce(FontLibrary& library, const std::string& family, bool bold,
                            bool italic) {
  auto [known, fresh] = library.matches.try_emplace({family, bold, italic});
  if (fresh) {
    known->second = MatchFamily(family, bold, italic);
  }
  return known->second != nullptr ? FontPattern(FcPatternDuplicate(known->second.get())) : nullptr;
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

// The typeface of a fontconfig match. Under the library's lock.
Typeface MakeTypeface(FontLibrary& library, FontPattern match, bool bold, bool italic) {
  Typeface typeface;
  if (match != nullptr) {
    OpenFace(library, match.get(), typeface);
    // Rendering is the caller's choice (grey or none, hinting): the system's settings that
    // fontconfig put in the pattern would override the font options.
    for (const char* setting :
         {FC_ANTIALIAS, FC_HINTING, FC_HINT_STYLE, FC_AUTOHINT, FC_RGBA, FC_LCD_FILTER}) {
      FcPatternDel(match.get(), setting);
    }
    typeface.face = cairo_ft_font_face_create_for_pattern(match.get());
  }
  if (typeface.face == nullptr) {
    typeface.face = cairo_toy_font_face_create(
        "sans-serif", italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
        bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  typeface.owned_face.reset(typeface.face);
  return typeface;
}

// Under the library's lock.
void Notice(FontLibrary& library, const std::string& text) {
  if (library.said.insert(text).second) {
    library.pending.push_back(text);
  }
}

bool IsSymbolFace(const std::string& lower) {
  return lower.starts_with("wingdings") || lower == "webdings" || lower == "symbol" ||
         lower == "marlett" || lower == "ms outlook";
}

// A face that is not drawn with itself or its usual substitute is said once: a missing font
// never passes silently.
void NoticeSubstitution(FontLibrary& library, const std::string& face, const std::string& asked,
                        const std::string& matched) {
  if (face.empty() || Lower(asked) == matched) {
    return;
  }
  if (IsSymbolFace(Lower(face))) {
    Notice(library, "the symbol face '" + face +
                        "' is not installed; its characters are drawn as the letters of '" +
                        matched + "'");
  } else {
    Notice(library, "the face '" + face + "' is not installed; it is drawn with '" + matched + "'");
  }
}

}  // namespace

std::vector<std::string> TakeFontNotices() {
  FontLibrary& library = Library();
  std::lock_guard lock(library.mutex);
  return std::exchange(library.pending, {});
}

const Typeface& TypefaceFor(const Font& font) {
  FontLibrary& library = Library();
  const bool bold = font.weight >= 550;
  const auto key =
      std::make_tuple(Lower(font.face), bold ? 700 : 400, font.italic, font.pitch_and_family);
  std::lock_guard lock(library.mutex);
  auto found = library.faces.find(key);
  if (found != library.faces.end()) {
    return found->second;
  }
  const std::string family = SubstituteFamily(font.face);
  FontPattern match =
      family.empty() ? nullptr : MatchFamilyOnce(library, family, bold, font.italic);
  const std::string matched = Lower(FamilyOf(match.get()));
  // A name fontconfig does not know gets what it offers for no name at all; such a name
  // falls back on the hints. Matching costs milliseconds: no name is matched only when the
  // family found is not the one asked for.
  auto unknown = [&] {
    if (!library.default_family) {
      library.default_family = Lower(FamilyOf(MatchFamilyOnce(library, "", false, false).get()));
    }
    const std::string& fallback = *library.default_family;
    return matched == fallback && Lower(family) != fallback;
  };
  if (match == nullptr || (matched != Lower(family) && unknown())) {
    match = MatchFamilyOnce(library, FamilyForHints(font.pitch_and_family), bold, font.italic);
  }
  NoticeSubstitution(library, font.face, family, Lower(FamilyOf(match.get())));
  Typeface typeface = MakeTypeface(library, std::move(match), bold, font.italic);
  return library.faces.emplace(key, std::move(typeface)).first->second;
}

uint32_t Typeface::GlyphFor(uint32_t code) const {
  const Borrowed borrowed = Borrow();
  return borrowed ? GlyphOfFace(borrowed.get(), code) : 0;
}

Typeface::Borrowed Typeface::Borrow() const {
  if (file.empty()) {
    return {};
  }
  FontLibrary& library = Library();
  std::unique_lock lock(library.mutex);
  for (;;) {
    if (!idle.empty()) {
      FT_Face face = idle.back();
      idle.pop_back();
      return {this, face};
    }
    if (FT_Face face = OpenFreeTypeFace(library, file, index); face != nullptr) {
      return {this, face};
    }
    // No other face can be opened now (descriptors or memory): one lent out comes back soon.
    library.face_returned.wait(lock);
  }
}

Typeface::Borrowed::Borrowed(Borrowed&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), face_(std::exchange(other.face_, nullptr)) {}

Typeface::Borrowed::~Borrowed() {
  if (face_ != nullptr) {
    FontLibrary& library = Library();
    const std::lock_guard lock(library.mutex);
    owner_->idle.push_back(face_);
    library.face_returned.notify_all();
  }
}

const Typeface* FallbackTypefaceFor(const Font& font, uint32_t code) {
  FontLibrary& library = Library();
  const bool bold = font.weight >= 550;
  const auto key = std::make_tuple(code, bold, font.italic);
  std::lock_guard lock(library.mutex);
  auto found = library.fallback_by_code.find(key);
  if (found != library.fallback_by_code.end()) {
    return found->second;
  }
  const Typeface* chosen = nullptr;
  const FontPattern pattern(FcPatternCreate());
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, code);
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted);
  FcCharSetDestroy(wanted);  // the pattern holds its own copy
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result;
  const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> sorted(
      FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &result), &FcFontSetDestroy);
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
    auto known = library.fallback_by_file.find(file_key);
    if (known == library.fallback_by_file.end()) {
      FontPattern match(FcFontRenderPrepare(nullptr, pattern.get(), sorted->fonts[i]));
      known = library.fallback_by_file
                  .emplace(file_key, MakeTypeface(library, std::move(match), bold, font.italic))
                  .first;
    }
    FT_Face face = IdleFace(library, known->second);
    if (face != nullptr && GlyphOfFace(face, code) != 0) {
      chosen = &known->second;
    }
  }
  library.fallback_by_code.emplace(key, chosen);
  if (chosen == nullptr) {
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "U+%04X", code);
    Notice(library, std::string("no installed face has the character ") + code_text +
                        " (asked of '" + font.face + "')");
  }
  return chosen;
}

}  // namespace emf
