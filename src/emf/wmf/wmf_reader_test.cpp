#include "emf/wmf/wmf_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/byte_reader.h"
#include "emf/records/metafile.h"
#include "emf/records/records.h"
#include "support/spool_builder.h"

namespace emf {
namespace {

// A Windows metafile made record by record; each record's words follow its function.
class WmfBuilder {
 public:
  WmfBuilder& Add(uint16_t function, std::initializer_list<int> words) {
    return AddBytes(function, Words(words));
  }
  WmfBuilder& AddBytes(uint16_t function, std::vector<uint8_t> params) {
    if (params.size() % 2 != 0) {
      params.push_back(0);
    }
    Put32(records_, static_cast<uint32_t>(3 + params.size() / 2));
    Put16(records_, function);
    records_.insert(records_.end(), params.begin(), params.end());
    return *this;
  }
  // The file; without the end record when cut, with the placeable header when box is given.
  std::vector<uint8_t> Build(bool end = true, const std::vector<int>& box = {}) const {
    std::vector<uint8_t> body = records_;
    if (end) {
      Put32(body, 3);
      Put16(body, 0);
    }
    std::vector<uint8_t> out;
    if (!box.empty()) {
      Put32(out, kWmfPlaceableKey);
      Put16(out, 0);
      for (int v : box) {
        Put16(out, static_cast<uint16_t>(v));
      }
      Put32(out, 0);
      Put16(out, 0);
    }
    for (int v : {1, 9, 0x300}) {
      Put16(out, static_cast<uint16_t>(v));
    }
    Put32(out, static_cast<uint32_t>((18 + body.size()) / 2));
    Put16(out, 8);
    Put32(out, 100);
    Put16(out, 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }
  static std::vector<uint8_t> Words(std::initializer_list<int> words) {
    std::vector<uint8_t> out;
    for (int w : words) {
      Put16(out, static_cast<uint16_t>(w));
    }
    return out;
  }
  static void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  static void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
  }

 private:
  std::vector<uint8_t> records_;
};

constexpr uint16_t kSetMapMode = 0x0103, kSetWindowExt = 0x020C, kPolygon = 0x0324,
                   kRectangle = 0x041B, kCreateBrush = 0x02FC, kCreatePen = 0x02FA,
                   kSelectObject = 0x012D, kDeleteObject = 0x01F0, kCreatePalette = 0x00F7,
                   kSelectPalette = 0x0234, kCreateRegion = 0x06FF, kFillRegion = 0x0228,
                   kEscape = 0x0626, kStretchDib = 0x0F43;

// MM_ANISOTROPIC over a window of 1000 x 1000.
WmfBuilder Page() {
  WmfBuilder b;
  b.Add(kSetMapMode, {8}).Add(kSetWindowExt, {1000, 1000});
  return b;
}

WmfConversion Convert(const std::vector<uint8_t>& wmf, double dpi = 96) {
  std::string error;
  auto converted = ConvertWmf(wmf, dpi, &error);
  EXPECT_TRUE(converted) << error;
  return converted ? std::move(*converted) : WmfConversion{};
}

// The page's size at dpi, as the tools size a page from its frame.
std::pair<int, int> PageSize(const Metafile& page, double dpi) {
  const RectL& f = page.header().frame;
  return {static_cast<int>((f.right - f.left) / 2540.0 * dpi + 0.5),
          static_cast<int>((f.bottom - f.top) / 2540.0 * dpi + 0.5)};
}

// The page drawn at 96 dpi, one 0xRRGGBB value a pixel.
struct Drawn {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF; }
};

Drawn Draw(const std::vector<uint8_t>& wmf) {
  const WmfConversion converted = Convert(wmf);
  const auto page = Metafile::Parse(converted.emf, nullptr);
  EXPECT_TRUE(page);
  Drawn d;
  if (!page) {
    return d;
  }
  std::tie(d.width, d.height) = PageSize(*page, 96);
  d.pixels.assign(static_cast<size_t>(d.width * d.height), 0xFFFFFFFF);
  Canvas canvas(d.pixels.data(), d.width, d.height, d.width * 4);
  PlayMetafile(*page, canvas, RectL{0, 0, d.width, d.height});
  return d;
}

std::vector<uint8_t> Color(uint32_t c) {
  return WmfBuilder::Words({static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16)});
}

