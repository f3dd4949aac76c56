// Small files shaped to cost the engine memory or time, each drawn by quadrine-render in a child
// process whose peak memory and time are measured: memory stays within the engine's bound
// (256 MB a page) and time grows in step with the file. Files the engine refuses by name are
// refused before they take more (expected exit 1).
//   wmf_region_selects: one region of 32,767 rectangles selected as the clip N times
//   wmf_region_changes: the same region selected again after each change of the clip, until
//     the converted page passes its bound
//   wide_frame: a 150-byte page 1,000,000 pixels wide at 96 dots per inch, and one 20 km wide
//   clip_region: one EMR_EXTSELECTCLIPRGN of N rectangles; fill_region: EMR_FILLRGN of N
//   polygon: a self-crossing polygon of N points
//   wmf_objects: N object-creating WMF records; wmf_palette: N SETPALENTRIES after a palette
//     of 65,535 entries
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <fstream>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "measure_child.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

Bytes EmfRecord(uint32_t type, const Bytes& body) {
  Bytes record;
  Put32(record, type);
  Put32(record, static_cast<uint32_t>(8 + body.size()));
  record.insert(record.end(), body.begin(), body.end());
  return record;
}

// A page whose frame is frame_width x frame_height hundredths of a millimetre.
Bytes EmfPage(const std::vector<Bytes>& records, uint32_t frame_width, uint32_t frame_height) {
  Bytes body;
  for (const Bytes& r : records) {
    body.insert(body.end(), r.begin(), r.end());
  }
  Bytes eof;
  for (uint32_t v : {0u, 16u, 20u}) {
    Put32(eof, v);
  }
  const Bytes end = EmfRecord(14, eof);
  body.insert(body.end(), end.begin(), end.end());
  Bytes page;
  for (uint32_t v : {1u, 108u, 0u, 0u, 1000u, 1000u, 0u, 0u, frame_width, frame_height,
                     0x464D4520u, 0x10000u, static_cast<uint32_t>(108 + body.size()),
                     static_cast<uint32_t>(records.size() + 2), 8u, 0u, 0u, 0u, 1920u, 1440u,
                     508u, 381u}) {
    Put32(page, v);
  }
  page.resize(108, 0);
  std::memcpy(page.data() + 56, "\x08\x00\x00\x00", 4);  // handles, reserved
  page.insert(page.end(), body.begin(), body.end());
  return page;
}

constexpr uint32_t kSquarePage = 26458;  // 1,000 pixels at 96 dots per inch

Bytes BlackBrush() {
  Bytes b;
  Put32(b, 0x80000004);
  return EmfRecord(37, b);
}

// RGNDATA of count 3 x 3 rectangles at random over the page.
Bytes RegionData(int count) {
  std::mt19937 random(2);
  Bytes rgn;
  for (uint32_t v : {32u, 1u, static_cast<uint32_t>(count), static_cast<uint32_t>(count * 16), 0u,
                     0u, 1000u, 1000u}) {
    Put32(rgn, v);
  }
  for (int i = 0; i < count; ++i) {
    const uint32_t x = random() % 990, y = random() % 990;
    for (uint32_t v : {x, y, x + 3, y + 3}) {
      Put32(rgn, v);
    }
  }
  return rgn;
}

Bytes ClipRegionPage(int count) {
  const Bytes rgn = RegionData(count);
  Bytes select;
  Put32(select, static_cast<uint32_t>(rgn.size()));
  Put32(select, 5);  // RGN_COPY
  select.insert(select.end(), rgn.begin(), rgn.end());
  Bytes box;
  for (uint32_t v : {0u, 0u, 1000u, 1000u}) {
    Put32(box, v);
  }
  return EmfPage({EmfRecord(75, select), BlackBrush(), EmfRecord(43, box)}, kSquarePage,
                 kSquarePage);
}

