// Palette selection for BMP1 with each method, on a 320 x 200 working image of
// noise (about 64,000 distinct colours) and on the bundled photo resampled with
// the average method. The cell pair selection, which ends every BMP1 run, is
// also timed alone, and beside it the plain 256-pair search and the plain
// exchange ordering that the fast versions replace.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "tessera/controls.h"
#include "palettes/palette_methods.h"
#include "tessera/stages.h"

namespace {

using namespace tessera;

enum Picture { kNoise = 0, kPhoto = 1 };

std::unique_ptr<Store> noise_picture() {
  auto s = std::make_unique<Store>();
  s->OUTPUTX = 320;
  s->OUTPUTY = 200;
  std::mt19937 rng(1);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const std::uint32_t v = rng();
      s->IMAGEINORG(x, y, 1) = static_cast<int>(v & 255);
      s->IMAGEINORG(x, y, 2) = static_cast<int>((v >> 8) & 255);
      s->IMAGEINORG(x, y, 3) = static_cast<int>((v >> 16) & 255);
      s->IMAGEIN(x, y, 4) = 255;
    }
  ControlValues cv;
  COUNTINPUTCOLORS(*s, cv);
  return s;
}

std::unique_ptr<Store> photo_picture() {
  auto s = std::make_unique<Store>();
  const auto dir = std::filesystem::temp_directory_path() / "tessera-palette-bench";
  std::filesystem::create_directories(dir);
  s->TEMPFILEPATH = dir.string();
  s->OPENFILENAME = std::string(TESSERA_SAMPLES) + "/demo_snake_600x450.png";
  s->SCALE = 1;
  ControlValues cv;
  REDISPLAYINPUT(*s, cv);
  COUNTINPUTCOLORS(*s, cv);
  return s;
}

Store& picture(Picture which) {
  static std::unique_ptr<Store> noise = noise_picture();
  static std::unique_ptr<Store> photo = photo_picture();
  return which == kNoise ? *noise : *photo;
}

void BM_INITIALIZECOLORS(benchmark::State& state) {
  Store& s = picture(static_cast<Picture>(state.range(1)));
  ControlValues cv;
  const Ctl methods[] = {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq};
  cv.select(methods[state.range(0)]);
  s.MAXITERATIONS = 50;
  s.OUTPUTFILETYPE = 1;
  for (auto _ : state) INITIALIZECOLORS(s, cv);
  state.counters["colours"] = s.COLCOUNT;
  state.SetLabel(cv.labels[Ctl::StatusBar]);
}
BENCHMARK(BM_INITIALIZECOLORS)
    ->ArgNames({"method", "photo"})
    ->ArgsProduct({{0, 1, 2}, {kNoise, kPhoto}})
    ->Unit(benchmark::kMillisecond);

// ColorQ alone, from the census to its palette (the cell pairs left out).
void BM_Colorq(benchmark::State& state) {
  Store& s = picture(static_cast<Picture>(state.range(0)));
  ControlValues cv;
  for (auto _ : state) colorq(s, cv, 1);
  state.SetLabel(cv.labels[Ctl::StatusBar]);
}
BENCHMARK(BM_Colorq)->ArgName("photo")->Arg(kNoise)->Arg(kPhoto)->Unit(benchmark::kMillisecond);

void BM_SELECTCOLORBLOCKS(benchmark::State& state) {
  Store& s = picture(static_cast<Picture>(state.range(0)));
  ControlValues cv;
  cv.select(Ctl::MedianCut);
  INITIALIZECOLORS(s, cv);
  for (auto _ : state) {
    s.COLORBLOCKFIRSTPASS = 1;
    SELECTCOLORBLOCKS(s, cv);
  }
}
BENCHMARK(BM_SELECTCOLORBLOCKS)->ArgName("photo")->Arg(kNoise)->Arg(kPhoto)->Unit(benchmark::kMillisecond);