TEST(WmfReader, TellsFilesApartByContent) {
  const std::vector<uint8_t> plain = Page().Build();
  const std::vector<uint8_t> placeable = Page().Build(true, {0, 0, 100, 100, 1440});
  std::vector<uint8_t> old_version = plain;
  old_version[4] = 0x00;  // version 0x100
  old_version[5] = 0x01;
  std::vector<uint8_t> emf(88, 0);
  emf[0] = 1;
  std::memcpy(emf.data() + 40, &kEmfSignature, 4);
  std::vector<uint8_t> bad_header = plain;
  bad_header[2] = 10;  // header of 10 words
  const struct {
    const char* name;
    std::vector<uint8_t> data;
    WmfKind kind;
  } cases[] = {
      {"plain", plain, WmfKind::kPlain},
      {"placeable", placeable, WmfKind::kPlaceable},
      {"version 0x100", old_version, WmfKind::kPlain},
      {"an EMF page", emf, WmfKind::kNone},
      {"a header of another size", bad_header, WmfKind::kNone},
      {"the placeable key alone", {0xD7, 0xCD, 0xC6, 0x9A}, WmfKind::kNone},
      {"nothing", {}, WmfKind::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WmfKindOf(c.data), c.kind) << c.name;
  }
}

TEST(WmfReader, CutsRecordsUpToTheEndOrTheFirstBadOne) {
  const auto whole = WmfFile::Parse(Page().Build(), nullptr);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->records().size(), 3u);
  EXPECT_FALSE(whole->truncated());

  // A record claiming more words than there are, and one of fewer than three, stop the list.
  std::vector<uint8_t> past_end = Page().Build(false);
  WmfBuilder::Put32(past_end, 1000);
  WmfBuilder::Put16(past_end, kPolygon);
  std::vector<uint8_t> too_small = Page().Build(false);
  WmfBuilder::Put32(too_small, 2);
  WmfBuilder::Put16(too_small, kPolygon);
  for (const auto& data : {past_end, too_small, Page().Build(false)}) {
    const auto file = WmfFile::Parse(data, nullptr);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->records().size(), 2u);
    EXPECT_TRUE(file->truncated());
  }

  const auto placeable = WmfFile::Parse(Page().Build(true, {-10, 20, 300, 400, 576}), nullptr);
  ASSERT_TRUE(placeable);
  EXPECT_TRUE(placeable->header().placeable);
  EXPECT_EQ(placeable->header().left, -10);
  EXPECT_EQ(placeable->header().bottom, 400);
  EXPECT_EQ(placeable->header().units_per_inch, 576);
  EXPECT_EQ(WmfRecordName(kPolygon), std::string("META_POLYGON"));
  EXPECT_EQ(WmfRecordName(0x0999), std::string("META_UNKNOWN"));
}

// Sizes checked against GDI's own (the reference renderer) for the same files.
TEST(WmfReader, SizesPagesAsWindowsDoes) {
  const struct {
    const char* name;
    std::vector<uint8_t> wmf;
    int width, height;
  } cases[] = {
      // Plain: the frame is what is drawn on the 1024 x 768 reference display.
      {"polygon over the window",
       Page().Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 1000, 0, 1000}).Build(), 1024, 767},
      {"polygon inside", Page().Add(kPolygon, {4, 100, 100, 500, 100, 500, 500, 100, 500}).Build(),
       410, 307},
      {"rectangle: its far edges left out", Page().Add(kRectangle, {500, 500, 100, 100}).Build(),
       409, 306},
      // The mapping as the records change it (SaveDC/RestoreDC, MM_ISOTROPIC fitted to the
      // display, scaled extents, a moved viewport).
      {"restored mapping",
       Page()
           .Add(0x001E, {})
           .Add(0x020B, {500, 500})
           .Add(0x0127, {-1})
           .Add(kPolygon, {4, 100, 100, 500, 100, 500, 500, 100, 500})
           .Build(),
       410, 307},
      {"isotropic",
       WmfBuilder()
           .Add(kSetMapMode, {7})
           .Add(kSetWindowExt, {1000, 1000})
           .Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 1000, 0, 1000})
           .Build(),
       767, 767},
      {"scaled window",
       Page()
           .Add(0x0410, {1, 2, 1, 2})
           .Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 1000, 0, 1000})
           .Build(),
       512, 384},
      {"moved viewport",
       Page().Add(0x020D, {50, 100}).Add(kPolygon, {4, 0, 0, 500, 0, 500, 500, 0, 500}).Build(),
       512, 384},
      // No mapping records at all: a unit is a display pixel, as the file's own extents start.
      {"no mapping records", WmfBuilder().Add(kPolygon, {3, 10, 10, 300, 20, 100, 200}).Build(),
       290, 190},
      // Placeable: the box at 96 dpi, however the records map it.
      {"placeable at 1440 an inch",
       Page().Add(kRectangle, {500, 500, 100, 100}).Build(true, {0, 0, 1000, 1000, 1440}), 67, 67},
      {"placeable at 576 an inch, box off the origin",
       WmfBuilder().Add(kRectangle, {5, 5, 0, 0}).Build(true, {-200, 500, 1800, 1500, 576}), 333,
       167},
      {"placeable, units per inch 0 taken as 1440",
       WmfBuilder().Add(kRectangle, {5, 5, 0, 0}).Build(true, {0, 0, 2880, 1440, 0}), 192, 96},
  };
  for (const auto& c : cases) {
    const WmfConversion converted = Convert(c.wmf);
    const auto page = Metafile::Parse(converted.emf, nullptr);
    ASSERT_TRUE(page) << c.name;
    EXPECT_EQ(PageSize(*page, 96), std::make_pair(c.width, c.height)) << c.name;
  }
  // At 300 dpi a placeable file is drawn for 300 dpi.
  const auto high =
      Convert(WmfBuilder().Add(kRectangle, {5, 5, 0, 0}).Build(true, {0, 0, 1440, 720, 1440}), 300);
  EXPECT_EQ(PageSize(*Metafile::Parse(high.emf, nullptr), 300), std::make_pair(300, 150));
}

