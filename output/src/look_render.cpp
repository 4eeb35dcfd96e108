#include "look_render.h"

#include <cstdint>
#include <utility>

#include "look_mapping.h"
#include "palette_fit.h"
#include "tessera/diffusion.h"

namespace tessera {

namespace {

std::uint32_t argb(const Store& s, int entry) {
  const auto& e = s.OCLUSTER[entry];
  return 0xFF000000u + static_cast<std::uint32_t>(e[1]) * 65536u + static_cast<std::uint32_t>(e[2]) * 256u +
         static_cast<std::uint32_t>(e[3]);
}

// Records what pixel (x, y) shows, as the classic rendering does: the
// nearest colour's error has been passed on even where transparency shows the
// key instead, so that the picture around a cut-out keeps its tone.
void record(Store& s, Surface* preview, int x, int y, int entry, int vector) {
  if (counts_as_transparent(s, s.IMAGEIN(x, y, 4))) {
    entry = s.OUTPUTFILETYPE == 1 ? s.OUTCOLORBLOCK[x / 8][y / 8][1] : 1;
    vector = 1;
  }
  for (int c = 1; c <= 3; ++c) s.IMAGEIN(x, y, c) = s.OCLUSTER[entry][c];
  s.IMAGEOUT(x, y, 4) = entry - 1;
  if (s.OUTPUTFILETYPE == 1) s.IMAGEOUT(x, y, 5) = vector;
  if (preview != nullptr) {
    const int scale = s.IMGSCALE;
    preview->fill_box(x * scale, y * scale, (x + 1) * scale - 1, (y + 1) * scale - 1, argb(s, entry));
  }
}

}  // namespace

bool wants_look_rendering(const Store& s) {
  return s.DITHER > 4 || s.DISTANCE != 0 || s.LINEARLIGHT != 0 || s.PALETTEFIT != 0 ||
         (s.OUTPUTFILETYPE == 1 && s.PAIRSDITHERED != 0);
}

namespace {

// Pairs chosen before the palette was fitted were chosen for other colours.
bool cells_chosen_dithered(const Store& s) {
  return s.OUTPUTFILETYPE == 1 && (s.PAIRSDITHERED != 0 || s.PALETTEFIT != 0);
}

}  // namespace

std::optional<look::Mapping> fit_palette_to_dithering(Store& s) {
  const look::Space space = look::space_of(s);
  std::vector<look::Entry> entries = look::palette_entries(s, space);
  return fit_palette(s, space, entries, diffusion_kernel(s.DITHER), cells_chosen_dithered(s));
}

void map_pixels_look(Store& s, Surface* preview, std::optional<look::Mapping> known) {
  const look::Space space = look::space_of(s);
  const std::vector<look::Entry> entries = look::palette_entries(s, space);
  const std::span<const KernelEntry> kernel = diffusion_kernel(s.DITHER);
  const look::Mapping mapped = known                    ? std::move(*known)
                               : cells_chosen_dithered(s) ? look::map_cells(s, space, entries, kernel)
                                                          : look::map_rows(s, space, entries, kernel, s.OUTPUTFILETYPE == 1);
  for (int y = 0; y < s.OUTPUTY; ++y)
    for (int x = 0; x < s.OUTPUTX; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * s.OUTPUTX + x;
      record(s, preview, x, y, mapped.entry[at], mapped.vector[at]);
    }
}

}  // namespace tessera
