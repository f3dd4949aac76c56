// Text drawn on several threads at once comes out as on one: faces, glyph bitmaps and cairo's
// fonts are shared by every page of the process.
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"
#include "emf/text/glyph_raster.h"
#include "support/spool_builder.h"

namespace {

using testing_support::CreateFont;
using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FontSpec;
using testing_support::TextOutA;
using testing_support::TextOutW;

constexpr uint32_t kEtoOpaque = 0x2, kEtoClipped = 0x4, kEtoGlyphIndex = 0x10;
constexpr int kThreads = 4;

// Pages that take every way text is drawn: grey and plain glyph bitmaps, faces of their own
// and characters from other faces, turned and stretched glyphs, backgrounds and clipping,
// and glyphs too large for bitmaps, which cairo fills as outlines.
std::vector<std::string> TextPages() {
  const std::u16string pangram = u"The quick brown fox jumps over the lazy dog 0123456789";
  std::vector<std::string> pages;
  for (const char* face : {"Arial", "Times New Roman", "Courier New", "Calibri", "Verdana"}) {
    std::string records;
    int y = 10;
    for (int height : {-9, -12, -16, -23, -40}) {
      FontSpec font;
      font.face = face;
      font.height = height;
      records += CreateFont(font) + TextOutW(4, y, pangram);
      y -= height - 4;
    }
    pages.push_back(records);
  }
  FontSpec turned;
  turned.escapement = 450;
  turned.height = -30;
  FontSpec stretched;
  stretched.width = 30;
  stretched.face = "Times New Roman";
  FontSpec plain;
  plain.quality = 3;  // NONANTIALIASED_QUALITY
  plain.height = -28;
  FontSpec smoothed;
  smoothed.quality = 4;  // ANTIALIASED_QUALITY
  smoothed.height = -11;
  smoothed.face = "Georgia";
  pages.push_back(CreateFont(turned) + TextOutW(20, 180, u"Turned text, 45 degrees") +
                  CreateFont(stretched) + TextOutW(4, 20, u"Wide") + CreateFont(plain) +
                  TextOutW(4, 90, u"Plain pixels") + CreateFont(smoothed) +
                  TextOutW(4, 130, u"Smoothed at eleven"));
  // Characters Arial's substitute lacks, from whichever installed faces have them; opaque
  // backgrounds and a clipped run; 8-bit text; glyph indices.
  pages.push_back(CreateFont({}) + TextOutW(4, 10, u"\u2602 \u263A \u2713 \u03A9\u0416 \u6F22") +
                  EmfRecord(25, {0x00FFCC}) + EmfRecord(18, {2}) +
                  TextOutW(4, 60, u"Opaque cells", kEtoClipped, {}, {0, 0, 120, 200}) +
                  TextOutW(4, 110, u"Box", kEtoOpaque, {}, {2, 100, 190, 150}) +
                  TextOutA(4, 150, "Caf\xE9 na\xEFve") +
                  TextOutW(120, 150, std::u16string{43, 72, 79, 79, 82}, kEtoGlyphIndex));
  FontSpec huge;
  huge.height = -1400;
  pages.push_back(CreateFont(huge) + TextOutW(-100, -300, u"Hg"));
  return pages;
}

std::vector<uint32_t> Draw(const std::string& records, bool smooth) {
  constexpr int kSide = 400;  // 200 logical units at 192 dots per inch
  const std::string page = EmfPage(records, 5292, 5292);
  std::vector<uint32_t> pixels(kSide * kSide, 0xFFFFFF);
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  if (!file) {
    ADD_FAILURE() << "the page does not parse";
    return pixels;
  }
  emf::Canvas canvas(pixels.data(), kSide, kSide, kSide * 4);
  canvas.set_smooth_text(smooth);
  emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide});
  EXPECT_EQ(canvas.Failure(), "");
  return pixels;
}

// Runs work(thread) on kThreads threads released together.
void OnThreads(const std::function<void(int)>& work) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      work(t);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