// A plain file's text takes the box GDI measures for it, whatever the mapping: glyphs are
// sized by the vertical scale alone. The reference renderer's sizes, within a pixel (its
// faces' metrics round a little differently).
TEST(WmfReader, PlainFilesAreSizedByTheTextTheyDraw) {
  const auto font = [](int height, const std::string& face) {
    std::vector<uint8_t> words =
        WmfBuilder::Words({height, 0, 0, 0, 400, 0, 0, 0, 0});  // no charset: ANSI
    words.insert(words.end(), face.begin(), face.end());
    words.push_back(0);
    return words;
  };
  const auto text_out = [](int x, int y, const std::string& text) {
    std::vector<uint8_t> words = WmfBuilder::Words({static_cast<int>(text.size())});
    words.insert(words.end(), text.begin(), text.end());
    if (text.size() % 2 != 0) {
      words.push_back(0);
    }
    const std::vector<uint8_t> place = WmfBuilder::Words({y, x});
    words.insert(words.end(), place.begin(), place.end());
    return words;
  };
  constexpr uint16_t kCreateFont = 0x02FB, kTextOut = 0x0521, kSetTextAlign = 0x012E;
  const struct {
    const char* name;
    std::vector<uint8_t> wmf;
    int width, height;
  } cases[] = {
      // The shape of a text sample with no mapping records, which once made a page of
      // 460,913 x 145,776 pixels.
      {"text without mapping records",
       WmfBuilder()
           .AddBytes(kCreateFont, font(-40, "Times New Roman"))
           .Add(kSelectObject, {0})
           .AddBytes(kTextOut, text_out(20, 100, "Quadrine text sample"))
           .Add(kPolygon, {3, 10, 10, 300, 20, 100, 200})
           .Build(),
       354, 190},
      {"text under a window eight times wider than it is high",
       WmfBuilder()
           .Add(kSetMapMode, {8})
           .Add(kSetWindowExt, {600, 8000})
           .AddBytes(kCreateFont, font(-200, "Arial"))
           .Add(kSelectObject, {0})
           .Add(kSetTextAlign, {24})
           .AddBytes(kTextOut, text_out(400, 300, "Wide"))
           .Add(kPolygon, {3, 0, 0, 2000, 20, 100, 200})
           .Build(),
       633, 439},
  };
  for (const auto& c : cases) {
    const WmfConversion converted = Convert(c.wmf);
    const auto page = Metafile::Parse(converted.emf, nullptr);
    ASSERT_TRUE(page) << c.name;
    const auto [width, height] = PageSize(*page, 96);
    EXPECT_NEAR(width, c.width, 1) << c.name;
    EXPECT_NEAR(height, c.height, 1) << c.name;
  }
}

