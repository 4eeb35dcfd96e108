// The sets of forms the vectorised kernels come in. Every kernel has a
// portable form, built for the processor the build targets (on x86-64 that
// takes SSE2 for granted); some also have a form for processors with AVX2.
// Both give the same results, bit for bit. The kernels' dispatchers take the
// set to run, so that the tests can run every form the machine has, not only
// the one the programs pick.
#pragma once

namespace tessera {

// In order: a set runs wherever every set after it runs.
enum class KernelSet { Portable, Avx2 };

// The widest set this build and this processor run; the processor is asked
// once. Portable wherever the build has no AVX2 forms.
KernelSet best_kernel_set();

}  // namespace tessera
