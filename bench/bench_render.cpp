// DRAWOUTPUT on the demo photo, once per diffusion kernel, preview file
// included (in $TMP). Target: under 10 ms a run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/store.h"

namespace fs = std::filesystem;
using namespace tessera;

namespace {

const Ctl kKernels[] = {Ctl::Dither, Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki};
const char* const kNames[] = {"none", "floyd-steinberg", "atkinson", "burkes", "stucki"};

// The demo photo taken through stages 1 to 3 once, in the given format.
const Store& prepared(int format) {
  static std::unique_ptr<Store> stores[2];
  auto& s = stores[format == 1 ? 0 : 1];
  if (!s) {
    s = std::make_unique<Store>();
    // One directory for every run: the rotation keeps it at five files.
    const fs::path temp = fs::path(default_temp_path()) / "tessera_bench_render";
    fs::create_directories(temp);
    s->TEMPFILEPATH = temp.string();
    s->OPENFILENAME = TESSERA_SAMPLES "/demo_snake_600x450.png";
    ControlValues c;
    c.output_index = format == 1 ? 0 : 1;
    REDISPLAYINPUT(*s, c);
    COUNTINPUTCOLORS(*s, c);
    INITIALIZECOLORS(*s, c);
  }
  return *s;
}

// DRAWOUTPUT on the prepared photo; with_file false points the preview at a
// directory that cannot exist, so its write fails at once, to tell the
// rendering from the 9 MB file write.
// previews false: nothing drawn at all, as on the command line.
void render(benchmark::State& state, bool with_file, bool previews = true) {
  const int format = static_cast<int>(state.range(0));
  const int kernel = static_cast<int>(state.range(1));
  auto s = std::make_unique<Store>(prepared(format));
  if (!with_file) s->TEMPFILEPATH = "/dev/null";
  s->PREVIEWS = previews;
  ControlValues c;
  if (kernel > 0) {
    c.checks[Ctl::Dither] = true;
    c.select(kKernels[kernel]);
  }
  for (auto _ : state) {
    DRAWOUTPUT(*s, c);
    benchmark::DoNotOptimize(s->IMAGEOUT(0, 0, 4));
  }
  state.SetLabel(std::string(format == 1 ? "BMP1 " : "BMP4 ") + kNames[kernel]);
}

void BM_DRAWOUTPUT(benchmark::State& state) { render(state, true); }
void BM_DRAWOUTPUT_without_file(benchmark::State& state) { render(state, false); }
void BM_DRAWOUTPUT_without_previews(benchmark::State& state) { render(state, false, false); }

BENCHMARK(BM_DRAWOUTPUT)->ArgsProduct({{1, 4}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DRAWOUTPUT_without_file)->ArgsProduct({{1, 4}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DRAWOUTPUT_without_previews)->ArgsProduct({{1, 4}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
