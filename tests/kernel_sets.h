// Every kernel set, for tests that run each form of a kernel: the portable
// forms run everywhere, the others where the processor has them and are
// skipped, with the reason, elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tessera/kernel_set.h"

namespace tessera::testing {

inline constexpr KernelSet kEveryKernelSet[] = {KernelSet::Portable, KernelSet::Avx2};

inline const char* kernel_set_name(KernelSet kernels) {
  switch (kernels) {
    case KernelSet::Portable: return "Portable";
    case KernelSet::Avx2: return "Avx2";
  }
  return "Unknown";
}

inline bool runs_here(KernelSet kernels) { return kernels <= best_kernel_set(); }

// The sets as the ends of test names: .../Portable, .../Avx2.
inline std::string kernel_set_test_name(const ::testing::TestParamInfo<KernelSet>& info) {
  return kernel_set_name(info.param);
}

// In a test body or SetUp: skip a set this machine cannot run.
#define TESSERA_SKIP_UNLESS_RUNS_HERE(kernels)                                                    \
  do {                                                                                             \
    if (!::tessera::testing::runs_here(kernels))                                                   \
      GTEST_SKIP() << ::tessera::testing::kernel_set_name(kernels) << " forms need a processor " \
                   << "with those instructions, which this one lacks";                            \
  } while (0)

// A suite run once with every kernel set: `class Suite : public
// EveryKernelSet {};`, TEST_P(Suite, ...) and
// INSTANTIATE_TEST_SUITE_P(Kernels, Suite, ::testing::ValuesIn(kEveryKernelSet), kernel_set_test_name).
class EveryKernelSet : public ::testing::TestWithParam<KernelSet> {
 protected:
  void SetUp() override { TESSERA_SKIP_UNLESS_RUNS_HERE(GetParam()); }
  KernelSet kernels() const { return GetParam(); }
};

}  // namespace tessera::testing

namespace tessera {
// For gtest's messages: "GetParam() = Avx2".
inline void PrintTo(KernelSet kernels, std::ostream* os) { *os << testing::kernel_set_name(kernels); }
}  // namespace tessera