Bytes FillRegionPage(int count) {
  const Bytes rgn = RegionData(count);
  Bytes fill;
  for (uint32_t v : {0u, 0u, 1000u, 1000u, static_cast<uint32_t>(rgn.size()), 0x80000004u}) {
    Put32(fill, v);
  }
  fill.insert(fill.end(), rgn.begin(), rgn.end());
  return EmfPage({EmfRecord(71, fill)}, kSquarePage, kSquarePage);
}

Bytes PolygonPage(int points) {
  std::mt19937 random(1);
  Bytes polygon;
  for (uint32_t v : {0u, 0u, 1000u, 1000u, static_cast<uint32_t>(points)}) {
    Put32(polygon, v);
  }
  for (int i = 0; i < 2 * points; ++i) {
    Put16(polygon, random() % 1000);
  }
  return EmfPage({BlackBrush(), EmfRecord(86, polygon)}, kSquarePage, kSquarePage);
}

Bytes WidePage(uint32_t frame_width) {
  Bytes box;
  for (uint32_t v : {0u, 0u, 50u, 50u}) {
    Put32(box, v);
  }
  return EmfPage({BlackBrush(), EmfRecord(43, box)}, frame_width, 12700);
}

Bytes WmfRecord(uint16_t function, const Bytes& words) {
  Bytes record;
  Put32(record, static_cast<uint32_t>(3 + words.size() / 2));
  Put16(record, function);
  record.insert(record.end(), words.begin(), words.end());
  return record;
}

Bytes Words(std::initializer_list<int> words) {
  Bytes out;
  for (int w : words) {
    Put16(out, static_cast<uint32_t>(w));
  }
  return out;
}

// A plain WMF over a window of 1,000 x 1,000.
Bytes Wmf(const std::vector<Bytes>& records) {
  Bytes body;
  for (const Bytes& r : {WmfRecord(0x0103, Words({8})), WmfRecord(0x020C, Words({1000, 1000}))}) {
    body.insert(body.end(), r.begin(), r.end());
  }
  for (const Bytes& r : records) {
    body.insert(body.end(), r.begin(), r.end());
  }
  const Bytes eof = WmfRecord(0, {});
  body.insert(body.end(), eof.begin(), eof.end());
  Bytes file = Words({1, 9, 0x300});
  Put32(file, static_cast<uint32_t>((18 + body.size()) / 2));
  Put16(file, 1);
  Put32(file, 0x20000);
  Put16(file, 0);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// META_CREATEREGION of 32,767 rectangles: 128 scans of 256 (the last of 255).
Bytes BigRegion() {
  Bytes region = Words({0, 6, 0, 0, 0, 128, 512, 0, 0, 768, 512});
  int made = 0;
  for (int scan = 0; scan < 128; ++scan) {
    const int count = std::min(256, 32767 - made);
    made += count;
    Put16(region, static_cast<uint32_t>(2 * count));
    Put16(region, static_cast<uint32_t>(scan * 4));
    Put16(region, static_cast<uint32_t>(scan * 4 + 3));
    for (int i = 0; i < count; ++i) {
      Put16(region, static_cast<uint32_t>(i * 3));
      Put16(region, static_cast<uint32_t>(i * 3 + 2));
    }
    Put16(region, static_cast<uint32_t>(2 * count));
  }
  return WmfRecord(0x06FF, region);
}

Bytes RegionSelectsWmf(int selects, bool change_clip_between) {
  std::vector<Bytes> records = {BigRegion()};
  for (int i = 0; i < selects; ++i) {
    records.push_back(WmfRecord(0x012C, Words({0})));
    records.push_back(change_clip_between ? WmfRecord(0x0416, Words({900, 900, 0, 0}))
                                          : WmfRecord(0x041B, Words({500, 500, 0, 0})));
  }
  return Wmf(records);
}

Bytes ObjectsWmf(int count) {
  std::vector<Bytes> records;
  for (int i = 0; i < count; ++i) {
    records.push_back(WmfRecord(0x02FA, Words({0, 1, 0, 0, 0})));  // a pen; none deleted
  }
  records.push_back(WmfRecord(0x041B, Words({500, 500, 0, 0})));
  return Wmf(records);
}

Bytes PaletteWmf(int changes) {
  Bytes palette = Words({0x300, 65535});
  palette.resize(palette.size() + 4 * 65535, 0);
  std::vector<Bytes> records = {WmfRecord(0x00F7, palette), WmfRecord(0x0234, Words({0}))};
  for (int i = 0; i < changes; ++i) {
    records.push_back(WmfRecord(0x0037, Words({i % 65535, 1, 0x00FF, 0})));
  }
  records.push_back(WmfRecord(0x041B, Words({500, 500, 0, 0})));
  return Wmf(records);
}

// Draws the file through quadrine-render into a PNG; expected_exit 1 for a refused one.
void Render(benchmark::State& state, const Bytes& file, const char* ending, int expected_exit) {
  char input[] = "/tmp/hostile-XXXXXX";
  const int fd = mkstemp(input);
  if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
    state.SkipWithError("cannot write the input");
    return;
  }
  close(fd);
  const std::string named = std::string(input) + ending;
  std::rename(input, named.c_str());
  const std::string output = named + ".png";
  bench_support::MeasureChild(
      state,
      [&] {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        execl(QUADRINE_RENDER_TOOL, QUADRINE_RENDER_TOOL, named.c_str(), output.c_str(),
              static_cast<char*>(nullptr));
        return 127;
      },
      expected_exit);
  state.counters["file_KB"] = static_cast<double>(file.size()) / 1024;
  std::remove(named.c_str());
  std::remove(output.c_str());
}

