// How a kernel's AVX2 form is built. It lives in <kernel>_avx2.cpp beside the
// kernel's portable form <kernel>.cpp, and the dispatcher in <kernel>.cpp
// calls it only when asked for KernelSet::Avx2. The file includes everything
// it needs first and then switches the target for the rest of the file with
// `#pragma GCC target("avx2")`: only the functions defined after that line
// use AVX2, while the library's and the standard library's inline functions
// and templates keep the baseline target. (The whole file compiled with
// -mavx2 would also build the copies of std::vector and the like that it
// instantiates for AVX2, and the linker may keep such a copy for every
// caller, on every processor.) Where a portable and an AVX2 form are the same
// code, it sits in a .inc file that both include, so that the two cannot
// drift apart.
//
// The target changes the instructions only: it takes no FMA, so no
// multiplication and addition are contracted, and every form keeps its order
// of operations.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define TESSERA_AVX2_FORMS 1
#endif
