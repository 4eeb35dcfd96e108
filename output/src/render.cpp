#include "tessera/render.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "diffusion_avx2.h"
#include "look_render.h"
#include "tessera/bayer.h"
#include "tessera/diffusion.h"
#include "tessera/number.h"
#include "tessera/pins.h"
#include "tessera/surface.h"

namespace tessera {

namespace {

// Larger than any distance a saturated channel can reach, so that every pixel
// finds a colour.
constexpr double kFarAway = 99999999.0;

int distance(const Store& s, int x, int y, int entry) {
  return SQD(s.IMAGEIN(x, y, 1), s.OCLUSTER[entry][1]) + SQD(s.IMAGEIN(x, y, 2), s.OCLUSTER[entry][2]) +
         SQD(s.IMAGEIN(x, y, 3), s.OCLUSTER[entry][3]);
}

std::uint32_t argb(const Store& s, int entry) {
  const auto& e = s.OCLUSTER[entry];
  return 0xFF000000u + static_cast<std::uint32_t>(e[1]) * 65536u + static_cast<std::uint32_t>(e[2]) * 256u +
         static_cast<std::uint32_t>(e[3]);
}

void read_settings(Store& s, Controls& controls) {
  if (!controls.checked(Ctl::Dither)) {
    s.DITHER = 0;
  } else {
    if (controls.checked(Ctl::Atkinson)) s.DITHER = 2;
    if (controls.checked(Ctl::FloydSteinburg)) s.DITHER = 1;
    if (controls.checked(Ctl::Burkes)) s.DITHER = 3;
    if (controls.checked(Ctl::Stucki)) s.DITHER = 4;
    if (s.KERNEL != 0) s.DITHER = s.KERNEL;
    s.DITHERSTRENGTH = diffusion_strength(controls.text(Ctl::DitherValue));
  }
  s.PATTERN = controls.checked(Ctl::pattern) ? 1 : 0;
}

// A BMP4 picture without a transparent colour gives index 0 to the colour
// nearest its top-left pixel. The exchange stays in the palette, so the file,
// the swatches and every later run see the same order.
void reorder_palette(Store& s, Controls& controls) {
  double MINDIST = kFarAway;
  int m = 0;
  for (int i = 1; i <= 16; ++i) {
    // The pixel as it was before the ordered pass.
    const int d = SQD(s.IMAGEINORG(0, 0, 1), s.OCLUSTER[i][1]) + SQD(s.IMAGEINORG(0, 0, 2), s.OCLUSTER[i][2]) +
                  SQD(s.IMAGEINORG(0, 0, 3), s.OCLUSTER[i][3]);
    if (MINDIST > d) {
      MINDIST = d;
      m = i;
    }
  }
  if (m == 1 || m == 0 || s.MANUALTRANSPARENT != 0 || s.ISTRANSPARENT != 0 || s.OUTPUTFILETYPE != 4) return;
  // A pinned colour keeps its entry: the user chose where it stands.
  if (is_pinned(s, 1) || is_pinned(s, m)) return;
  for (int c = 1; c <= 3; ++c) std::swap(s.OCLUSTER[1][c], s.OCLUSTER[m][c]);
  for (int k = 1; k <= 16; ++k)
    controls.set_swatch(k, control_colour(s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]));
}

// Maps every pixel, serpentine, passing the error on with kernel Dither
// (0: none); draws into the preview surface when there is one. One copy of
// the loop per kernel, so that the diffusion step is compiled for it, and per
// form of the diffusion step (Avx2: three channels at a time).
template <int Dither, bool Avx2>
__attribute__((always_inline)) inline void map_pixels_body(Store& s, Surface* preview) {
  const bool bmp1 = s.OUTPUTFILETYPE == 1;
  const int scale = s.IMGSCALE;
  const int STARTINDEX = s.ISTRANSPARENT == 1 ? 2 : 1;

  for (int y = 0; y < s.OUTPUTY; ++y) {
    const bool forward = (y & 1) == 0;
    const int XSTART = forward ? 0 : s.OUTPUTX - 1;
    const int XEND = forward ? s.OUTPUTX : -1;
    const int XSTEP = forward ? 1 : -1;
    for (int x = XSTART; x != XEND; x += XSTEP) {
      double MINDIST = kFarAway;
      int MINI = 0;
      int MINI_VECTOR = 1;
      const int XBLOCK = x / 8, YBLOCK = y / 8;
      if (bmp1) {
        // Only the cell's pair may appear here; a tie keeps the first colour.
        for (int v = 1; v <= 2; ++v) {
          const int entry = s.OUTCOLORBLOCK[XBLOCK][YBLOCK][v];
          const int d = distance(s, x, y, entry);
          if (MINDIST > d) {
            MINDIST = d;
            MINI_VECTOR = v;
          }
        }
        MINI = s.OUTCOLORBLOCK[XBLOCK][YBLOCK][MINI_VECTOR];
      } else {
        for (int i = STARTINDEX; i <= 16; ++i) {
          const int d = distance(s, x, y, i);
          if (MINDIST > d) {
            MINDIST = d;
            MINI = i;
          }
        }
      }

      // The error is that of the nearest colour even where transparency
      // overrides the colour below, so the picture around a cut-out edge
      // keeps its tone.
      double CDIST[4] = {0, 0, 0, 0};
      for (int c = 1; c <= 3; ++c) {
        CDIST[c] = static_cast<double>(s.IMAGEIN(x, y, c)) - static_cast<double>(s.OCLUSTER[MINI][c]);
        s.IMAGEIN(x, y, c) = s.OCLUSTER[MINI][c];
      }

      if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) {
        // A BMP1 pixel can only show a colour of its cell's pair; the first
        // one is the key colour whenever the pair holds it, and it is what the
        // file stores for a zero bit, so preview, export and file agree.
        MINI = bmp1 ? s.OUTCOLORBLOCK[XBLOCK][YBLOCK][1] : 1;
        MINI_VECTOR = 1;
        for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.OCLUSTER[MINI][c];
      }

      s.IMAGEOUT(x, y, 4) = MINI - 1;
      if (bmp1) s.IMAGEOUT(x, y, 5) = MINI_VECTOR;

      if (preview != nullptr)
        preview->fill_box(x * scale, y * scale, (x + 1) * scale - 1, (y + 1) * scale - 1, argb(s, MINI));

      if constexpr (Dither > 0) {
#if defined(TESSERA_AVX2_FORMS)
        if constexpr (Avx2) {
          diffuse_error_avx2<Dither>(s, x, y, CDIST, s.DITHERSTRENGTH);
          continue;
        }
#endif
        diffuse_error_of<Dither>(s, x, y, CDIST, s.DITHERSTRENGTH);
      }
    }
  }
}

