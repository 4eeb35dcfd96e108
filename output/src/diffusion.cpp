#include "tessera/diffusion.h"

#include <array>
#include <cmath>

#include "tessera/extended.h"
#include "tessera/render.h"

namespace tessera {

std::span<const KernelEntry> diffusion_kernel(int dither) {
  switch (dither) {
    case 1:
      return kernel_of<1>();
    case 2:
      return kernel_of<2>();
    case 3:
      return kernel_of<3>();
    case 4:
      return kernel_of<4>();
    default:
      return {};
  }
}

void diffuse_error(Store& store, int x, int y, const double (&CDIST)[4], int dither, double strength) {
  switch (dither) {
    case 1:
      return diffuse_error_of<1>(store, x, y, CDIST, strength);
    case 2:
      return diffuse_error_of<2>(store, x, y, CDIST, strength);
    case 3:
      return diffuse_error_of<3>(store, x, y, CDIST, strength);
    case 4:
      return diffuse_error_of<4>(store, x, y, CDIST, strength);
    default:
      return;
  }
}

}  // namespace tessera
