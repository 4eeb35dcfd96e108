// Rendering against a literal, unoptimised transcription of the algorithm:
// no saturation, nearbyint rounding, 64-bit channel values. At strengths up
// to 100 % the saturation must never make a difference.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel_sets.h"
#include "output_fixture.h"
#include "tessera/render.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

struct Tap {
  int dx, dy;
  double w;
};

std::vector<Tap> taps(int dither) {
  switch (dither) {
    case 1:
      return {{1, 0, 7.0 / 16}, {1, 1, 1.0 / 16}, {0, 1, 5.0 / 16}, {-1, 1, 3.0 / 16}};
    case 2:
      return {{1, 0, .125}, {2, 0, .125}, {-1, 1, .125}, {0, 1, .125}, {1, 1, .125}, {0, 2, .125}};
    case 3:
      return {{1, 0, .25}, {2, 0, .125}, {-2, 1, .0625}, {-1, 1, .125},
              {0, 1, .25}, {1, 1, .125}, {2, 1, .0625}};
    case 4:
      return {{1, 0, 8.0 / 42},  {2, 0, 4.0 / 42}, {-2, 1, 2.0 / 42}, {-1, 1, 4.0 / 42},
              {0, 1, 8.0 / 42},  {1, 1, 4.0 / 42}, {2, 1, 2.0 / 42},  {-2, 2, 1.0 / 42},
              {-1, 2, 2.0 / 42}, {0, 2, 4.0 / 42}, {1, 2, 2.0 / 42},  {2, 2, 1.0 / 42}};
  }
  return {};
}

// Palette indices (and pair sides) of a rendering without the ordered pre-pass.
struct Plain {
  std::vector<int> index, side;
  long long largest = 0;  // largest channel magnitude met on the way
};

Plain plain_render(const Store& s, int dither, double strength) {
  const int W = s.OUTPUTX, H = s.OUTPUTY;
  std::vector<long long> v(static_cast<std::size_t>(W * H * 3));
  auto at = [&](int x, int y, int c) -> long long& {
    return v[static_cast<std::size_t>((y * W + x) * 3 + c)];
  };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < 3; ++c) at(x, y, c) = s.IMAGEINORG(x, y, c + 1);
  Plain out;
  out.index.assign(static_cast<std::size_t>(W * H), -1);
  out.side.assign(static_cast<std::size_t>(W * H), 0);
  const bool bmp1 = s.OUTPUTFILETYPE == 1;
  for (int y = 0; y < H; ++y) {
    for (int k = 0; k < W; ++k) {
      const int x = y % 2 == 0 ? k : W - 1 - k;
      auto dist = [&](int e) {
        long long d = 0;
        for (int c = 0; c < 3; ++c)
          d += (at(x, y, c) - s.OCLUSTER[e][c + 1]) * (at(x, y, c) - s.OCLUSTER[e][c + 1]);
        return d;
      };
      int entry = 0, side = 1;
      if (bmp1) {
        const int a = s.OUTCOLORBLOCK[x / 8][y / 8][1], b = s.OUTCOLORBLOCK[x / 8][y / 8][2];
        side = dist(b) < dist(a) ? 2 : 1;
        entry = side == 1 ? a : b;
      } else {
        long long best = -1;
        for (int e = s.ISTRANSPARENT == 1 ? 2 : 1; e <= 16; ++e)
          if (best < 0 || dist(e) < best) best = dist(e), entry = e;
      }
      double err[3];
      for (int c = 0; c < 3; ++c) err[c] = static_cast<double>(at(x, y, c) - s.OCLUSTER[entry][c + 1]);
      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) {
        entry = bmp1 ? s.OUTCOLORBLOCK[x / 8][y / 8][1] : 1;
        side = 1;
      }
      out.index[static_cast<std::size_t>(y * W + x)] = entry - 1;
      out.side[static_cast<std::size_t>(y * W + x)] = side;
      for (const Tap& t : taps(dither)) {
        const int tx = x + (y % 2 == 0 ? t.dx : -t.dx), ty = y + t.dy;
        if (tx < 0 || tx >= W || ty >= H) continue;
        for (int c = 0; c < 3; ++c) {
          const long double next = at(tx, ty, c) + static_cast<long double>(t.w) * err[c] * strength;
          at(tx, ty, c) = static_cast<long long>(std::nearbyint(next));
          out.largest = std::max(out.largest, std::llabs(at(tx, ty, c)));
        }
      }
    }
  }
  return out;
}

}  // namespace

class RenderReference : public EveryKernelSet {};

TEST_P(RenderReference, EveryKernelAndFormatMatchesThePlainAlgorithm) {
  for (int format : {1, 4}) {
    for (int dither = 1; dither <= 4; ++dither) {
      for (const char* text : {"100", "75", "33.3"}) {
        Store s;
        // No previews to write: they change nothing of the mapping.
        prepare(s, format, "");
        s.PREVIEWS = false;
        grid_palette(s);
        photo(s, static_cast<unsigned>(format * 10 + dither));
        s.MANUALTRANSPARENT = 1;  // keep the palette order as it is
        if (dither % 2 == 0) {
          s.ISTRANSPARENT = 1;
          set_entry(s, 1, 255, 0, 255);
          for (int y = 0; y < 200; ++y)
            for (int x = 0; x < s.OUTPUTX; ++x) s.IMAGEIN(x, y, 4) = (x * 13 + y * 7) % 256;
        }
        for (int cx = 0; cx < 40; ++cx)
          for (int cy = 0; cy < 25; ++cy) {
            s.OUTCOLORBLOCK[cx][cy][1] = 1 + (cx * 5 + cy) % 16;
            s.OUTCOLORBLOCK[cx][cy][2] = 1 + (cx + cy * 3 + 7) % 16;
          }
        const Plain expected = plain_render(s, dither, diffusion_strength(text));
        ControlValues c;
        c.checks[Ctl::Dither] = true;
        c.select(std::vector<Ctl>{Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki}[dither - 1]);
        c.texts[Ctl::DitherValue] = text;
        DRAWOUTPUT(s, c, kernels());
        EXPECT_LT(expected.largest, kChannelCeiling) << "saturation is never reached here";
        int mismatches = 0;
        for (int y = 0; y < 200; ++y)
          for (int x = 0; x < s.OUTPUTX; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * s.OUTPUTX + x);
            mismatches += s.IMAGEOUT(x, y, 4) != expected.index[i];
            if (format == 1) mismatches += s.IMAGEOUT(x, y, 5) != expected.side[i];
          }
        EXPECT_EQ(mismatches, 0) << "format " << format << " kernel " << dither << " strength " << text;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, RenderReference, ::testing::ValuesIn(kEveryKernelSet), kernel_set_test_name);
