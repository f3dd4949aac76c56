// quadrine-render: plays one EMF page into a white 24-bit bitmap of the frame's size at a
// given density, so any page can be looked at and compared. Writes BMP, or PNG when the
// output name ends in .png.
#include <cairo.h>

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
#include "emf/metafile.h"
#include "emf/player.h"

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

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t image_size = stride * static_cast<uint32_t>(height);
  std::string out;
  out += "BM";
  Put32(out, 54 + image_size);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, 24);
  for (uint32_t v : {0u, image_size, 3780u, 3780u, 0u, 0u}) {
    Put32(out, v);
  }
  std::string row(stride, '\0');
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[3 * x] = static_cast<char>(p & 0xFF);
      row[3 * x + 1] = static_cast<char>((p >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<char>((p >> 16) & 0xFF);
    }
    out += row;
  }
  std::ofstream file(path, std::ios::binary);
  file << out;
  return static_cast<bool>(file.flush());
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
  std::vector<uint32_t>& pixels = rendered.pixels;
  const int width = rendered.width;
  const int height = rendered.height;
  bool written = false;
  if (output.size() > 4 && output.compare(output.size() - 4, 4, ".png") == 0) {
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                            CAIRO_FORMAT_RGB24, width, height, width * 4);
    written = cairo_surface_write_to_png(surface, output.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
  } else {
    written = WriteBmp(output, pixels, width, height);
  }
  if (!written) {
    std::fprintf(stderr, "quadrine-render: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
