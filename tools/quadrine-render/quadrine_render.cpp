// quadrine-render: plays one EMF page, or one page of a spool file, into a white 24-bit image
// of the frame's size at a given density, so any page can be looked at and compared. The
// output name's extension picks the format. A page too large for one drawing surface is drawn
// in bands that go to the encoder as they are done (BMP, PNG, JPEG, TIFF), so memory follows
// the band, not the page.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/usage_error.h"
#include "emf/player/band_player.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"
#include "formats/spool_format.h"
#include "imaging/colour_census.h"
#include "imaging/encoders.h"
#include "imaging/row_writer.h"
#include "page/page.h"

namespace {

int Usage(std::FILE* to = stderr, int exit_code = 2) {
  std::fprintf(
      to,
      "usage: quadrine-render [--page N] [--dpi N] [--area AREA] [--gdi] [--stats] IN OUT\n"
      "       quadrine-render [--dpi N] [--gdi] --time PAGE.emf...\n"
      "Plays the page into a white image of its frame's size at N dots per inch "
      "(default 96).\n"
      "  IN          an EMF page, a Windows metafile (WMF), or a spool file in the EMF\n"
      "              format (--page N picks the page, from 1; default 1)\n"
      "  OUT         the image; its extension picks the format (png, jpg, tif, bmp, gif,\n"
      "              webp, pcx, tga, ...)\n"
      "  --area      frame: the page's frame, as Windows prints it (default);\n"
      "              bounds: the frame grown to hold all the page draws\n"
      "  --gdi       draw as GDI does: a page with EMF+ records is drawn from its GDI\n"
      "              records (default: as GDI+ draws it, from its EMF+ records)\n"
      "  --stats     print the records played and skipped\n"
      "  --no-reduce a PNG in 24-bit colour (default: grey levels or a palette where\n"
      "              that changes no pixel)\n"
      "  --time      play the pages in one process and print each one's milliseconds\n"
      "  --help, --version\n");
  return exit_code;
}

// The image format the output name's extension asks for; kFormatNone when none.
uint32_t FormatOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const uint32_t format =
      imaging::FormatOfExtension(dot == std::string::npos ? "" : path.substr(dot + 1));
  return imaging::FindEncoder(format) != nullptr ? format : imaging::kFormatNone;
}

struct OpenedPage {
  page::Page page;
  page::PixelSize size;
};

// Reads page number (from 1) of the input, ready to draw, and sizes it; false (with a
// message) when it cannot be read or drawn. With say, what the page says of itself is said.
bool OpenPage(const std::string& input, const page::OpenOptions& options, OpenedPage& opened,
              int number = 1, bool say = false) {
  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quadrine-render: %s: cannot be opened\n", input.c_str());
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  std::string error;
  page::InputPages found;
  SpoolPage span;
  if (!page::FindInputPages(bytes, found, error) || !page::SelectPage(found, number, span, error) ||
      !page::OpenPage(std::span(bytes).subspan(span.offset, span.size), options, opened.page,
                      error)) {
    std::fprintf(stderr, "quadrine-render: %s: %s\n", input.c_str(), error.c_str());
    return false;
  }
  const page::PageNotes& notes = opened.page.notes;
  if (say && notes.outside_frame) {
    std::fprintf(stderr, "quadrine-render: %s page %d %s\n", input.c_str(), number,
                 page::kOutsideFrame);
  }
  if (say && notes.emf_plus_only) {
    std::fprintf(stderr, "quadrine-render: %s page %d %s\n", input.c_str(), number,
                 page::kEmfPlusOnly);
  }
  page::SizeRequest request;
  request.x_dpi = request.y_dpi = options.dpi;
  if (!page::SizeOf(opened.page.file->header(), request, opened.size, error)) {
    std::fprintf(stderr, "quadrine-render: %s: %s\n", input.c_str(), error.c_str());
    return false;
  }
  return true;
}

// Plays the page band by band; the failure, if any.
std::string PlayPage(const OpenedPage& opened, const emf::RowSink& take, emf::PlayStats& stats) {
  return page::DrawRows(*opened.page.file, opened.size.width, opened.size.height, take, stats,
                        false, opened.page.comments);
}

void SayFontNotices() {
  for (const std::string& notice : emf::TakeFontNotices()) {
    std::fprintf(stderr, "quadrine-render: %s\n", notice.c_str());
  }
}