template <int Dither>
void map_pixels_plain(Store& s, Surface* preview) {
  map_pixels_body<Dither, false>(s, preview);
}

#if defined(TESSERA_AVX2_FORMS)
template <int Dither>
void map_pixels_avx2(Store& s, Surface* preview) {
  map_pixels_body<Dither, true>(s, preview);
}
#endif

template <int Dither>
void map_pixels(Store& s, Surface* preview, KernelSet kernels) {
#if defined(TESSERA_AVX2_FORMS)
  if (Dither > 0 && kernels == KernelSet::Avx2) return map_pixels_avx2<Dither>(s, preview);
#endif
  (void)kernels;
  map_pixels_plain<Dither>(s, preview);
}

void map_pixels_classic(Store& s, Surface* preview, KernelSet kernels) {
  switch (s.DITHER) {
    case 1:
      map_pixels<1>(s, preview, kernels);
      break;
    case 2:
      map_pixels<2>(s, preview, kernels);
      break;
    case 3:
      map_pixels<3>(s, preview, kernels);
      break;
    case 4:
      map_pixels<4>(s, preview, kernels);
      break;
    default:  // no diffusion (any other kernel number has no entries)
      map_pixels<0>(s, preview, kernels);
      break;
  }
}

}  // namespace

double bayer_strength(std::string_view text) {
  return static_cast<double>(static_cast<long double>(number_value(text)) / 100);
}

double diffusion_strength(std::string_view text) {
  constexpr double kDamping = 0.95;
  return static_cast<double>(static_cast<long double>(number_value(text)) / 100 * kDamping);
}

void DRAWOUTPUT(Store& s, Controls& controls, KernelSet kernels) {
  read_settings(s, controls);

  const bool bmp1 = s.OUTPUTFILETYPE == 1;
  const int scale = s.IMGSCALE;
  // Without previews nothing is drawn: an empty surface.
  const bool preview = s.PREVIEWS;
  Surface OUTPUTIMAGE(preview ? scale * (bmp1 ? 320 : 160) : 0, preview ? scale * 200 : 0, 0xFF000000u);

  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.IMAGEINORG(x, y, c);

  if (s.PALETTEFIT != 0) {
    // Fitted again from the palette selection chose, so that rendering the
    // picture again gives the same palette; entries the user set by hand
    // stay as set.
    for (int k = 1; k <= 16; ++k)
      if (!s.FITHELD[static_cast<std::size_t>(k)]) s.OCLUSTER[k] = s.CHOSENCLUSTER[k];
  }

  if (s.PATTERN == 1) ordered_prepass(s);
  std::optional<look::Mapping> fitted;
  if (s.PALETTEFIT != 0) fitted = fit_palette_to_dithering(s);
  const Palette fitted_palette = s.OCLUSTER;
  if (s.OUTPUTX > 0 && s.OUTPUTY > 0) reorder_palette(s, controls);  // no top-left pixel before a picture
  // Entries traded places: nearest colours that tie may fall the other way.
  if (s.OCLUSTER != fitted_palette) fitted.reset();
  if (s.PALETTEFIT != 0)
    for (int k = 1; k <= 16; ++k)
      controls.set_swatch(k, control_colour(s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]));

  if (wants_look_rendering(s)) {
    map_pixels_look(s, preview ? &OUTPUTIMAGE : nullptr, std::move(fitted));
  } else {
    map_pixels_classic(s, preview ? &OUTPUTIMAGE : nullptr, kernels);
  }

  s.RENDEREDFILETYPE = s.OUTPUTFILETYPE;
  s.RENDEREDFILENAME = s.OPENFILENAME;
  s.RENDEREDLOADERROR = s.LOADERROR;
  if (s.KEEPRENDERED)
    for (int y = 0; y < s.OUTPUTY; ++y)
      for (int x = 0; x < s.OUTPUTX; ++x)
        for (int c = 1; c <= 3; ++c) s.RENDEREDIMAGE(x, y, c) = s.IMAGEIN(x, y, c);

  if (!preview) return;
  // A preview that cannot be written is not fatal; the frame still gets the surface.
  const std::string path = write_preview(s, "outimage", OUTPUTIMAGE);
  controls.show_picture(Ctl::OutputImgFrame, path, OUTPUTIMAGE);
  finish_preview(s);
}

}  // namespace tessera