void Measured(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}

void WmfRegionSelects(benchmark::State& state) {
  Render(state, RegionSelectsWmf(static_cast<int>(state.range(0)), false), ".wmf", 0);
}
BENCHMARK(WmfRegionSelects)->ArgName("selects")->Arg(1000)->Arg(3000)->Apply(Measured);

void WmfRegionChanges(benchmark::State& state) {
  Render(state, RegionSelectsWmf(static_cast<int>(state.range(0)), true), ".wmf", 1);
}
BENCHMARK(WmfRegionChanges)->ArgName("selects")->Arg(3000)->Apply(Measured);

void WideFrame(benchmark::State& state) {
  const int metres = static_cast<int>(state.range(0));
  Render(state, WidePage(static_cast<uint32_t>(metres) * 100000), ".emf", metres > 1000 ? 1 : 0);
}
BENCHMARK(WideFrame)->ArgName("metres")->Arg(264)->Arg(20000)->Apply(Measured);

void ClipRegion(benchmark::State& state) {
  Render(state, ClipRegionPage(static_cast<int>(state.range(0))), ".emf", 0);
}
BENCHMARK(ClipRegion)->ArgName("rects")->Arg(8000)->Arg(16000)->Arg(32000)->Apply(Measured);

void FillRegion(benchmark::State& state) {
  Render(state, FillRegionPage(static_cast<int>(state.range(0))), ".emf", 0);
}
BENCHMARK(FillRegion)->ArgName("rects")->Arg(8000)->Arg(16000)->Arg(32000)->Apply(Measured);

void Polygon(benchmark::State& state) {
  Render(state, PolygonPage(static_cast<int>(state.range(0))), ".emf", 0);
}
BENCHMARK(Polygon)
    ->ArgName("points")
    ->Arg(62500)
    ->Arg(125000)
    ->Arg(250000)
    ->Arg(500000)
    ->Arg(1000000)
    ->Apply(Measured);

void WmfObjects(benchmark::State& state) {
  Render(state, ObjectsWmf(static_cast<int>(state.range(0))), ".wmf", 0);
}
BENCHMARK(WmfObjects)->ArgName("records")->Arg(43500)->Arg(87000)->Arg(174000)->Apply(Measured);

void WmfPalette(benchmark::State& state) {
  Render(state, PaletteWmf(static_cast<int>(state.range(0))), ".wmf", 0);
}
BENCHMARK(WmfPalette)->ArgName("changes")->Arg(15000)->Arg(30000)->Arg(60000)->Apply(Measured);

}  // namespace

BENCHMARK_MAIN();
