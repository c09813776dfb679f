#include "game/vectorstate.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace {

bool hasAvx()
{
    // The processor's own flags, which also say whether the system saves
    // the upper halves on a task switch: without that, AVX would fault.
    static const bool avx = (__builtin_cpu_init(), __builtin_cpu_supports("avx"));
    return avx;
}

__attribute__((target("avx"))) void zeroUpper()
{
    _mm256_zeroupper();
}

} // namespace

void clearUpperVectorState()
{
    if (hasAvx())
        zeroUpper();
}

#else

void clearUpperVectorState()
{
}

#endif
