// The input stage with each resampling method, and the census, on a
// 1024 x 768 photo (the bundled sample enlarged, saved as JPEG).
//
// The whole stage counts: decoding, resampling, tone, the 1920 x 1200 preview
// and its file. The parts are timed separately to show where the time goes.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include <QImage>
#include <QImageReader>
#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pictures/png/png_rows.h"

#include "tessera/controls.h"
#include "pictures/decode.h"
#include "pictures/picture_cache.h"
#include "input/input.h"
#include "tessera/stages.h"

namespace {

using namespace tessera;

const std::string& work_dir() {
  static const std::string dir = [] {
    const auto d = std::filesystem::temp_directory_path() / "tessera-input-bench";
    std::filesystem::create_directories(d);
    return d.string();
  }();
  return dir;
}

const std::string& photo() {
  static const std::string path = [] {
    const std::string p = work_dir() + "/photo_1024x768.jpg";
    QImage(QString(TESSERA_SAMPLES) + "/demo_snake_600x450.jpg")
        .scaled(1024, 768, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .save(QString::fromStdString(p), "JPEG", 90);
    return p;
  }();
  return path;
}

void prepare(Store& s, ControlValues& cv) {
  s.OPENFILENAME = photo();
  s.TEMPFILEPATH = work_dir();
  cv.select(Ctl::Fill);
}

void BM_REDISPLAYINPUT(benchmark::State& state) {
  Store s;
  ControlValues cv;
  prepare(s, cv);
  cv.output_index = static_cast<int>(state.range(1));
  for (auto _ : state) {
    s.SCALE = static_cast<int>(state.range(0));
    forget_input_picture(s);  // the whole stage, decoding included
    REDISPLAYINPUT(s, cv);
  }
  if (!s.LOADERROR.empty()) state.SkipWithError(s.LOADERROR.c_str());
}
BENCHMARK(BM_REDISPLAYINPUT)
    ->ArgNames({"method", "bmp4"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_COUNTINPUTCOLORS(benchmark::State& state) {
  Store s;
  ControlValues cv;
  prepare(s, cv);
  s.SCALE = static_cast<int>(Resampler::Average);  // a smooth photo: about as many colours as pixels
  REDISPLAYINPUT(s, cv);
  for (auto _ : state) COUNTINPUTCOLORS(s, cv);
  state.counters["colours"] = s.COLCOUNT;
}
BENCHMARK(BM_COUNTINPUTCOLORS)->Unit(benchmark::kMicrosecond);

// The parts of the stage.
void BM_Decode(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(decode_picture(photo()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// The same photo as an RGB PNG, as libpng writes it (filters chosen per row):
// decoded by the reader that needs no Qt, and by Qt's reader the way it was
// decoded before (the format named, then converted to straight ARGB).
const std::string& png_photo() {
  static const std::string path = [] {
    const std::string p = work_dir() + "/photo_1024x768.png";
    QImage(QString(TESSERA_SAMPLES) + "/demo_snake_600x450.png")
        .scaled(1024, 768, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32)
        .save(QString::fromStdString(p), "PNG");
    return p;
  }();
  return path;
}

void BM_DecodePng(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(decode_picture(png_photo()));
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);

void BM_DecodePngThroughQt(benchmark::State& state) {
  const QString path = QString::fromStdString(png_photo());
  for (auto _ : state) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    image.convertTo(QImage::Format_ARGB32);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DecodePngThroughQt)->Unit(benchmark::kMillisecond);

// The PNG photo's rows undone alone, as RGB rows all filtered with Paeth
// (libpng's usual choice for photos): kernels = 0 the portable form (SSE2),
// 1 AVX2, 2 the reading row by row.
void BM_UnfilterPngRows(benchmark::State& state) {
  const QImage image = QImage(QString::fromStdString(png_photo())).convertToFormat(QImage::Format_RGB32);
  const auto width = static_cast<std::size_t>(image.width()), height = static_cast<std::size_t>(image.height());
  const std::size_t row_bytes = width * 3;
  std::vector<std::uint8_t> pixels(row_bytes * height), raw;
  for (std::size_t y = 0; y < height; ++y)
    for (std::size_t x = 0; x < width; ++x) {
      const QRgb v = image.pixel(static_cast<int>(x), static_cast<int>(y));
      std::uint8_t* p = pixels.data() + y * row_bytes + x * 3;
      p[0] = static_cast<std::uint8_t>(qRed(v));
      p[1] = static_cast<std::uint8_t>(qGreen(v));
      p[2] = static_cast<std::uint8_t>(qBlue(v));
    }
  for (std::size_t y = 0; y < height; ++y) {
    raw.push_back(4);
    const std::uint8_t* row = pixels.data() + y * row_bytes;
    const std::uint8_t* above = y ? row - row_bytes : nullptr;
    for (std::size_t i = 0; i < row_bytes; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = above ? above[i] : 0, c = above && i >= 3 ? above[i - 3] : 0;
      const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
      const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
      raw.push_back(static_cast<std::uint8_t>(row[i] - pred));
    }
  }
  raw.resize(raw.size() + 16);
  std::vector<std::uint32_t> out(width * height);
  const auto kernels = state.range(0);
  if (kernels == 1 && tessera::best_kernel_set() < tessera::KernelSet::Avx2) state.SkipWithError("no AVX2");
  for (auto _ : state) {
    const bool ok = kernels == 2 ? tessera::detail::unfilter_rows_to_argb_by_row(raw.data(), width, height, 3, out.data())
                                 : tessera::detail::unfilter_rows_to_argb(
                                       raw.data(), width, height, 3, out.data(),
                                       kernels ? tessera::KernelSet::Avx2 : tessera::KernelSet::Portable);
    if (!ok) state.SkipWithError("refused");
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_UnfilterPngRows)->ArgName("kernels")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The bundled 600 x 450 JPEG, decoding alone: reader = 0 is decode_picture
// (libjpeg straight into the frame when the picture allows it), reader = 1
// the way the Qt path reads it (Qt's JPEG reader, then straight ARGB).
void BM_DecodeJpeg600x450(benchmark::State& state) {
  const std::string path = std::string(TESSERA_SAMPLES) + "/demo_snake_600x450.jpg";
  const bool qt = state.range(0) != 0;
  for (auto _ : state) {
    if (qt) {
      QImageReader reader(QString::fromStdString(path), "jpeg");
      reader.setAutoDetectImageFormat(false);
      reader.setAutoTransform(false);
      QImage image = reader.read();
      image.convertTo(QImage::Format_ARGB32);
      benchmark::DoNotOptimize(image.constBits());
    } else {
      DecodedPicture d = decode_picture(path);
      if (!d.error.empty()) state.SkipWithError(d.error.c_str());
      benchmark::DoNotOptimize(d.frame.pixels);
    }
  }
}
BENCHMARK(BM_DecodeJpeg600x450)->ArgName("reader")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Resample(benchmark::State& state) {
  DecodedPicture picture = decode_picture(photo());
  Store s;
  s.OUTPUTX = 320;
  s.OUTPUTY = 200;
  const Placement p = place_picture(PlaceMode::Fill, 1, 1, picture.frame.width, picture.frame.height);
  for (auto _ : state) resample(s, picture.frame, p, static_cast<Resampler>(state.range(0)));
}
BENCHMARK(BM_Resample)->ArgName("method")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A brightness click in the window on a 48-megapixel photo: the input stage
// and the census again. kept = 1 uses the picture kept from the run before,
// as the window does; kept = 0 decodes the file again each time.
const std::string& photo_48mp() {
  static const std::string path = [] {
    const std::string p = work_dir() + "/photo_8000x6000.jpg";
    if (!std::filesystem::exists(p))
      QImage(QString(TESSERA_SAMPLES) + "/demo_snake_600x450.jpg")
          .scaled(8000, 6000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
          .save(QString::fromStdString(p), "JPEG", 90);
    return p;
  }();
  return path;
}

void BM_BrightnessClick48MP(benchmark::State& state) {
  auto s = std::make_unique<Store>();
  ControlValues cv;
  s->OPENFILENAME = photo_48mp();
  s->TEMPFILEPATH = work_dir();
  REDISPLAYINPUT(*s, cv);  // opening the picture
  COUNTINPUTCOLORS(*s, cv);
  if (!s->LOADERROR.empty()) state.SkipWithError(s->LOADERROR.c_str());
  const bool kept = state.range(0) != 0;
  for (auto _ : state) {
    if (!kept) tessera::forget_input_picture(*s);
    s->BRIGHTNESS = (s->BRIGHTNESS + 1) % 256;
    REDISPLAYINPUT(*s, cv);
    COUNTINPUTCOLORS(*s, cv);
  }
  state.counters["decodes"] = static_cast<double>(s->INPUTPICTURE->decodes());
}
BENCHMARK(BM_BrightnessClick48MP)->ArgName("kept")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
