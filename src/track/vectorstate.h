#pragma once

namespace kalvora {

/**
 * Clears the upper halves of the x86 vector registers (vzeroupper) when the
 * CPU has AVX; does nothing elsewhere.
 *
 * Code elsewhere in the process (library start-up, vectorised string routines
 * that use only the upper AVX-512 registers and so skip vzeroupper) can leave
 * those halves dirty. Every SSE instruction of the number crunching then pays
 * a merge with them: measured 10-15 times slower on an AVX-512 machine, for
 * identical work and identical results. Clearing costs nothing and touches no
 * value anyone reads. A new thread inherits the state of the thread that
 * started it, so each hot loop clears it on its own thread at its start.
 */
void clearUpperVectorState();

} // namespace kalvora