// Whether a page of this layout can be written in the format; else why. Asked before the
// output is made, so that a refusal leaves no file.
bool Writable(uint32_t format, const imaging::RowLayout& layout, std::string* error) {
  if (!imaging::FitsFormat(format, layout.width, layout.height, 24, error)) {
    return false;
  }
  if (imaging::FindEncoder(format)->open_rows == nullptr &&
      static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) >
          imaging::kMaxPixels) {
    *error = "a page this large is written only as BMP, PNG, JPEG or TIFF";
    return false;
  }
  return true;
}

// For formats written from a whole image: the rows are gathered, then saved at the end.
class WholeImageRows final : public imaging::RowWriter {
 public:
  WholeImageRows(uint32_t format, const imaging::RowLayout& layout, imaging::OutputFile& file)
      : format_(format), file_(file) {
    image_.Reset(layout.width, layout.height, 24, {});
    image_.SetXDPI(layout.x_dpi);
    image_.SetYDPI(layout.y_dpi);
  }
  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    for (int i = 0; i < count && row_ < image_.height(); ++i, ++row_) {
      std::copy_n(rows + static_cast<size_t>(i) * stride, image_.RowBytes(), image_.Row(row_));
    }
    return true;
  }
  bool Finish(std::string* error) override {
    if (row_ != image_.height() || !image_.Save(file_, format_)) {
      *error = row_ != image_.height() ? "the page's rows were not all drawn" : image_.last_error;
      return false;
    }
    return true;
  }

 private:
  imaging::Image image_;
  uint32_t format_;
  imaging::OutputFile& file_;
  int row_ = 0;
};

// The output file, made once and written only through its handle.
struct OutputStream {
  std::FILE* file = nullptr;
  OutputStream() = default;
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;
  ~OutputStream() { Close(); }
  // False when what was written did not reach the file.
  bool Close() {
    const bool closed = file == nullptr || std::fclose(file) == 0;
    file = nullptr;
    return closed;
  }
};

// Renders the page into the output file, band by band. A page with parts missing, or one
// the format cannot hold, leaves no file.
int RenderToFile(const std::string& input, int number, const std::string& output,
                 const page::OpenOptions& options, bool stats, bool reduce_png) {
  const uint32_t format = FormatOf(output);
  if (format == imaging::kFormatNone) {
    std::fprintf(stderr,
                 "quadrine-render: %s: the extension names no image format we write (png, "
                 "jpg, tif, bmp, gif, ...)\n",
                 output.c_str());
    return 2;
  }
  OpenedPage page;
  if (!OpenPage(input, options, page, number, true)) {
    return 1;
  }
  imaging::RowLayout layout;
  layout.width = page.size.width;
  layout.height = page.size.height;
  layout.x_dpi = layout.y_dpi = static_cast<int>(std::lround(options.dpi));
  std::string error;
  const auto refused = [&] {
    std::fprintf(stderr, "quadrine-render: cannot write %s: %s\n", output.c_str(), error.c_str());
    return 1;
  };
  if (!Writable(format, layout, &error)) {
    return refused();
  }
  OutputStream stream;
  stream.file = std::fopen(output.c_str(), "w+b");  // read back too: libtiff reads its directories
  if (stream.file == nullptr) {
    error = "cannot create " + output;
    return refused();
  }
  // An output not finished is removed, on every way out (an allocation failure too).
  struct RemovedUnlessKept {
    const std::string& path;
    bool kept = false;
    ~RemovedUnlessKept() {
      if (!kept) {
        std::remove(path.c_str());
      }
    }
  } unfinished{output};
  const std::unique_ptr<imaging::OutputFile> file = imaging::StdioOutput(stream.file, output);
  std::unique_ptr<imaging::RowWriter> writer =
      format == imaging::kFormatPng && reduce_png
          ? imaging::OpenReducingPngRows(layout, *file, &error)
      : imaging::FindEncoder(format)->open_rows != nullptr
          ? imaging::OpenRowWriter(format, layout, *file, &error)
          : std::make_unique<WholeImageRows>(format, layout, *file);
  if (writer == nullptr) {
    stream.Close();
    return refused();
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(page.size.width) * 3);
  const emf::RowSink take = [&](const uint32_t* rows, size_t stride, int count) {
    for (int y = 0; y < count; ++y) {
      emf::RowToRgb(rows + static_cast<size_t>(y) * stride, page.size.width, rgb.data());
      if (!writer->WriteRows(rgb.data(), rgb.size(), 1)) {
        return false;
      }
    }
    return true;
  };
  const auto start = std::chrono::steady_clock::now();
  emf::PlayStats played;
  const emf::FontNoticeSource source(input + " page " + std::to_string(number));
  const std::string failure = PlayPage(page, take, played);
  bool written = writer->Finish(&error);
  writer.reset();  // before the file it writes into closes
  if (!stream.Close() && written) {
    error = "cannot finish " + output;
    written = false;
  }
  SayFontNotices();
  if (stats) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%s: %dx%d, %d records played, written in %.1f ms\n", input.c_str(),
                 page.size.width, page.size.height, played.played, ms);
    for (const auto& [name, count] : page.page.notes.wmf_skipped) {
      std::fprintf(stderr, "  skipped %s: %d\n", name.c_str(), count);
    }
    for (const auto& [name, count] : played.skipped) {
      std::fprintf(stderr, "  skipped %s: %d\n", name.c_str(), count);
    }
  }
  if (!failure.empty() || !written) {
    const std::string& why = failure.empty() || failure == emf::kRowsRefused ? error : failure;
    std::fprintf(stderr, "quadrine-render: %s: %s\n", input.c_str(), why.c_str());
    return 1;
  }
  unfinished.kept = true;
  // A page whose data stops early is kept as far as it was drawn, and still counts as failed.
  if (!page.page.notes.cut_short.empty()) {
    std::fprintf(stderr, "quadrine-render: %s: page %d: %s\n", input.c_str(), number,
                 page.page.notes.cut_short.c_str());
    return 1;
  }
  return 0;
}

