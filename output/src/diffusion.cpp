#include "tessera/diffusion.h"

#include <array>
#include <cmath>

#include "diffusion_avx2.h"
#include "tessera/extended.h"
#include "tessera/render.h"

namespace tessera {

namespace {

template <int Dither>
void diffuse_error_by(KernelSet kernels, Store& store, int x, int y, const double (&CDIST)[4], double strength) {
#if defined(TESSERA_AVX2_FORMS)
  if (kernels == KernelSet::Avx2) return diffuse_error_avx2<Dither>(store, x, y, CDIST, strength);
#endif
  (void)kernels;
  diffuse_error_of<Dither>(store, x, y, CDIST, strength);
}

}  // namespace

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
    case 5:
      return diffusion_kernels::kJarvisJudiceNinke;
    case 6:
      return diffusion_kernels::kSierra;
    case 7:
      return diffusion_kernels::kTwoRowSierra;
    case 8:
      return diffusion_kernels::kSierraLite;
    default:
      return {};
  }
}

void diffuse_error(Store& store, int x, int y, const double (&CDIST)[4], int dither, double strength,
                   KernelSet kernels) {
  switch (dither) {
    case 1:
      return diffuse_error_by<1>(kernels, store, x, y, CDIST, strength);
    case 2:
      return diffuse_error_by<2>(kernels, store, x, y, CDIST, strength);
    case 3:
      return diffuse_error_by<3>(kernels, store, x, y, CDIST, strength);
    case 4:
      return diffuse_error_by<4>(kernels, store, x, y, CDIST, strength);
    default:
      return;
  }
}

}  // namespace tessera