// The search as plainly written: 256 ordered pairs, both roots of every pixel.
void plain_pair_search(Store& s) {
  for (int N = 0; N <= 24; ++N)
    for (int M = 0; M <= 39; ++M) {
      double MINDISTANCE = 1e30;
      int BESTCOLOR1 = -1, BESTCOLOR2 = -1;
      for (int C1 = 1; C1 <= 16; ++C1)
        for (int C2 = 1; C2 <= 16; ++C2) {
          double TOTALDISTANCE = 0;
          for (int y = 8 * N; y <= 8 * N + 7; ++y)
            for (int x = 8 * M; x <= 8 * M + 7; ++x) {
              double DISTANCE1 = 0, DISTANCE2 = 0;
              for (int c = 1; c <= 3; ++c) {
                DISTANCE1 += SQD(s.IMAGEIN(x, y, c), s.OCLUSTER[C1][c]);
                DISTANCE2 += SQD(s.IMAGEIN(x, y, c), s.OCLUSTER[C2][c]);
              }
              TOTALDISTANCE = static_cast<double>(TOTALDISTANCE +
                                                  std::min(std::sqrt(static_cast<long double>(DISTANCE1)),
                                                           std::sqrt(static_cast<long double>(DISTANCE2))));
            }
          if (MINDISTANCE > TOTALDISTANCE) {
            MINDISTANCE = TOTALDISTANCE;
            BESTCOLOR1 = C1;
            BESTCOLOR2 = C2;
          }
        }
      s.OUTCOLORBLOCK[M][N][1] = BESTCOLOR1;
      s.OUTCOLORBLOCK[M][N][2] = BESTCOLOR2;
    }
}

void BM_PlainPairSearch(benchmark::State& state) {
  Store& s = picture(kNoise);
  ControlValues cv;
  cv.select(Ctl::MedianCut);
  INITIALIZECOLORS(s, cv);
  for (auto _ : state) plain_pair_search(s);
}
BENCHMARK(BM_PlainPairSearch)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PopularityOrder(benchmark::State& state) {
  const std::vector<ColourCount> rows = colour_frequencies(picture(static_cast<Picture>(state.range(0))));
  for (auto _ : state) {
    std::vector<ColourCount> r = rows;
    popularity_order(r);
    benchmark::DoNotOptimize(r.data());
  }
  state.counters["colours"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_PopularityOrder)->ArgName("photo")->Arg(kNoise)->Arg(kPhoto)->Unit(benchmark::kMillisecond);

// A census drawn like a photo's at 320 x 200: counts from a power law (a count
// of at least c with chance c^-1.8: seven in ten colours once, one in seven
// twice), at most 250, so that a few dozen distinct counts make the chains.
void BM_PopularityOrderDrawnCensus(benchmark::State& state) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<ColourCount> rows;
  for (int i = 0; i < state.range(0); ++i) {
    const double u = 1.0 - unit(rng);
    const auto count = static_cast<std::int32_t>(std::min(250.0, std::floor(std::pow(u, -1.0 / 1.8))));
    rows.push_back(ColourCount{i * 3, count});
  }
  for (auto _ : state) {
    std::vector<ColourCount> r = rows;
    popularity_order(r);
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_PopularityOrderDrawnCensus)->ArgName("rows")->Arg(4096)->Arg(34000)->Arg(64000)->Unit(benchmark::kMillisecond);

void BM_PlainExchangeOrder(benchmark::State& state) {
  const std::vector<ColourCount> rows = colour_frequencies(picture(static_cast<Picture>(state.range(0))));
  for (auto _ : state) {
    std::vector<ColourCount> r = rows;
    for (std::size_t i = 0; i + 1 < r.size(); ++i)
      for (std::size_t j = i + 1; j < r.size(); ++j)
        if (r[i].count < r[j].count) std::swap(r[i], r[j]);
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_PlainExchangeOrder)
    ->ArgName("photo")
    ->Arg(kNoise)
    ->Arg(kPhoto)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
