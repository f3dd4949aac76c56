// quadrine-render: plays one EMF page into a white 24-bit bitmap of the frame's size at a
// given density, so any page can be looked at and compared. Writes BMP, or PNG when the
// output name ends in .png.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emf/canvas.h"
#include "emf/font.h"
#include "emf/metafile.h"
#include "emf/player.h"
#include "imaging/image.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: quadrine-render IN.emf OUT.bmp|OUT.png [--dpi N] [--stats]\n"
               "       quadrine-render [--dpi N] --time PAGE.emf...\n"
               "Plays the page into a white bitmap of its frame's size at N dots per inch "
               "(default 96); --time plays the pages in one process and prints each one's "
               "milliseconds.\n");
  return 2;
}

// Writes the page through the image library's own encoders: PNG when the name ends in .png,
// else BMP.
bool WritePage(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height,
               double dpi, std::string* error) {
  imaging::Image image;
  image.Reset(width, height, 24, {});
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    const uint32_t* source = pixels.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(source[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(source[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(source[x]);
    }
  }
  image.SetXDPI(static_cast<int>(std::lround(dpi)));
  image.SetYDPI(static_cast<int>(std::lround(dpi)));
  const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
  if (!image.Save(path, png ? imaging::kFormatPng : imaging::kFormatBmp)) {
    *error = image.last_error;
    return false;
  }
  return true;
}

struct Rendered {
  std::vector<uint32_t> pixels;
  int width = 0;
  int height = 0;
  double ms = 0;
};

// Plays one page; false (with a message) when it cannot be read or drawn.
bool Render(const std::string& input, double dpi, bool stats, Rendered& out) {
  std::ifstream in(input, std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::string error;
  const auto file = emf::Metafile::Parse(data, &error);
  if (!file) {
    std::fprintf(stderr, "quadrine-render: %s: %s\n", input.c_str(), error.c_str());
    return false;
  }
  const emf::RectL& frame = file->header().frame;
  const double width_mm = (static_cast<double>(frame.right) - frame.left) / 100.0;
  const double height_mm = (static_cast<double>(frame.bottom) - frame.top) / 100.0;
  const double w = width_mm / 25.4 * dpi + 0.5;
  const double h = height_mm / 25.4 * dpi + 0.5;
  if (!(w >= 1 && h >= 1) || w * h > double{1 << 28}) {
    std::fprintf(stderr, "quadrine-render: %s: a frame of %.0f x %.0f pixels cannot be drawn\n",
                 input.c_str(), w, h);
    return false;
  }
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0x00FFFFFF);
  const auto start = std::chrono::steady_clock::now();
  emf::PlayStats played;
  {
    emf::Canvas canvas(out.pixels.data(), out.width, out.height, out.width * 4);
    played = emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, out.width, out.height});
  }
  out.ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (stats) {
    std::fprintf(stderr, "%s: %dx%d, %d records played in %.1f ms\n", input.c_str(), out.width,
                 out.height, played.played, out.ms);
    for (const auto& [name, count] : played.skipped) {
      std::fprintf(stderr, "  skipped %s: %d\n", name.c_str(), count);
    }
  }
  for (const std::string& notice : emf::TakeFontNotices()) {
    std::fprintf(stderr, "quadrine-render: %s\n", notice.c_str());
  }
  if (!played.failure.empty()) {
    // A page with parts missing is not written as if it were whole.
    std::fprintf(stderr, "quadrine-render: %s: %s\n", input.c_str(), played.failure.c_str());
    return false;
  }
  return true;
}

// --time: plays every page in one process, as a renderer serving a whole job would, and
// prints the milliseconds each took and their sum.
int TimePages(const std::vector<std::string>& pages, double dpi) {
  double total = 0;
  int failed = 0;
  for (const std::string& page : pages) {
    Rendered rendered;
    if (!Render(page, dpi, false, rendered)) {
      ++failed;
      continue;
    }
    std::printf("%s %.2f\n", page.c_str(), rendered.ms);
    total += rendered.ms;
  }
  std::printf("total %zu pages %.1f ms\n", pages.size() - failed, total);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input;
  std::string output;
  std::vector<std::string> timed;
  double dpi = 96;
  bool stats = false;
  bool time = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--dpi" && i + 1 < argc) {
      dpi = std::atof(argv[++i]);
    } else if (argument == "--stats") {
      stats = true;
    } else if (argument == "--time") {
      time = true;
    } else if (time) {
      timed.push_back(argument);
    } else if (input.empty()) {
      input = argument;
    } else if (output.empty()) {
      output = argument;
    } else {
      return Usage();
    }
  }
  if (!(dpi > 0 && dpi <= 2400)) {
    return Usage();
  }
  if (time) {
    return timed.empty() ? Usage() : TimePages(timed, dpi);
  }
  if (input.empty() || output.empty()) {
    return Usage();
  }
  Rendered rendered;
  if (!Render(input, dpi, stats, rendered)) {
    return 1;
  }
  std::string error;
  if (!WritePage(output, rendered.pixels, rendered.width, rendered.height, dpi, &error)) {
    std::fprintf(stderr, "quadrine-render: cannot write %s: %s\n", output.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
