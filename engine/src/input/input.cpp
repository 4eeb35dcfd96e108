// The input stage: from the opened picture to the working image, its
// untouched copy and the input preview.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tessera/controls.h"
#include "tessera/extended.h"
#include "input/input.h"
#include "pictures/picture_cache.h"
#include "tessera/stages.h"
#include "tessera/surface.h"

namespace tessera {

namespace {

using ld = long double;

// Rounds half to even and clamps to 0..255. Anything that is not a number
// (only reachable with settings far outside their ranges) reads as 0.
int round_channel(ld v) { return std::clamp(round_even_int(v), 0, 255); }

void greyscale(Frame& f) {
  const std::size_t n = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t p = f.pixels[i];
    const auto g = static_cast<std::uint32_t>(
        grey_value(static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)));
    f.pixels[i] = (p & 0xFF000000u) | (g << 16) | (g << 8) | g;
  }
}

void adjust_tones(Store& s) {
  // Every working channel is one of 256 values, so the rule is a table.
  const float contrast = scaled_contrast(s.CONTRAST);
  std::array<int, 256> tone{};
  for (int v = 0; v < 256; ++v) tone[static_cast<std::size_t>(v)] = adjust_tone(v, s.BRIGHTNESS, contrast);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x)
      for (int c = 1; c <= 3; ++c) {
        const int v = tone[static_cast<std::size_t>(std::clamp(s.IMAGEIN(x, y, c), 0, 255))];
        s.IMAGEIN(x, y, c) = v;
        s.IMAGEINORG(x, y, c) = v;
      }
}

std::uint32_t opaque(int r, int g, int b) {
  return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
         static_cast<std::uint32_t>(b);
}

// Draws the working image over the checkerboard, enlarged IMGSCALE times,
// notes whether any pixel is less than opaque, and writes and shows it.
void show_input_preview(Store& s, Controls& controls) {
  const int scale = std::max(s.IMGSCALE, 1);
  const int width = scale * s.OUTPUTX;
  Surface out(width, scale * s.OUTPUTY, 0xFF000000u);
  // Checkerboard cells are 10 preview pixels wide and 20 high, white where
  // (X \ 10) + (Y \ 20) is even. Within one working row the preview rows
  // differ only in that phase, so both versions of the row are made once.
  std::vector<std::uint32_t> row[2];
  row[0].resize(static_cast<std::size_t>(width));
  row[1].resize(static_cast<std::size_t>(width));
  for (int ys = 0; ys < s.OUTPUTY; ++ys) {
    for (int xs = 0; xs < s.OUTPUTX; ++xs) {
      const int alpha = s.IMAGEIN(xs, ys, 4);
      if (alpha < 255) s.ISTRANSPARENT = 1;  // alpha / 255 < 1
      const int r = s.IMAGEIN(xs, ys, 1), g = s.IMAGEIN(xs, ys, 2), b = s.IMAGEIN(xs, ys, 3);
      const std::uint32_t over_white =
          opaque(blend_over_checkerboard(alpha, r, 255), blend_over_checkerboard(alpha, g, 255),
                 blend_over_checkerboard(alpha, b, 255));
      const std::uint32_t over_grey =
          opaque(blend_over_checkerboard(alpha, r, 128), blend_over_checkerboard(alpha, g, 128),
                 blend_over_checkerboard(alpha, b, 128));
      for (int X = xs * scale; X < (xs + 1) * scale; ++X) {
        const bool white_cell = (X / 10) % 2 == 0;
        row[0][static_cast<std::size_t>(X)] = white_cell ? over_white : over_grey;
        row[1][static_cast<std::size_t>(X)] = white_cell ? over_grey : over_white;
      }
    }
    for (int Y = ys * scale; Y < (ys + 1) * scale; ++Y) {
      const std::vector<std::uint32_t>& line = row[(Y / 20) % 2];
      for (int X = 0; X < width; ++X) out.set_pixel(X, Y, line[static_cast<std::size_t>(X)]);
    }
  }
  const std::string path = write_preview(s, "test", out);
  controls.show_picture(Ctl::InputImgFrame, path, out);
  finish_preview(s);
}

