// The hot loops of the palette methods are compiled twice, for AVX2 and for
// any x86-64, and the better one is picked when the program starts. Their
// arithmetic is exact integer arithmetic or keeps its order of operations
// (no FMA contraction), so the wider instructions change the speed, never the
// result.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && defined(__linux__)
#define TESSERA_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TESSERA_WIDE_CLONES
#endif
