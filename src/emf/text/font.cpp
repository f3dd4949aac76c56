#include "emf/text/font.h"

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

namespace {

// Faces as Windows documents name them, in English and in their own script, and the
// installed faces drawn in their place: metric-compatible ones where a free face is
// (Liberation, Carlito, Caladea, Standard Symbols PS), else a face of the same script and
// style. The reference renderer is given the same pairs (tests/corpus/reference-faces.txt).
constexpr FaceSubstitute kSubstitutes[] = {
    // Latin, Greek and Cyrillic: the core faces carry all three, as do their substitutes;
    // the charset names ("Arial CYR") are Windows' own aliases of the same faces.
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Calibri", "Carlito"},
    {"Cambria", "Caladea"},
    {"Verdana", "DejaVu Sans"},
    {"Tahoma", "DejaVu Sans"},
    {"Segoe UI", "DejaVu Sans"},
    {"Trebuchet MS", "DejaVu Sans"},
    {"Georgia", "DejaVu Serif"},
    {"Consolas", "DejaVu Sans Mono"},
    {"Lucida Console", "DejaVu Sans Mono"},
    {"Arial CYR", "Liberation Sans"},
    {"Arial Greek", "Liberation Sans"},
    {"Arial CE", "Liberation Sans"},
    {"Arial Baltic", "Liberation Sans"},
    {"Arial TUR", "Liberation Sans"},
    {"Times New Roman CYR", "Liberation Serif"},
    {"Times New Roman Greek", "Liberation Serif"},
    {"Times New Roman CE", "Liberation Serif"},
    {"Times New Roman Baltic", "Liberation Serif"},
    {"Times New Roman TUR", "Liberation Serif"},
    {"Courier New CYR", "Liberation Mono"},
    {"Courier New Greek", "Liberation Mono"},
    {"Courier New CE", "Liberation Mono"},
    {"Courier New Baltic", "Liberation Mono"},
    {"Courier New TUR", "Liberation Mono"},
    // The dialog and system faces of Windows are sans-serif faces.
    {"MS Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"System", "Liberation Sans"},
    {"MS Serif", "Liberation Serif"},
    // Japanese: IPA's faces have the widths of MS Gothic and MS Mincho (full-width kana and
    // kanji, half-width Latin), their P faces those of the proportional ones.
    {"MS Gothic", "IPAGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"MS UI Gothic", "IPAPGothic"},
    {"MS Mincho", "IPAMincho"},
    {"MS PMincho", "IPAPMincho"},
    {"Meiryo", "IPAPGothic"},
    {"Meiryo UI", "IPAPGothic"},
    {"Yu Gothic", "IPAPGothic"},
    {"Yu Gothic UI", "IPAPGothic"},
    {"Yu Mincho", "IPAPMincho"},
    {"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", "IPAGothic"},         // MS Gothic
    {"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", "IPAPGothic"},  // MS PGothic
    {"\uFF2D\uFF33 \u660E\u671D", "IPAMincho"},                     // MS Mincho
    {"\uFF2D\uFF33 \uFF30\u660E\u671D", "IPAPMincho"},              // MS PMincho
    {"\u30E1\u30A4\u30EA\u30AA", "IPAPGothic"},                     // Meiryo
    {"\u6E38\u30B4\u30B7\u30C3\u30AF", "IPAPGothic"},               // Yu Gothic
    {"\u6E38\u660E\u671D", "IPAPMincho"},                           // Yu Mincho
    // Chinese: no free Song (Ming) face here; WenQuanYi Zen Hei's Mono face keeps the
    // half-width Latin of SimSun, NSimSun, SimHei and MingLiU.
    {"SimSun", "WenQuanYi Zen Hei Mono"},
    {"NSimSun", "WenQuanYi Zen Hei Mono"},
    {"SimHei", "WenQuanYi Zen Hei Mono"},
    {"MingLiU", "WenQuanYi Zen Hei Mono"},
    {"Microsoft YaHei", "WenQuanYi Zen Hei"},
    {"PMingLiU", "WenQuanYi Zen Hei"},
    {"Microsoft JhengHei", "WenQuanYi Zen Hei"},
    {"\u5B8B\u4F53", "WenQuanYi Zen Hei Mono"},               // SimSun
    {"\u65B0\u5B8B\u4F53", "WenQuanYi Zen Hei Mono"},         // NSimSun
    {"\u9ED1\u4F53", "WenQuanYi Zen Hei Mono"},               // SimHei
    {"\u7D30\u660E\u9AD4", "WenQuanYi Zen Hei Mono"},         // MingLiU
    {"\u5FAE\u8F6F\u96C5\u9ED1", "WenQuanYi Zen Hei"},        // Microsoft YaHei
    {"\u65B0\u7D30\u660E\u9AD4", "WenQuanYi Zen Hei"},        // PMingLiU
    {"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4", "WenQuanYi Zen Hei"},  // Microsoft JhengHei
    // Korean: Nanum's Gothic for the gothic (dotum) faces, Myeongjo for the batang ones,
    // GothicCoding for the fixed-pitch "Che" faces.
    {"Malgun Gothic", "NanumGothic"},
    {"Gulim", "NanumGothic"},
    {"Dotum", "NanumGothic"},
    {"GulimChe", "NanumGothicCoding"},
    {"DotumChe", "NanumGothicCoding"},
    {"Batang", "NanumMyeongjo"},
    {"BatangChe", "NanumMyeongjo"},
    {"Gungsuh", "NanumMyeongjo"},
    {"\uB9D1\uC740 \uACE0\uB515", "NanumGothic"},  // Malgun Gothic
    {"\uAD74\uB9BC", "NanumGothic"},               // Gulim
    {"\uB3CB\uC6C0", "NanumGothic"},               // Dotum
    {"\uAD74\uB9BC\uCCB4", "NanumGothicCoding"},   // GulimChe
    {"\uB3CB\uC6C0\uCCB4", "NanumGothicCoding"},   // DotumChe
    {"\uBC14\uD0D5", "NanumMyeongjo"},             // Batang
    {"\uBC14\uD0D5\uCCB4", "NanumMyeongjo"},       // BatangChe
    {"\uAD81\uC11C", "NanumMyeongjo"},             // Gungsuh
    // Symbol faces: their codes are recoded to the characters they draw (SymbolCharacter).
    {"Symbol", "Standard Symbols PS"},
    {"Wingdings", "OpenSymbol"},
    {"Wingdings 2", "OpenSymbol"},
    {"Wingdings 3", "OpenSymbol"},
    {"Webdings", "OpenSymbol"},
};

// Lower case for ASCII letters; other bytes (UTF-8 of other scripts) as they are.
std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

}  // namespace

std::span<const FaceSubstitute> FaceSubstitutes() {
  return kSubstitutes;
}

std::string SubstituteFamily(const std::string& face) {
  static const std::map<std::string, std::string> kTable = [] {
    std::map<std::string, std::string> table;
    for (const FaceSubstitute& pair : kSubstitutes) {
      table.emplace(LowerAscii(pair.windows), std::string(pair.drawn_with));
    }
    return table;
  }();
  auto found = kTable.find(LowerAscii(face));
  return found != kTable.end() ? found->second : face;
}

namespace {

// Symbol's codes 0x20 to 0xFE as the characters they draw (Adobe's Symbol encoding); 0 where
// the code has none.
constexpr char16_t kSymbolCharacters[] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B,  // 0x20
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,  // 0x28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 0x30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 0x38
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,  // 0x40
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,  // 0x48
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,  // 0x50
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,  // 0x58
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,  // 0x60
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,  // 0x68
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,  // 0x70
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0,       // 0x78
    0,      0,      0,      0,      0,      0,      0,      0,       // 0x80
    0,      0,      0,      0,      0,      0,      0,      0,       // 0x88
    0,      0,      0,      0,      0,      0,      0,      0,       // 0x90
    0,      0,      0,      0,      0,      0,      0,      0,       // 0x98
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,  // 0xA0
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,  // 0xA8
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,  // 0xB0
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,  // 0xB8
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,  // 0xC0
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,  // 0xC8
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,  // 0xD0
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,  // 0xD8
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,  // 0xE0
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,  // 0xE8
    0,      0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,  // 0xF0
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD,          // 0xF8
};
static_assert(std::size(kSymbolCharacters) == 0xFE - 0x20 + 1);

// The Wingdings codes documents use most: bullets, boxes, checks and arrows.
constexpr std::pair<uint8_t, char16_t> kWingdingsCharacters[] = {
    {0x4A, 0x263A}, {0x4C, 0x2639}, {0x6C, 0x25CF}, {0x6E, 0x25A0}, {0x6F, 0x25A1}, {0x71, 0x2751},
    {0x75, 0x25C6}, {0x76, 0x2756}, {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xD8, 0x27A2}, {0xE8, 0x2794},
    {0xF0, 0x21E8}, {0xFB, 0x2718}, {0xFC, 0x2714}, {0xFD, 0x2612}, {0xFE, 0x2611},
};

}  // namespace

bool SymbolSubstitute(const std::string& face) {
  const std::string lower = LowerAscii(face);
  return lower == "symbol" || lower.starts_with("wingdings") || lower == "webdings";
}

uint32_t SymbolCharacter(const std::string& face, uint32_t code) {
  // Symbol fonts are also reached through the private use area (U+F020 to U+F0FF), as
  // word processors write them.
  const uint32_t byte = code >= 0xF020 && code <= 0xF0FF ? code - 0xF000 : code;
  if (byte < 0x20 || byte > 0xFE) {
    return code;
  }
  const std::string lower = LowerAscii(face);
  if (lower == "symbol") {
    const char16_t c = kSymbolCharacters[byte - 0x20];
    return c != 0 ? c : code;
  }
  if (lower == "wingdings") {
    for (const auto& [from, to] : kWingdingsCharacters) {
      if (from == byte) {
        return to;
      }
    }
  }
  return code;
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
  std::map<std::tuple<std::string, int, bool, uint8_t, const char*>, Typeface> faces;
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
  if (em > 0 && FT_IS_SCALABLE(face)) {
    const FT_BBox& box = face->bbox;
    typeface.reach = std::max({std::abs(box.xMin), std::abs(box.xMax), std::abs(box.yMin),
                               std::abs(box.yMax), FT_Pos{1}}) /
                     em;
  }
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

// The East Asian charsets, each with the face Windows draws it with when the face asked for
// has none of its characters, and a character every face of the charset has.
struct EastAsianCharset {
  uint8_t charset;
  const char* face;
  uint32_t probe;
};

const EastAsianCharset* EastAsianCharsetOf(uint8_t charset) {
  static constexpr EastAsianCharset kCharsets[] = {
      {128, "MS Gothic", 0x3042},  // SHIFTJIS: hiragana a
      {129, "Gulim", 0xAC00},      // HANGUL: ga
      {130, "Gulim", 0xAC00},      // JOHAB
      {134, "SimSun", 0x4E2D},     // GB2312: zhong
      {136, "MingLiU", 0x4E2D},    // CHINESEBIG5
  };
  for (const EastAsianCharset& known : kCharsets) {
    if (known.charset == charset) {
      return &known;
    }
  }
  return nullptr;
}

bool Covers(const FcPattern* match, uint32_t code) {
  FcCharSet* covered = nullptr;
  return match != nullptr && FcPatternGetCharSet(match, FC_CHARSET, 0, &covered) == FcResultMatch &&
         FcCharSetHasChar(covered, code);
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
    // fontconfig marks the faces it has to embolden or slant for what was asked.
    FcBool embolden = FcFalse;
    typeface.simulated_bold =
        bold && FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &embolden) == FcResultMatch &&
        embolden == FcTrue;
    FcMatrix* shear = nullptr;
    typeface.simulated_italic =
        italic && FcPatternGetMatrix(match.get(), FC_MATRIX, 0, &shear) == FcResultMatch &&
        shear != nullptr && shear->xy != 0;
    int spacing = FC_PROPORTIONAL;
    typeface.dual_width =
        FcPatternGetInteger(match.get(), FC_SPACING, 0, &spacing) == FcResultMatch &&
        (spacing == FC_DUAL || spacing == FC_MONO);
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

// Where the fonts asked for on this thread come from (FontNoticeSource); empty: not said.
thread_local std::string notice_source;
thread_local bool notices_muted = false;

// Under the library's lock, on the thread that asked for the font; nothing when there is
// nothing to say.
void Notice(FontLibrary& library, const std::string& text) {
  if (!text.empty() && !notices_muted && library.said.insert(text).second) {
    library.pending.push_back(notice_source.empty() ? text : notice_source + ": " + text);
  }
}

bool IsSymbolFace(const std::string& lower) {
  return lower.starts_with("wingdings") || lower == "webdings" || lower == "symbol" ||
         lower == "marlett" || lower == "ms outlook";
}

// A face that is not drawn with itself or its usual substitute is said once: a missing font
// never passes silently. Empty when there is nothing to say.
std::string SubstitutionNotice(const std::string& face, const std::string& asked,
                               const std::string& matched) {
  if (face.empty()) {
    return {};
  }
  if (Lower(asked) == matched) {
    // Symbol's codes are all recoded; the other symbol faces' substitute has few of theirs.
    if (SymbolSubstitute(face) && Lower(face) != "symbol") {
      return "the symbol face '" + face + "' is not installed; it is drawn with '" + asked +
             (Lower(face) == "wingdings"
                  ? "': its bullets, boxes and checks as they look, its other "
                    "characters as empty boxes"
                  : "': its characters as empty boxes");
    }
    return {};
  }
  if (IsSymbolFace(Lower(face))) {
    return "the symbol face '" + face + "' is not installed; its characters are drawn as the " +
           "letters of '" + matched + "'";
  }
  return "the face '" + face + "' is not installed; it is drawn with '" + matched + "'";
}

std::string MissingCharacterNotice(const Font& font, uint32_t code) {
  char code_text[16];
  std::snprintf(code_text, sizeof code_text, "U+%04X", code);
  return std::string("no installed face has the character ") + code_text + " (asked of '" +
         font.face + "')";
}

}  // namespace

FontNoticeSource::FontNoticeSource(std::string source)
    : previous_(std::exchange(notice_source, std::move(source))) {}

FontNoticeSource::~FontNoticeSource() {
  notice_source = std::move(previous_);
}

FontNoticesMuted::FontNoticesMuted() : previous_(std::exchange(notices_muted, true)) {}

FontNoticesMuted::~FontNoticesMuted() {
  notices_muted = previous_;
}

std::vector<std::string> TakeFontNotices() {
  FontLibrary& library = Library();
  std::lock_guard lock(library.mutex);
  return std::exchange(library.pending, {});
}

const Typeface& TypefaceFor(const Font& font) {
  FontLibrary& library = Library();
  const bool bold = font.weight >= 550;
  const EastAsianCharset* east_asian = EastAsianCharsetOf(font.charset);
  const auto key = std::make_tuple(Lower(font.face), bold ? 700 : 400, font.italic,
                                   font.pitch_and_family, east_asian ? east_asian->face : nullptr);
  std::lock_guard lock(library.mutex);
  auto found = library.faces.find(key);
  if (found != library.faces.end()) {
    // Said by the first who asks with notices heard: a reader that only measured may have
    // made the typeface.
    Notice(library, found->second.notice);
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
  std::string notice = SubstitutionNotice(font.face, family, Lower(FamilyOf(match.get())));
  if (east_asian != nullptr && !Covers(match.get(), east_asian->probe)) {
    // GDI's font mapper weighs the charset above the name: a face without the charset's
    // characters gives way to the face Windows keeps for it.
    if (FontPattern other =
            MatchFamilyOnce(library, SubstituteFamily(east_asian->face), bold, font.italic);
        other != nullptr && Covers(other.get(), east_asian->probe)) {
      match = std::move(other);
    }
  }
  Notice(library, notice);
  Typeface typeface = MakeTypeface(library, std::move(match), bold, font.italic);
  typeface.notice = std::move(notice);
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
    if (found->second == nullptr) {
      Notice(library, MissingCharacterNotice(font, code));
    }
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
    FcChar8* file = nullptr;
    int index = 0;
    if (!Covers(sorted->fonts[i], code) ||
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
    Notice(library, MissingCharacterNotice(font, code));
  }
  return chosen;
}

}  // namespace emf
