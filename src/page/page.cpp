#include "page/page.h"

#include <cstdio>
#include <utility>

#include "base/page_pixels.h"
#include "emf/wmf/wmf_reader.h"
#include "emfplus/player.h"
#include "formats/emf_content.h"

namespace page {

namespace {

constexpr double kScreenDpi = 96;

PageFrame FrameOf(const emf::Header& header) {
  return {header.frame.left, header.frame.top, header.frame.right, header.frame.bottom};
}

std::string Pixels(double width, double height) {
  char text[96];
  std::snprintf(text, sizeof text, "%.0f x %.0f", width, height);
  return text;
}

}  // namespace

InputKind KindOfInput(std::span<const uint8_t> head) {
  switch (KindOfFile(head)) {
    case FileKind::kEmfPage:
      return InputKind::kEmfPage;
    case FileKind::kEmfSpool:
      return InputKind::kEmfSpool;
    default:
      break;
  }
  return emf::WmfKindOf(head) != emf::WmfKind::kNone ? InputKind::kWmf : InputKind::kOther;
}

std::string WhyNotRead(std::span<const uint8_t> head) {
  const FileKind kind = KindOfFile(head);
  if (kind == FileKind::kUnknown) {
    return "neither an EMF page, a Windows metafile nor a spool file in the EMF format";
  }
  return std::string("it is ") + FileKindName(kind);
}

bool FindInputPages(std::span<const uint8_t> bytes, InputPages& found, std::string& error) {
  found = InputPages{};
  found.kind = KindOfInput(bytes);
  switch (found.kind) {
    case InputKind::kEmfPage:
    case InputKind::kWmf:
      found.pages.push_back({0, bytes.size()});
      return true;
    case InputKind::kEmfSpool: {
      SpoolPages spool = FindPages(bytes);
      found.pages = std::move(spool.pages);
      found.last_cut_short = spool.lastIncomplete;
      found.document = SpoolDocumentName(bytes);
      if (found.pages.empty()) {
        error = found.last_cut_short ? "its only page is cut short"
                                     : "a spool file with no EMF page in it";
        return false;
      }
      return true;
    }
    case InputKind::kOther:
      break;
  }
  error = WhyNotRead(bytes);
  return false;
}

bool SelectPage(const InputPages& found, int number, SpoolPage& span, std::string& error) {
  const size_t count = found.pages.size();
  if (number >= 1 && static_cast<size_t>(number) <= count) {
    span = found.pages[static_cast<size_t>(number) - 1];
    return true;
  }
  if (found.kind != InputKind::kEmfSpool) {
    error = std::string(found.kind == InputKind::kWmf ? "a Windows metafile" : "an EMF page") +
            " has only page 1";
  } else {
    error = "the spool file has " + std::to_string(count) + (count == 1 ? " page" : " pages") +
            ", no page " + std::to_string(number);
  }
  return false;
}

bool ConvertWindowsMetafile(std::vector<uint8_t>& bytes, double dpi,
                            std::map<std::string, int>& skipped, std::string& error) {
  std::optional<emf::WmfConversion> converted = emf::ConvertWmf(bytes, dpi, &error);
  if (!converted) {
    return false;
  }
  bytes = std::move(converted->emf);
  skipped = std::move(converted->skipped);
  return true;
}

bool OpenPage(std::span<const uint8_t> bytes, const OpenOptions& options, Page& page,
              std::string& error) {
  page.notes = PageNotes{};
  page.file.reset();
  page.bytes.assign(bytes.begin(), bytes.end());
  if (emf::WmfKindOf(bytes) != emf::WmfKind::kNone &&
      !ConvertWindowsMetafile(page.bytes, options.dpi, page.notes.wmf_skipped, error)) {
    page.bytes.clear();
    return false;
  }
  std::string ignored;  // a header that cannot be read is named by the parse below
  if (const std::optional<emf::Header> header = emf::ParseHeader(page.bytes, &ignored)) {
    if (options.area_bounds) {
      emf::ReplaceFrame(page.bytes, emf::FrameHoldingBounds(*header));
    } else {
      page.notes.outside_frame = emf::DrawsOutsideFrame(*header);
    }
  }
  page.file = emf::Metafile::Parse(page.bytes, &error);
  page.comments = nullptr;
  if (!page.file) {
    return false;
  }
  if (!options.gdi && emfplus::HoldsEmfPlus(*page.file)) {
    page.comments = emfplus::EmfPlusDrawing();
  } else {
    page.notes.emf_plus_only = HoldsOnlyEmfPlus(page.bytes);
  }
  if (page.file->truncated()) {
    page.notes.cut_short =
        "the page ends after record " + std::to_string(page.file->records().size()) + " of " +
        std::to_string(page.file->header().records) + "; drawn as far as it goes";
  }
  return true;
}

bool SizeOf(const emf::Header& header, const SizeRequest& request, PixelSize& size,
            std::string& error) {
  const PageFrame frame = FrameOf(header);
  const double width_in = (static_cast<double>(frame.right) - frame.left) / 2540.0;
  const double height_in = (static_cast<double>(frame.bottom) - frame.top) / 2540.0;
  if (!(width_in > 0 && height_in > 0)) {
    error = "the page's frame is empty";
    return false;
  }
  FramePixels pixels = FrameInPixels(frame, PitchOfDensity(request.x_dpi, request.y_dpi));
  size.x_dpi = request.x_dpi;
  size.y_dpi = request.y_dpi;
  if (request.fixed) {
    const int width = request.width;
    const int height = request.height;
    pixels.width = width > 0 ? width : height * width_in / height_in + 0.5;
    pixels.height = height > 0 ? height : width * height_in / width_in + 0.5;
    size.x_dpi = pixels.width / width_in;
    size.y_dpi = pixels.height / height_in;
  }
  PixelCount count;
  if (!WholePixels(pixels, count)) {
    error = "a page of " + Pixels(pixels.width, pixels.height) + " pixels cannot be drawn";
    return false;
  }
  if (std::string why = emf::WhyTooWide(count.width); !why.empty()) {
    error = std::move(why);
    return false;
  }
  size.width = count.width;
  size.height = count.height;
  return true;
}

std::string DrawRows(const emf::Metafile& file, int width, int height, const emf::RowSink& take,
                     emf::PlayStats& stats, bool for_palette,
                     const emf::CommentDrawingMaker& comments) {
  return emf::PlayInBands(file, width, height, emf::PlanStreamedBands(width, height), take, stats,
                          !for_palette, comments);
}

bool IsBlackInBlackAndWhite(uint32_t pixel) {
  return TurnsBlackInBlackAndWhite(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
}

bool IsBlank(const emf::Metafile& file, const emf::CommentDrawingMaker& comments) {
  if (file.truncated()) {
    return false;  // what was lost may have been ink
  }
  PixelCount test;
  switch (BlankTestPixels(FrameOf(file.header()), PitchOfDensity(kScreenDpi, kScreenDpi), test)) {
    case BlankTest::kNothingShows:
      return true;
    case BlankTest::kTooLarge:
      return false;  // kept untested
    case BlankTest::kDrawn:
      break;
  }
  bool blank = true;
  const emf::RowSink take = [&](const uint32_t* rows, size_t stride, int count) {
    for (int y = 0; y < count && blank; ++y) {
      for (int x = 0; x < test.width; ++x) {
        if (IsBlackInBlackAndWhite(rows[static_cast<size_t>(y) * stride + x])) {
          blank = false;
          break;
        }
      }
    }
    return blank;  // the first black pixel settles it
  };
  emf::PlayStats stats;
  const std::string failure = DrawRows(file, test.width, test.height, take, stats, true, comments);
  return blank && failure.empty();
}

}  // namespace page