// What the input preview notes while it draws, without drawing: whether any
// working pixel is less than opaque.
void note_transparency(Store& s) {
  for (int ys = 0; ys < s.OUTPUTY; ++ys)
    for (int xs = 0; xs < s.OUTPUTX; ++xs)
      if (s.IMAGEIN(xs, ys, 4) < 255) {
        s.ISTRANSPARENT = 1;
        return;
      }
}

}  // namespace

int grey_value(int red, int green, int blue) {
  return round_even_int(0.299 * static_cast<ld>(red) + 0.587 * static_cast<ld>(green) + 0.114 * static_cast<ld>(blue));
}

float scaled_contrast(int contrast) { return static_cast<float>((static_cast<ld>(contrast) + 100) / 100); }

int adjust_tone(int value, int brightness, float scaledcontrast) {
  const ld v = static_cast<ld>(static_cast<long long>(value) + brightness);
  return round_channel((v - 128) * scaledcontrast + 128);
}

int blend_over_checkerboard(int alpha, int value, int background) {
  // Exactly what the formula gives for these two, and most pixels are one.
  if (alpha == 255) return std::clamp(value, 0, 255);
  if (alpha == 0) return std::clamp(background, 0, 255);
  const double a = static_cast<double>(static_cast<ld>(alpha) / 255);
  return round_channel(static_cast<ld>(a) * value + (1 - static_cast<ld>(a)) * background);
}

void REDISPLAYINPUT(Store& s, Controls& controls) {
  s.OUTPUTFILETYPE = controls.selected_index(Ctl::OutputTypesBox) == 0 ? 1 : 4;
  // The last checked button of the group counts; with none checked, the
  // window's start state, Stretch.
  PlaceMode scaleaspect = PlaceMode::Stretch;
  for (const SettingWord& w : setting_key("place").words)
    if (controls.checked(w.control)) scaleaspect = static_cast<PlaceMode>(w.value);
  s.ISTRANSPARENT = 0;

  if (!s.INPUTPICTURE) s.INPUTPICTURE.reset(new PictureCache);
  const DecodedPicture picture = s.INPUTPICTURE->get(s.OPENFILENAME);
  s.LOADERROR = picture.error;
  s.LOADDAMAGE = picture.damage;
  Frame frame = picture.frame;
  s.XSIZE = frame.width;
  s.YSIZE = frame.height;
  s.OUTPUTX = s.OUTPUTFILETYPE == 1 ? kMaxWidth : kMaxWidth / 2;
  s.OUTPUTY = kMaxHeight;

  // The decoded pixels are kept for the next run; the grey ones are this
  // run's own.
  std::vector<std::uint32_t> grey;
  if (controls.checked(Ctl::GreyScale) && frame.pixels) {
    grey.assign(frame.pixels, frame.pixels + static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
    frame.pixels = grey.data();
    greyscale(frame);
  }

  s.IMAGEIN.clear();
  s.IMAGEINORG.clear();

  const bool decoded = s.XSIZE > 0 && s.YSIZE > 0;
  const Placement placement =
      decoded ? place_picture(scaleaspect, s.OUTPUTFILETYPE, s.ASPECT, s.XSIZE, s.YSIZE) : Placement{};
  s.XSCALE = placement.XSCALE;
  s.YSCALE = placement.YSCALE;
  s.OFFSETX = placement.OFFSETX;
  s.OFFSETY = placement.OFFSETY;

  // Averaging cannot enlarge; a picture smaller than the working image is
  // taken by nearest neighbour from now on, until a method is chosen again.
  if (s.SCALE == static_cast<int>(Resampler::Average) && (s.XSIZE < s.OUTPUTX || s.YSIZE < s.OUTPUTY))
    s.SCALE = static_cast<int>(Resampler::Nearest);

  // An undecodable picture leaves the working image transparent black.
  if (decoded) resample(s, frame, placement, static_cast<Resampler>(s.SCALE));

  adjust_tones(s);
  if (s.PREVIEWS)
    show_input_preview(s, controls);
  else
    note_transparency(s);
}

void forget_input_picture(Store& s) {
  if (s.INPUTPICTURE) s.INPUTPICTURE->clear();
}

}  // namespace tessera