// --time: plays every page in one process, as a renderer serving a whole job would, and
// prints the milliseconds each took and their sum.
int TimePages(const std::vector<std::string>& pages, const page::OpenOptions& options) {
  double total = 0;
  int failed = 0;
  for (const std::string& input : pages) {
    OpenedPage page;
    emf::PlayStats played;
    const auto start = std::chrono::steady_clock::now();
    if (!OpenPage(input, options, page) ||
        !PlayPage(
             page, [](const uint32_t*, size_t, int) { return true; }, played)
             .empty()) {
      ++failed;
      continue;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %.2f\n", input.c_str(), ms);
    total += ms;
  }
  SayFontNotices();
  std::printf("total %zu pages %.1f ms\n", pages.size() - failed, total);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input;
  std::string output;
  std::vector<std::string> timed;
  page::OpenOptions options;
  int number = 1;
  bool stats = false;
  bool time = false;
  bool reduce_png = true;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help") {
      return Usage(stdout, 0);
    } else if (argument == "--version") {
      std::printf("quadrine-render %s\n", QUADRINE_VERSION);
      return 0;
    } else if (argument == "--dpi" && i + 1 < argc) {
      options.dpi = std::atof(argv[++i]);
    } else if (argument == "--page" && i + 1 < argc) {
      number = std::atoi(argv[++i]);
      if (number < 1) {
        return UsageError("quadrine-render", "--page takes a page number from 1");
      }
    } else if (argument == "--area" && i + 1 < argc) {
      const std::string area = argv[++i];
      if (area != "frame" && area != "bounds") {
        return UsageError("quadrine-render", "--area is frame or bounds");
      }
      options.area_bounds = area == "bounds";
    } else if (argument == "--gdi") {
      options.gdi = true;
    } else if (argument == "--no-reduce") {
      reduce_png = false;
    } else if (argument == "--stats") {
      stats = true;
    } else if (argument == "--time") {
      time = true;
    } else if (argument.starts_with("--")) {
      return UsageError("quadrine-render", UnknownArgument(argument));
    } else if (time) {
      timed.push_back(argument);
    } else if (input.empty()) {
      input = argument;
    } else if (output.empty()) {
      output = argument;
    } else {
      return UsageError("quadrine-render", UnknownArgument(argument));
    }
  }
  if (!(options.dpi > 0 && options.dpi <= 2400)) {
    return UsageError("quadrine-render", "--dpi takes a number above 0 and up to 2400");
  }
  if (time) {
    return timed.empty() ? UsageError("quadrine-render", "--time needs a page to time")
                         : TimePages(timed, options);
  }
  if (input.empty() || output.empty()) {
    return UsageError("quadrine-render", input.empty() ? "no input page" : "no output file");
  }
  // The output is written in place: a name that leads to the input would replace it.
  struct stat in {
  }, out{};
  if (stat(input.c_str(), &in) == 0 && stat(output.c_str(), &out) == 0 && in.st_dev == out.st_dev &&
      in.st_ino == out.st_ino) {
    std::fprintf(stderr, "quadrine-render: %s is the input %s; give another output name\n",
                 output.c_str(), input.c_str());
    return 2;
  }
  // A page past the memory there is fails by name, and leaves nothing behind.
  try {
    return RenderToFile(input, number, output, options, stats, reduce_png);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quadrine-render: %s: out of memory while drawing the page\n",
                 input.c_str());
    return 1;
  }
}