TEST(TextThreads, PagesDrawnOnSeveralThreadsAtOnceMatchThoseDrawnOnOne) {
  const std::vector<std::string> pages = TextPages();
  // Each page smoothed (a true-colour page) and plain (a palette or black-and-white one).
  std::vector<std::vector<uint32_t>> alone;
  emf::ForgetGlyphBitmaps();
  for (const std::string& page : pages) {
    for (bool smooth : {true, false}) {
      alone.push_back(Draw(page, smooth));
    }
  }
  // The glyphs are made afresh each round, so threads render the same glyphs at once.
  for (int round = 0; round < 3; ++round) {
    emf::ForgetGlyphBitmaps();
    std::vector<std::vector<std::string>> differ(kThreads);
    OnThreads([&](int t) {
      // Each thread starts at another page.
      for (size_t i = 0; i < alone.size(); ++i) {
        const size_t k = (i + static_cast<size_t>(t) * 3) % alone.size();
        const bool smooth = k % 2 == 0;
        if (Draw(pages[k / 2], smooth) != alone[k]) {
          differ[t].push_back("page " + std::to_string(k / 2) + (smooth ? " smoothed" : " plain"));
        }
      }
    });
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_TRUE(differ[t].empty())
          << "round " << round << ", thread " << t << ": " << testing::PrintToString(differ[t]);
    }
  }
}

// Two threads may render the same glyph at once; the first bitmap kept is the one every
// caller gets from then on, asked for glyph by glyph or a run at a time (a run that has a
// glyph twice included).
TEST(TextThreads, AGlyphRenderedOnSeveralThreadsIsKeptOnce) {
  const emf::Typeface& face =
      emf::TypefaceFor(emf::Font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Arial"});
  std::vector<uint32_t> glyphs;
  for (char16_t c : std::u16string(u"Kept once, whatever the thread")) {
    glyphs.push_back(face.GlyphFor(c));
  }
  emf::GlyphShape shape;
  shape.ppem = 37;
  emf::ForgetGlyphBitmaps();
  std::vector<std::vector<std::shared_ptr<const emf::GlyphBitmap>>> got(kThreads);
  OnThreads([&](int t) {
    if (t % 2 == 0) {
      emf::RasterizeGlyphs(face, shape, glyphs, got[t]);
      return;
    }
    for (uint32_t glyph : glyphs) {
      got[t].push_back(emf::RasterizeGlyph(face, shape, glyph));
    }
  });
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const auto kept = emf::RasterizeGlyph(face, shape, glyphs[i]);
    ASSERT_EQ(kept == nullptr, glyphs[i] == face.GlyphFor(' ')) << i;
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(got[t][i], kept) << "glyph " << i << " on thread " << t;
    }
  }
}

// A face keeps the size it was last set to, and is set again only for another size: glyphs
// asked for at sizes and widths in turn each come out as when made alone.
TEST(TextThreads, GlyphsOfSizesTakenInTurnKeepTheirOwnSize) {
  const emf::Typeface& face =
      emf::TypefaceFor(emf::Font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Arial"});
  const uint32_t glyph = face.GlyphFor('H');
  std::vector<emf::GlyphShape> shapes(4);
  shapes[0].ppem = 20;
  shapes[1].ppem = 41;
  shapes[2].ppem = 20;
  shapes[2].width = 30;
  shapes[3].ppem = 20;
  shapes[3].smooth = false;
  std::vector<emf::GlyphBitmap> alone;
  for (const emf::GlyphShape& shape : shapes) {
    emf::ForgetGlyphBitmaps();
    const auto bitmap = emf::RasterizeGlyph(face, shape, glyph);
    ASSERT_NE(bitmap, nullptr);
    alone.push_back(*bitmap);
  }
  emf::ForgetGlyphBitmaps();
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < shapes.size(); ++i) {
      const auto bitmap = emf::RasterizeGlyph(face, shapes[i], glyph);
      ASSERT_NE(bitmap, nullptr);
      EXPECT_EQ(bitmap->width, alone[i].width) << i;
      EXPECT_EQ(bitmap->height, alone[i].height) << i;
      EXPECT_EQ(bitmap->coverage, alone[i].coverage) << i;
    }
    emf::ForgetGlyphBitmaps();
  }
  EXPECT_NE(alone[0].height, alone[1].height);
  EXPECT_NE(alone[0].width, alone[2].width);
}

}  // namespace