// A plain file's run without spacing gets the spacing Windows' conversion records: each
// character's advance on the reference display in whole logical units (a window of 1000
// over the display's 1024 pixels: Arial's 48-unit "One " at 36 pixels advances 27 20 20 10,
// as the reference renderer's conversion records it).
TEST(WmfReader, PlainTextGetsTheSpacingWindowsRecords) {
  std::vector<uint8_t> font = WmfBuilder::Words({-48, 0, 0, 0, 400, 0, 0, 0, 0});
  for (char c : std::string("Arial")) {
    font.push_back(static_cast<uint8_t>(c));
  }
  font.push_back(0);
  const std::vector<uint8_t> text =
      WmfBuilder::Words({4, 'O' | 'n' << 8, 'e' | ' ' << 8, 100, 200});
  const WmfConversion converted =
      Convert(Page().AddBytes(0x02FB, font).Add(kSelectObject, {0}).AddBytes(0x0521, text).Build());
  const auto page = Metafile::Parse(converted.emf, nullptr);
  ASSERT_TRUE(page);
  std::vector<int32_t> spacing;
  for (const Record& record : page->records()) {
    if (record.type == kEmrExtTextOutA) {
      ByteReader r(record.bytes);
      r.Skip(8 + 16 + 12 + 8);  // type, size, bounds, mode, scales, reference
      const uint32_t count = r.U32();
      r.Skip(4 + 4 + 16);
      const uint32_t off_dx = r.U32();
      ByteReader dx(record.bytes.subspan(std::min<size_t>(off_dx, record.bytes.size())));
      for (uint32_t i = 0; i < count && dx.Has(4); ++i) {
        spacing.push_back(dx.I32());
      }
    }
  }
  EXPECT_EQ(spacing, (std::vector<int32_t>{27, 20, 20, 10}));
}

// A plain file that carries the EMF it was made from (Office, GetWinMetaFileBits) is that
// EMF, as Windows converts it, when its comments are whole and its checksum holds; else its
// records are converted.
TEST(WmfReader, APlainFileGivesBackTheEmfItCarries) {
  std::vector<uint8_t> emf = [] {
    const std::string page = testing_support::BoxPage(0x0000FF, 5000, 4000);
    return std::vector<uint8_t>(page.begin(), page.end());
  }();
  // The EMF in comments of at most chunk bytes; checksum fixed so the file's words add up to
  // 0, or left at 0.
  const auto carrying = [&emf](size_t chunk, bool fix_checksum, int declared_records = 0) {
    const size_t records = (emf.size() + chunk - 1) / chunk;
    WmfBuilder b;
    for (size_t at = 0; at < emf.size(); at += chunk) {
      const size_t size = std::min(chunk, emf.size() - at);
      std::vector<uint8_t> p = WmfBuilder::Words({15, static_cast<int>(34 + size)});
      for (uint32_t v : {0x43464D57u, 1u, 0x10000u}) {
        WmfBuilder::Put32(p, v);
      }
      WmfBuilder::Put16(p, 0);  // checksum
      WmfBuilder::Put32(p, 0);  // flags
      WmfBuilder::Put32(p,
                        declared_records != 0 ? declared_records : static_cast<uint32_t>(records));
      WmfBuilder::Put32(p, static_cast<uint32_t>(size));
      WmfBuilder::Put32(p, static_cast<uint32_t>(emf.size() - at - size));
      WmfBuilder::Put32(p, static_cast<uint32_t>(emf.size()));
      p.insert(p.end(), emf.begin() + static_cast<ptrdiff_t>(at),
               emf.begin() + static_cast<ptrdiff_t>(at + size));
      b.AddBytes(kEscape, p);
    }
    b.Add(kPolygon, {3, 0, 0, 100, 0, 100, 100});
    std::vector<uint8_t> wmf = b.Build();
    if (fix_checksum) {
      uint16_t sum = 0;
      for (size_t i = 0; i + 1 < wmf.size(); i += 2) {
        sum = static_cast<uint16_t>(sum + (wmf[i] | wmf[i + 1] << 8));
      }
      // The first comment's checksum field: after the header, the record's 6 bytes, the
      // escape's 4 and the identifier, type and version.
      const size_t at = 18 + 6 + 4 + 12;
      const uint16_t fixed = static_cast<uint16_t>(0x10000 - sum);
      wmf[at] = static_cast<uint8_t>(fixed);
      wmf[at + 1] = static_cast<uint8_t>(fixed >> 8);
    }
    return wmf;
  };
  EXPECT_EQ(Convert(carrying(4096, true)).emf, emf);
  EXPECT_EQ(Convert(carrying(100, true)).emf, emf) << "split over several comments";
  EXPECT_NE(Convert(carrying(4096, false)).emf, emf) << "the checksum does not hold";
  EXPECT_NE(Convert(carrying(100, true, 99)).emf, emf) << "comments missing";
  // An EMF cut short within whole comments is not the page: the records are.
  const std::vector<uint8_t> whole = emf;
  emf.resize(emf.size() - 20);  // EMR_EOF and a little more gone
  EXPECT_NE(Convert(carrying(4096, true)).emf, emf) << "the carried EMF cut short";
  emf = whole;
}

