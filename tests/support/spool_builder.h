// Synthetic EMF pages and spool files for tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_support {

// A small valid EMF: header record (with the given size), one rectangle, end of file.
// The frame is in hundredths of a millimetre.
std::string MinimalEmf(uint32_t headerSize = 108, int32_t frameRight = 21000,
                       int32_t frameBottom = 29700);

void Append32(std::string& bytes, uint32_t value);

// One EMF record of 32-bit words.
std::string EmfRecord(uint32_t type, std::initializer_list<uint32_t> words);
// A page of the given records between a header (frame in hundredths of a millimetre, on a
// 96 dots-per-inch reference device) and the end-of-file record.
std::string EmfPage(const std::string& records, int32_t frameRight = 21000,
                    int32_t frameBottom = 29700, uint32_t headerSize = 108);
// A page with a filled box in one colour, with no outline.
std::string BoxPage(uint32_t color, int32_t frameRight = 21000, int32_t frameBottom = 29700);
// A page whose one record is an EMF+ comment: GDI draws it as nothing.
std::string EmfPlusOnlyPage();
// An A4 page whose box, from (-100, -100) to (50, 50) pixels, reaches past its frame's top left
// corner, as its header's bounds say.
std::string PageDrawingOutsideItsFrame();

// EMR_EXTCREATEFONTINDIRECTW of a font as object 1, and its selection.
struct FontSpec {
  int height = -40;
  int width = 0;
  int escapement = 0;
  int weight = 400;
  uint8_t quality = 0;
  uint8_t pitch_and_family = 0;
  uint8_t charset = 0;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  const char* face = "Arial";
};
std::string CreateFont(const FontSpec& font);

// EMR_EXTTEXTOUTA of 8-bit text, without a spacing array.
std::string TextOutA(int x, int y, const std::string& bytes);

// EMR_EXTTEXTOUTW of UTF-16 units (characters or glyph indices) with an optional dx array.
std::string TextOutW(int x, int y, const std::u16string& text, uint32_t options = 0,
                     const std::vector<int>& dx = {}, const std::vector<int>& rect = {0, 0, 0, 0});

// The records of the blend pages of the tests, in pixels of MM_TEXT: a blue band over
// (0, 50, 200, 100), and EMR_ALPHABLEND of one 4 x 2 bitmap at 1:20 over each half, and
// stretched to 70 x 30 at (110, 5). Its pixels, premultiplied, top row first: clear, red,
// red at alpha 128, (50, 100, 150) at 192; blue, green at 64, green, (60, 40, 20) at 100.
enum class BlendBitmap { kRgb32, kBitfields32, kV5Header32, kRgb24 };
std::string BlendRecords(BlendBitmap bitmap, uint32_t constant_alpha, bool source_alpha);

// A spool file in the published layout: header with the document name, records, pages.
class SpoolFileBuilder {
 public:
  explicit SpoolFileBuilder(const std::string& documentName = "test");
  SpoolFileBuilder& Record(uint32_t type, const std::string& data);
  // EMRI_METAFILE_DATA with the page followed by EMRI_METAFILE_EXT, as Windows writes them.
  SpoolFileBuilder& Page(const std::string& emf);
  std::string Build() const { return bytes_; }

 private:
  std::string bytes_;
};

// Where the shared test material lives (corpus, reference images); empty, and the test
// failed, when it is not there.
std::string SharedDir();

}  // namespace testing_support
