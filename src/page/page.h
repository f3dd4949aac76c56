// One page path for the tools: what an input is by its content, which of its pages is asked
// for, the page made ready to draw (a Windows metafile as the EMF Windows makes of it, the
// frame grown to the bounds when asked), its size in pixels, its drawing band by band, and
// what it says of itself, so that every tool draws, fails and speaks of a page alike.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emf/player/band_player.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "formats/spool_format.h"

namespace page {

// What an input holds, told by its first bytes.
enum class InputKind {
  kEmfPage,
  kEmfSpool,
  kWmf,  // a Windows metafile, placeable or not
  kOther,
};
InputKind KindOfInput(std::span<const uint8_t> head);

// Why an input of another kind is not read ("is an XPS spool file; ..."), for a message that
// names the input first.
std::string WhyNotRead(std::span<const uint8_t> head);

// The pages of an input, as spans of its bytes: a page file or a Windows metafile is its one
// page, a spool file holds its pages each by its own EMF header.
struct InputPages {
  InputKind kind = InputKind::kOther;
  std::vector<SpoolPage> pages;
  bool last_cut_short = false;  // a spool file's last page runs past its data: left out
  std::string document;         // a spool file's document name, as it carries it
};

// False with why when the input holds no page that is read.
bool FindInputPages(std::span<const uint8_t> bytes, InputPages& found, std::string& error);

// Page number (from 1) of the input; false with why when it has no such page.
bool SelectPage(const InputPages& found, int number, SpoolPage& span, std::string& error);

// What a page says of itself besides its pixels.
struct PageNotes {
  // Its drawing is all EMF+, which GDI draws as nothing (said only when GDI draws it).
  bool emf_plus_only = false;
  bool outside_frame = false;  // it draws outside its frame, which cuts it off
  std::string cut_short;       // its data stops before the page does: drawn as far as it goes
  std::map<std::string, int> wmf_skipped;  // a Windows metafile's records left out
};

// What each of those says, after the input and page are named.
inline constexpr const char* kEmfPlusOnly = "holds only EMF+ drawing, which GDI draws as nothing";
inline constexpr const char* kOutsideFrame =
    "draws outside its frame; --area bounds shows all of it";

struct OpenOptions {
  double dpi = 96;           // a placeable Windows metafile is made at the output's density
  bool area_bounds = false;  // the frame grown to hold all the page draws
  // Drawn as GDI draws it (PlayEnhMetaFile): a page's EMF+ records are left to their GDI
  // stand-ins. Otherwise a page with EMF+ records is drawn as GDI+ draws it.
  bool gdi = false;
};

// A page ready to draw: its own copy of the EMF bytes and the metafile read from them.
struct Page {
  std::vector<uint8_t> bytes;
  std::optional<emf::Metafile> file;
  PageNotes notes;
  // What draws the page's EMF+ records: empty when GDI draws the page.
  emf::CommentDrawingMaker comments;

  Page() = default;
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;
};

// Replaces a Windows metafile's bytes by the EMF page Windows makes of it (a placeable one at
// dpi); false with why when it cannot be. What it left out is counted in skipped.
bool ConvertWindowsMetafile(std::vector<uint8_t>& bytes, double dpi,
                            std::map<std::string, int>& skipped, std::string& error);

// Reads one page's bytes (an EMF page, or a Windows metafile converted as Windows converts
// it); false with why when it is no page that can be drawn. The page's bytes are kept even
// then, when they are there, for a copy that carries them as they are.
bool OpenPage(std::span<const uint8_t> bytes, const OpenOptions& options, Page& page,
              std::string& error);

// The size a page is drawn at: its frame at a density, or a size asked for (a width or a
// height of 0 keeps the frame's proportions), with the density that size gives the frame.
struct SizeRequest {
  double x_dpi = 96;
  double y_dpi = 96;
  bool fixed = false;
  int width = 0;
  int height = 0;
};
struct PixelSize {
  int width = 0;
  int height = 0;
  double x_dpi = 0;
  double y_dpi = 0;
};
bool SizeOf(const emf::Header& header, const SizeRequest& request, PixelSize& size,
            std::string& error);

// Plays the page band by band, so that memory follows the band, not the page, handing each
// band's rows to take; the failure, if any (emf::kRowsRefused when take refused rows). A page
// bound for a palette (black and white, 256 colours) is drawn with plain text, as GDI draws
// into such a bitmap.
std::string DrawRows(const emf::Metafile& file, int width, int height, const emf::RowSink& take,
                     emf::PlayStats& stats, bool for_palette = false,
                     const emf::CommentDrawingMaker& comments = {});

// The converter's blank test, drawn by the engine as into its black-and-white test bitmap: at
// half the page's size at the screen's 96 dots per inch, nothing turns black (a brightness of
// 128 or less). A page whose drawing fails, or whose data stops early, is never blank; one
// too large to test is kept.
bool IsBlank(const emf::Metafile& file, const emf::CommentDrawingMaker& comments = {});

// Whether a pixel (0x00RRGGBB) stays black in black and white.
bool IsBlackInBlackAndWhite(uint32_t pixel);

}  // namespace page