// A font's face name is in the code page of its charset, whole characters only.
TEST(WmfReader, FaceNamesAreReadInTheirCharsetsCodePage) {
  const auto face_of = [](int charset, std::vector<uint8_t> name) {
    std::vector<uint8_t> words = WmfBuilder::Words({-20, 0, 0, 0, 400, 0, charset << 8, 0, 0});
    name.push_back(0);
    words.insert(words.end(), name.begin(), name.end());
    const WmfConversion converted =
        Convert(Page().AddBytes(0x02FB, words).Add(kPolygon, {3, 0, 0, 9, 0, 9, 9}).Build());
    const auto page = Metafile::Parse(converted.emf, nullptr);
    std::u16string face;
    for (const Record& record : page->records()) {
      if (record.type == kEmrExtCreateFontIndirectW) {
        for (size_t at = 8 + 4 + 20 + 8; at + 1 < record.bytes.size(); at += 2) {
          const char16_t c = static_cast<char16_t>(record.bytes[at] | record.bytes[at + 1] << 8);
          if (c == 0) {
            break;
          }
          face.push_back(c);
        }
      }
    }
    return face;
  };
  const std::vector<uint8_t> ms_pgothic = {0x82, 0x6C, 0x82, 0x72, 0x20, 0x82, 0x6F, 0x83,
                                           0x53, 0x83, 0x56, 0x83, 0x62, 0x83, 0x4E};
  EXPECT_EQ(face_of(128, ms_pgothic), u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
  EXPECT_EQ(face_of(136, {0xBC, 0xD0, 0xB7, 0xA2, 0xC5, 0xE9}), u"\u6A19\u6977\u9AD4");
  EXPECT_EQ(face_of(0, {'C', 'a', 'f', 0xE9}), u"Caf\u00E9");
  // A name cut after a lead byte keeps its whole characters.
  EXPECT_EQ(face_of(128, {0x82, 0x6C, 0x82}), u"\uFF2D");
}

// The conversion measures text with the fonts it asks for but leaves their notices to the
// player, which says them where a page is named.
TEST(WmfReader, FontNoticesAreLeftToWhoeverDrawsThePage) {
  const std::string face = "Quadrine Face Nowhere Installed";
  std::vector<uint8_t> words = WmfBuilder::Words({-20, 0, 0, 0, 400, 0, 0, 0, 0});
  words.insert(words.end(), face.begin(), face.end());
  words.push_back(0);
  const std::vector<uint8_t> text = WmfBuilder::Words({2, 'A' | 'B' << 8, 10, 10});
  const std::vector<uint8_t> wmf =
      WmfBuilder().AddBytes(0x02FB, words).Add(kSelectObject, {0}).AddBytes(0x0521, text).Build();
  const auto said = [&face] {
    int count = 0;
    for (const std::string& notice : TakeFontNotices()) {
      count += notice.find(face) != std::string::npos;
    }
    return count;
  };
  said();
  Convert(wmf);
  EXPECT_EQ(said(), 0);
  Draw(wmf);
  EXPECT_EQ(said(), 1);
}

TEST(WmfReader, RefusesFilesWithoutAPage) {
  const struct {
    const char* name;
    std::vector<uint8_t> data;
  } cases[] = {
      {"no metafile", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
      {"a plain file that draws nothing", Page().Build()},
      {"an empty placeable box", Page().Build(true, {10, 10, 10, 50, 1440})},
      {"an upside-down placeable box", Page().Build(true, {100, 0, 0, 100, 1440})},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ConvertWmf(c.data, 96, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

// The EMF object indices the conversion gave the brushes it made, in order.
std::vector<uint32_t> BrushIndices(const WmfConversion& converted) {
  std::vector<uint32_t> indices;
  const auto page = Metafile::Parse(converted.emf, nullptr);
  for (const Record& record : page->records()) {
    if (record.type == kEmrCreateBrushIndirect) {
      ByteReader r(record.bytes);
      r.Skip(8);
      indices.push_back(r.U32());
    }
  }
  return indices;
}

TEST(WmfReader, NewObjectsTakeTheLowestFreeSlot) {
  const std::vector<uint8_t> brush = WmfBuilder::Words({0, 0xFF, 0, 0});
  WmfBuilder b = Page();
  b.AddBytes(kCreateBrush, brush).AddBytes(kCreateBrush, brush).AddBytes(kCreateBrush, brush);
  b.Add(kDeleteObject, {0}).Add(kDeleteObject, {1});
  b.AddBytes(kCreateBrush, brush);  // slot 0 again
  // A region, which makes no EMF object, still takes its slot (1).
  b.AddBytes(kCreateRegion, WmfBuilder::Words({0, 6, 0, 0, 22, 0, 0, 0, 0, 0, 0}));
  b.AddBytes(kCreateBrush, brush);  // slot 3
  b.Add(kPolygon, {3, 0, 0, 10, 0, 10, 10});
  EXPECT_EQ(BrushIndices(Convert(b.Build())), (std::vector<uint32_t>{1, 2, 3, 1, 4}));
}

// A region of count rectangles on one scan line, each 2 units wide.
std::vector<uint8_t> Region(int count) {
  std::vector<uint8_t> words =
      WmfBuilder::Words({0, 6, 0, 0, 0, 1, 0, 0, 0, 4 * count, 10, 2 * count, 0, 10});
  for (int i = 0; i < count; ++i) {
    WmfBuilder::Put16(words, static_cast<uint16_t>(4 * i));
    WmfBuilder::Put16(words, static_cast<uint16_t>(4 * i + 2));
  }
  WmfBuilder::Put16(words, static_cast<uint16_t>(2 * count));
  return words;
}

size_t ClipRegionsWritten(const WmfConversion& converted) {
  const auto page = Metafile::Parse(converted.emf, nullptr);
  return static_cast<size_t>(
      std::count_if(page->records().begin(), page->records().end(),
                    [](const Record& record) { return record.type == kEmrExtSelectClipRgn; }));
}

// Selecting the clip region it already is writes nothing; a page that changes its clip over
// and over is refused by name once its EMF page would pass the bound, before it takes more.
TEST(WmfReader, ARegionIsWrittenOncePerChangeAndThePageIsBounded) {
  constexpr uint16_t kSelectClipRegion = 0x012C, kIntersectClipRect = 0x0416;
  WmfBuilder again = Page();
  again.AddBytes(kCreateRegion, Region(2));
  for (int i = 0; i < 3; ++i) {
    again.Add(kSelectClipRegion, {0}).Add(kPolygon, {3, 0, 0, 10, 0, 10, 10});
  }
  again.Add(kIntersectClipRect, {5, 5, 0, 0}).Add(kSelectClipRegion, {0});
  EXPECT_EQ(ClipRegionsWritten(Convert(again.Build())), 2u);

  WmfBuilder growing = Page();
  growing.AddBytes(kCreateRegion, Region(8000));  // 128 KB a select
  for (int i = 0; i < 600; ++i) {
    growing.Add(kSelectClipRegion, {0}).Add(kIntersectClipRect, {5, 5, 0, 0});
  }
  std::string error;
  EXPECT_FALSE(ConvertWmf(growing.Build(), 96, &error));
  EXPECT_NE(error.find("passes 64 MB"), std::string::npos) << error;
}

TEST(WmfReader, CountsWhatItLeavesOut) {
  WmfBuilder b = Page();
  b.Add(kPolygon, {3, 0, 0, 10, 0, 10, 10});
  b.Add(0x0999, {1, 2});        // no such function
  b.Add(kPolygon, {50, 0, 0});  // more points than the record holds
  b.Add(kRectangle, {1, 2});    // shorter than its fields
  b.Add(kEscape, {15, 0});      // a comment
  b.Add(kSelectObject, {7});    // no such object
  const WmfConversion converted = Convert(b.Build());
  const std::map<std::string, int> expected = {
      {"META_UNKNOWN(0x0999)", 1},
      {"META_POLYGON (too short)", 1},
      {"META_RECTANGLE (too short)", 1},
      {"META_ESCAPE", 1},
      {"META_SELECTOBJECT (no such object)", 1},
  };
  EXPECT_EQ(converted.skipped, expected);
  EXPECT_EQ(converted.records, 9u);
}

TEST(WmfReader, AFileCutShortGivesAPageCutShort) {
  const std::vector<uint8_t> cut = Page().Add(kPolygon, {3, 0, 0, 10, 0, 10, 10}).Build(false);
  const WmfConversion converted = Convert(cut);
  const auto page = Metafile::Parse(converted.emf, nullptr);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->truncated());
  EXPECT_EQ(page->records().back().type, kEmrPolygon16);  // what was read still draws
}

// Each form of DIB a record may carry draws its own colours: a 1 x 1 bitmap stretched over the
// page, its pixel read back.
TEST(WmfReader, DibFormsDrawTheirColours) {
  const auto info = [](uint32_t size, int bits, uint32_t compression, uint32_t used) {
    std::vector<uint8_t> header(size, 0);
    const int32_t one = 1;
    std::memcpy(header.data(), &size, 4);
    if (size == 12) {  // BITMAPCOREHEADER: 16-bit width and height
      header[4] = header[6] = header[8] = 1;
      header[10] = static_cast<uint8_t>(bits);
      return header;
    }
    std::memcpy(header.data() + 4, &one, 4);
    std::memcpy(header.data() + 8, &one, 4);
    header[12] = 1;
    header[14] = static_cast<uint8_t>(bits);
    std::memcpy(header.data() + 16, &compression, 4);
    std::memcpy(header.data() + 32, &used, 4);
    return header;
  };
  const auto join = [](std::vector<uint8_t> a, std::initializer_list<uint8_t> b) {
    a.insert(a.end(), b);
    return a;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> dib;
    uint32_t colour;
  } cases[] = {
      {"core header, 3-byte colours", join(info(12, 1, 0, 0), {0x10, 0x20, 0x30, 0, 0, 0, 0, 0, 0}),
       0x302010},
      {"one colour of 256 used", join(info(40, 8, 0, 1), {0x40, 0x50, 0x60, 0, 0, 0, 0, 0}),
       0x605040},
      {"16-bit bit fields 5-6-5",
       join(info(40, 16, 3, 0), {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 0x00, 0xF8, 0, 0}),
       0xFF0000},
      {"24 bits", join(info(40, 24, 0, 0), {0x11, 0x22, 0x33, 0}), 0x332211},
  };
  for (const auto& c : cases) {
    WmfBuilder b = Page();
    std::vector<uint8_t> record =
        WmfBuilder::Words({0x0020, 0x00CC, 0, 1, 1, 0, 0, 1000, 1000, 0, 0});
    record.insert(record.end(), c.dib.begin(), c.dib.end());
    b.AddBytes(kStretchDib, record);
    const Drawn drawn = Draw(b.Build());
    ASSERT_GT(drawn.width, 500) << c.name;
    EXPECT_EQ(drawn.At(500, 300), c.colour) << c.name;
  }
  // A bitmap whose colour table runs past its record is left out and counted.
  WmfBuilder bad = Page();
  std::vector<uint8_t> record =
      WmfBuilder::Words({0x0020, 0x00CC, 0, 1, 1, 0, 0, 1000, 1000, 0, 0});
  const auto header = info(40, 8, 0, 0);  // 256 colours, none there
  record.insert(record.end(), header.begin(), header.end());
  bad.AddBytes(kStretchDib, record).Add(kPolygon, {3, 0, 0, 10, 0, 10, 10});
  EXPECT_EQ(Convert(bad.Build()).skipped.at("META_STRETCHDIB (bad bitmap)"), 1);
}

TEST(WmfReader, DrawsAsGdiDoes) {
  // A placeable file's rectangle is outlined a pixel inside its far edges, as PlayMetaFile
  // outlines it (the box: 192 x 96 pixels).
  WmfBuilder box;
  box.AddBytes(kCreateBrush, WmfBuilder::Words({0, 0xFFFF, 0, 0}));
  box.AddBytes(kCreatePen, [] {
    auto p = WmfBuilder::Words({0, 1, 0});
    auto c = Color(0x0000FF);
    p.insert(p.end(), c.begin(), c.end());
    return p;
  }());
  box.Add(kSelectObject, {0}).Add(kSelectObject, {1}).Add(kRectangle, {1440, 2880, 0, 0});
  const Drawn outlined = Draw(box.Build(true, {0, 0, 2880, 1440, 1440}));
  ASSERT_EQ(outlined.width, 192);
  EXPECT_EQ(outlined.At(191, 50), 0xFF0000u);
  EXPECT_EQ(outlined.At(50, 95), 0xFF0000u);
  EXPECT_EQ(outlined.At(100, 50), 0xFFFF00u);

  // A region of two rectangles (an L) is filled whole.
  WmfBuilder region = Page();
  region.Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 1000, 0, 1000});  // sets the frame
  region.AddBytes(kCreateBrush, WmfBuilder::Words({0, 0xC000, 0, 0}));
  region.AddBytes(kCreateRegion,
                  WmfBuilder::Words({0, 6,   0,   0,   46,  2, 1, 100, 100, 400, 400,  //
                                     2, 100, 200, 100, 400, 2,                         //
                                     2, 200, 400, 100, 250, 2}));
  region.Add(kFillRegion, {0, 1});  // the brush, then the region
  const Drawn l = Draw(region.Build());
  EXPECT_EQ(l.At(300, 120), 0x00C000u);  // the bar
  EXPECT_EQ(l.At(150, 250), 0x00C000u);  // the stem
  EXPECT_EQ(l.At(350, 250), 0xFFFFFFu);  // outside both

  // A wide pen under unequal scales is as wide as its x scale makes it: 50 units at 1.024
  // pixels a unit are 51 pixels (GDI's width on the same file), not the mapping's mean.
  WmfBuilder pen = Page();
  pen.Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 1000, 0, 1000});
  pen.AddBytes(kCreatePen, WmfBuilder::Words({0, 50, 0, 0, 0})).Add(kSelectObject, {0});
  pen.Add(0x0325, {2, 500, 200, 500, 800});  // META_POLYLINE
  const Drawn line = Draw(pen.Build());
  int wide = 0;
  for (int x = 300; x < 700; ++x) {
    wide += line.At(x, 384) == 0 ? 1 : 0;
  }
  EXPECT_EQ(wide, 51);

  // Palette indices, in a brush's colour and in a bitmap's colour table, take the selected
  // palette's colours.
  WmfBuilder palette = Page();
  auto entries = WmfBuilder::Words({0x300, 2});
  for (uint8_t v : {0x20, 0x40, 0x60, 0, 0x80, 0xA0, 0xC0, 0}) {
    entries.push_back(v);
  }
  palette.AddBytes(kCreatePalette, entries).Add(kSelectPalette, {0});
  palette.AddBytes(kCreateBrush, WmfBuilder::Words({0, 1, 0x0100, 0}));  // PALETTEINDEX(1)
  palette.Add(kSelectObject, {1}).Add(kPolygon, {4, 0, 0, 1000, 0, 1000, 500, 0, 500});
  std::vector<uint8_t> dib = WmfBuilder::Words({0x0020, 0x00CC, 1, 1, 1, 0, 0, 500, 1000, 500, 0});
  const uint8_t info[40] = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1};  // 1 x 1, 1 bit
  dib.insert(dib.end(), info, info + 40);
  for (uint8_t v : {0, 0, 1, 0, 0x80, 0, 0, 0}) {  // indices 0 and 1; one row, pixel 1
    dib.push_back(v);
  }
  palette.AddBytes(kStretchDib, dib);
  const Drawn colours = Draw(palette.Build());
  EXPECT_EQ(colours.At(512, 100), 0x80A0C0u);
  EXPECT_EQ(colours.At(512, 600), 0x80A0C0u);
}

