#include "track/vectorstate.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace kalvora {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
namespace {
__attribute__((target("avx"))) void zeroUpperAvx()
{
    _mm256_zeroupper();
}
} // namespace

void clearUpperVectorState()
{
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        zeroUpperAvx();
}
#else
void clearUpperVectorState() {}
#endif

} // namespace kalvora
