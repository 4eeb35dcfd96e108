#include "tessera/kernel_set.h"

#include "base/kernel_forms.h"

namespace tessera {

namespace {

KernelSet detect() {
#if defined(TESSERA_AVX2_FORMS)
  // Also sound when a constructor of another library asks before libgcc's
  // own has run.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return KernelSet::Avx2;
#endif
  return KernelSet::Portable;
}

}  // namespace

KernelSet best_kernel_set() {
  static const KernelSet best = detect();
  return best;
}

}  // namespace tessera