// PS_INSIDEFRAME pens, as the reference renderer drew tests/gdi-pages' pen-inside-frame.wmf:
// a Windows metafile's rectangle and ellipse are shrunk so their outlines lie on the box's own
// pixels, at any scale; a pen of a pixel is left as it is. Each case outlines a
// box of 26 x 26 at (8, 6) over a grey brush; the row through its middle is read from x = 0.
TEST(WmfReader, InsideFramePensKeepTheOutlineInsideTheBox) {
  constexpr uint16_t kEllipse = 0x0418;
  struct Case {
    const char* name;
    uint16_t shape;
    int style, width, scale;
    int first_red, first_grey;
  };
  const Case cases[] = {
      {"rectangle, 10 pixels", kRectangle, 6, 10, 1, 8, 18},
      {"ellipse, 10 pixels", kEllipse, 6, 10, 1, 8, 18},
      {"60 units at 6 a pixel", kRectangle, 6, 60, 6, 8, 18},
      {"a pixel", kRectangle, 6, 1, 1, 8, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WmfBuilder b;
    b.Add(kSetWindowExt, {40 * c.scale, 60 * c.scale});
    b.AddBytes(kCreateBrush, WmfBuilder::Words({0, 0xC0C0, 0xC0, 0}));
    b.AddBytes(kCreatePen, WmfBuilder::Words({c.style, c.width, 0, 0xFF, 0}));
    b.Add(kSelectObject, {0}).Add(kSelectObject, {1});
    b.Add(c.shape, {32 * c.scale, 34 * c.scale, 6 * c.scale, 8 * c.scale});
    const Drawn d = Draw(b.Build(true, {0, 0, 60, 40, 96}));
    ASSERT_EQ(d.width, 60);
    int red = -1, grey = -1;
    for (int x = 0; x < 30 && grey < 0; ++x) {
      if (red < 0 && d.At(x, 19) == 0xFF0000u) {
        red = x;
      } else if (red >= 0 && d.At(x, 19) == 0xC0C0C0u) {
        grey = x;
      }
    }
    EXPECT_EQ(red, c.first_red);
    // An ellipse's wide outline is flattened into segments joined by the pen's disks, which
    // may leave it a pixel thicker at its sides than the reference's.
    EXPECT_NEAR(grey, c.first_grey, c.shape == kEllipse ? 1 : 0);
  }
}

}  // namespace
}  // namespace emf
